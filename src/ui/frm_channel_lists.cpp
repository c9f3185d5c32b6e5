#include "ui/frm_channel_lists.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "discover/sources.h"
#include "platform/qt_strings.h"

namespace qova::ui {
namespace {

QPushButton* button(QWidget* parent, const char* objectName, const QString& text) {
    auto* made = new QPushButton(text, parent);
    made->setObjectName(QString::fromLatin1(objectName));
    made->setAutoDefault(false);
    return made;
}

}  // namespace

FrmChannelLists::FrmChannelLists(QWidget* owner, directory::AddedLists& lists,
                                 ChooseFile chooseFile, NotAnswering notAnswering)
    : QDialog(owner),
      lists_(lists),
      chooseFile_(std::move(chooseFile)),
      notAnswering_(std::move(notAnswering)) {
    setObjectName(QStringLiteral("frmChannelLists"));
    setWindowTitle(QStringLiteral("Channel Lists"));
    resize(720, 360);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Playlists (M3U, M3U8) and station lists (JSON) whose channels join the "
                       "directory's. Each is fetched at every start and kept for when it "
                       "cannot be."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("grdLists"));
    table_->setAccessibleName(QStringLiteral("Channel lists"));
    table_->setHorizontalHeaderLabels({QStringLiteral("List"), QStringLiteral("Channels"),
                                       QStringLiteral("Fetched"), QStringLiteral("State")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    layout->addWidget(table_);

    auto* adding = new QHBoxLayout;
    address_ = new QLineEdit(this);
    address_->setObjectName(QStringLiteral("txtListAddress"));
    address_->setAccessibleName(QStringLiteral("Address of a list"));
    address_->setPlaceholderText(
        QStringLiteral("Address of a playlist or station list, or a file on this computer"));
    adding->addWidget(address_);
    QPushButton* file = button(this, "cmdListFile", QStringLiteral("&File..."));
    QPushButton* add = button(this, "cmdAddList", QStringLiteral("&Add"));
    adding->addWidget(file);
    adding->addWidget(add);
    layout->addLayout(adding);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("lblListsMessage"));
    message_->setWordWrap(true);
    layout->addWidget(message_);

    auto* buttons = new QHBoxLayout;
    remove_ = button(this, "cmdRemoveList", QStringLiteral("&Remove"));
    QPushButton* refresh = button(this, "cmdRefreshLists", QStringLiteral("Fetch &Again"));
    QPushButton* close = button(this, "cmdCloseLists", QStringLiteral("Close"));
    buttons->addWidget(remove_);
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(address_, &QLineEdit::returnPressed, this, &FrmChannelLists::addTyped);
    connect(add, &QPushButton::clicked, this, &FrmChannelLists::addTyped);
    connect(file, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile_();
        if (path.isEmpty())
            return;
        address_->setText(path);
        addTyped();
    });
    connect(remove_, &QPushButton::clicked, this, &FrmChannelLists::removeSelected);
    connect(refresh, &QPushButton::clicked, this, [this] {
        say({});
        lists_.refreshAll();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(!table_->selectedItems().isEmpty()); });

    showLists();
}

void FrmChannelLists::showToAdd() {
    show();
    raise();
    activateWindow();
    address_->setFocus();
}

void FrmChannelLists::addTyped() {
    const QByteArray typed = address_->text().toUtf8();
    using Result = directory::AddedLists::AddResult;
    switch (
        lists_.add(std::string_view(typed.constData(), static_cast<std::size_t>(typed.size())))) {
        case Result::Added:
            address_->clear();
            say({});
            break;
        case Result::AlreadyThere:
            say(QStringLiteral("That list is there already."));
            break;
        case Result::NoAddress:
            say(QStringLiteral("Type the address of a list, or choose a file."));
            break;
        case Result::TooMany:
            say(QStringLiteral("No more than %1 lists can be added.")
                    .arg(directory::kMaxAddedLists));
            break;
        case Result::CannotWrite:
            say(QStringLiteral("The list cannot be kept: %1 cannot be written.")
                    .arg(QString::fromLatin1(directory::kAddedListsFile)));
            break;
    }
}

void FrmChannelLists::removeSelected() {
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty())
        return;
    if (!lists_.remove(static_cast<std::size_t>(selected.first()->row())))
        say(QStringLiteral("The list cannot be removed: %1 cannot be written.")
                .arg(QString::fromLatin1(directory::kAddedListsFile)));
}

void FrmChannelLists::showLists() {
    const int selected = table_->currentRow();
    const auto& lists = lists_.lists();
    table_->setRowCount(static_cast<int>(lists.size()));
    for (int row = 0; row < static_cast<int>(lists.size()); ++row) {
        const directory::AddedLists::List& list = lists[static_cast<std::size_t>(row)];
        QString state = platform::toQString(directory::StateText(list));
        if (const std::string coverage = guideCoverage ? guideCoverage(list.address) : "";
            !coverage.empty())
            state += QStringLiteral("; ") + platform::toQString(coverage);
        // The lists the discover window added say whose channels they are.
        const std::string title = discover::ListTitle(list.address);
        const std::size_t dead = notAnswering_ ? notAnswering_(list.begin, list.end) : 0;
        const QString cells[] = {
            platform::toQString(title.empty() ? list.address : title),
            dead == 0 ? QString::number(list.channels)
                      : QStringLiteral("%1 (%2 not answering)").arg(list.channels).arg(dead),
            list.fetched.empty() ? QStringLiteral("never") : platform::toQString(list.fetched),
            state};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(column == 0 ? platform::toQString(list.address) : cells[column]);
            table_->setItem(row, column, item);
        }
    }
    if (selected >= 0 && selected < table_->rowCount())
        table_->selectRow(selected);
    remove_->setEnabled(!table_->selectedItems().isEmpty());
}

void FrmChannelLists::say(const QString& text) {
    message_->setText(text);
}

}  // namespace qova::ui
