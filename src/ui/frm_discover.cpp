#include "ui/frm_discover.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "directory/channel_record.h"
#include "platform/qt_strings.h"
#include "platform/text.h"

namespace qova::ui {
namespace {

// A search starts once typing pauses, so that the database is not asked at every letter.
constexpr int kSearchPauseMs = 400;

QPushButton* button(QWidget* parent, const char* objectName, const QString& text) {
    auto* made = new QPushButton(text, parent);
    made->setObjectName(QString::fromLatin1(objectName));
    made->setAutoDefault(false);
    return made;
}

// Outside words (errors, station names) are shown as they came, never as markup.
QLabel* plainLabel(QWidget* parent, const char* objectName) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

FrmDiscover::FrmDiscover(QWidget* owner, discover::Discovery& discovery, Play play, Keep keep)
    : QDialog(owner), discovery_(discovery), play_(std::move(play)), keep_(std::move(keep)) {
    setObjectName(QStringLiteral("frmDiscover"));
    setWindowTitle(QStringLiteral("Discover channels"));
    resize(640, 560);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("The radio stations of the public radio station database "
                       "(radio-browser.info) and the free TV channels of the community-kept "
                       "playlists (iptv-org), a country at a time. Each country's list joins the "
                       "directory's channels, is fetched at every start and kept for when it "
                       "cannot be."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* choosing = new QHBoxLayout;
    auto* countryLabel = new QLabel(QStringLiteral("C&ountry:"), this);
    countries_ = new QComboBox(this);
    countries_->setObjectName(QStringLiteral("cmbDiscoverCountry"));
    countries_->setAccessibleName(QStringLiteral("Country"));
    countries_->setMaxVisibleItems(20);
    countryLabel->setBuddy(countries_);
    QPushButton* addRadio = button(this, "cmdAddRadio", QStringLiteral("Add &radio stations"));
    QPushButton* addTv = button(this, "cmdAddTv", QStringLiteral("Add &TV channels"));
    choosing->addWidget(countryLabel);
    choosing->addWidget(countries_, 1);
    choosing->addWidget(addRadio);
    choosing->addWidget(addTv);
    layout->addLayout(choosing);

    note_ = plainLabel(this, "lblDiscoverNote");
    layout->addWidget(note_);

    lists_ = new QTableWidget(0, 3, this);
    lists_->setObjectName(QStringLiteral("grdDiscovered"));
    lists_->setAccessibleName(QStringLiteral("Lists added"));
    lists_->setHorizontalHeaderLabels(
        {QStringLiteral("List"), QStringLiteral("Channels"), QStringLiteral("State")});
    lists_->setSelectionMode(QAbstractItemView::NoSelection);
    lists_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lists_->verticalHeader()->hide();
    lists_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    lists_->setMaximumHeight(150);
    layout->addWidget(lists_);

    auto* searchLabel =
        new QLabel(QStringLiteral("F&ind radio stations of every country by name:"), this);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("txtDiscoverSearch"));
    search_->setAccessibleName(QStringLiteral("Find radio stations by name"));
    search_->setPlaceholderText(QStringLiteral("A station's name, or words of it"));
    search_->setClearButtonEnabled(true);
    searchLabel->setBuddy(search_);
    layout->addWidget(searchLabel);
    layout->addWidget(search_);
    searchLater_ = new QTimer(this);
    searchLater_->setSingleShot(true);
    searchLater_->setInterval(kSearchPauseMs);

    found_ = new QListWidget(this);
    found_->setObjectName(QStringLiteral("lstDiscoverFound"));
    found_->setAccessibleName(QStringLiteral("Stations found"));
    layout->addWidget(found_, 1);

    auto* foot = new QHBoxLayout;
    searchNote_ = plainLabel(this, "lblSearchNote");
    keepButton_ = button(this, "cmdDiscoverFavourite", QStringLiteral("Keep as &favourite"));
    QPushButton* close = button(this, "cmdCloseDiscover", QStringLiteral("Close"));
    foot->addWidget(searchNote_, 1);
    foot->addWidget(keepButton_);
    foot->addWidget(close);
    layout->addLayout(foot);

    connect(addRadio, &QPushButton::clicked, this,
            [this] { discovery_.addRadio(chosenCountry()); });
    connect(addTv, &QPushButton::clicked, this, [this] { discovery_.addTv(chosenCountry()); });
    connect(search_, &QLineEdit::textChanged, searchLater_, qOverload<>(&QTimer::start));
    const auto search = [this] {
        searchLater_->stop();
        kept_.clear();
        discovery_.search(search_->text().toStdString());
    };
    connect(searchLater_, &QTimer::timeout, this, search);
    connect(search_, &QLineEdit::returnPressed, this, search);
    // A click plays, as in the main window's tree; so does Enter on a station.
    const auto playRow = [this](int row) {
        const auto& stations = discovery_.found();
        if (row < 0 || static_cast<std::size_t>(row) >= stations.size())
            return;
        std::vector<std::string> records;
        for (const discover::FoundStation& station : stations)
            records.push_back(station.record);
        play_(records, static_cast<std::size_t>(row));
    };
    connect(found_, &QListWidget::itemActivated, this,
            [this, playRow](QListWidgetItem* item) { playRow(found_->row(item)); });
    // Where the desktop activates an item at a single click already, once is enough.
    if (!found_->style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr,
                                    found_)) {
        connect(found_, &QListWidget::itemClicked, this,
                [this, playRow](QListWidgetItem* item) { playRow(found_->row(item)); });
    }
    connect(found_, &QListWidget::currentRowChanged, this, [this](int row) {
        kept_.clear();
        keepButton_->setEnabled(row >= 0);
        showFound();
    });
    connect(keepButton_, &QPushButton::clicked, this, [this] {
        const int row = found_->currentRow();
        const auto& stations = discovery_.found();
        if (row < 0 || static_cast<std::size_t>(row) >= stations.size())
            return;
        kept_ = keep_(stations[static_cast<std::size_t>(row)].record) > 0
                    ? QStringLiteral("Kept as a favourite.")
                    : QStringLiteral(
                          "It is a favourite already, or the favourites cannot be "
                          "written.");
        showFound();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    discovery_.onChanged = [this] { showAll(); };
    showAll();
}

FrmDiscover::~FrmDiscover() {
    discovery_.onChanged = nullptr;
}

void FrmDiscover::showWindow() {
    discovery_.loadCountries();
    show();
    raise();
    activateWindow();
    countries_->setFocus();
}

std::string FrmDiscover::chosenCountry() const {
    return countries_->currentData().toString().toStdString();
}

void FrmDiscover::showAll() {
    showCountries();
    QString note = platform::toQString(discovery_.radioNote());
    if (!discovery_.note().empty())
        note += (note.isEmpty() ? QString() : QStringLiteral("\n")) +
                platform::toQString(discovery_.note());
    note_->setText(note);

    const auto lines = discovery_.lists();
    lists_->setRowCount(static_cast<int>(lines.size()));
    for (int row = 0; row < static_cast<int>(lines.size()); ++row) {
        const discover::Discovery::ListLine& line = lines[static_cast<std::size_t>(row)];
        const QString cells[] = {platform::toQString(line.title), QString::number(line.channels),
                                 platform::toQString(line.state)};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            lists_->setItem(row, column, item);
        }
    }
    lists_->resizeColumnToContents(0);
    showFound();
}

void FrmDiscover::showCountries() {
    if (countriesShown_ == discovery_.countriesVersion())
        return;
    countriesShown_ = discovery_.countriesVersion();
    const QString chosen = countries_->currentData().toString();
    countries_->clear();
    for (const discover::Country& country : discovery_.countries())
        countries_->addItem(platform::toQString(discover::ChooserText(country)),
                            platform::toQString(country.code));
    const int again = countries_->findData(chosen);
    countries_->setCurrentIndex(again >= 0 ? again : 0);
}

void FrmDiscover::showFound() {
    const auto& stations = discovery_.found();
    // Filled anew only when the stations changed: the row chosen stays.
    bool same = found_->count() == static_cast<int>(stations.size());
    for (int row = 0; same && row < found_->count(); ++row)
        same = found_->item(row)->data(Qt::UserRole).toString() ==
               platform::toQString(stations[static_cast<std::size_t>(row)].record);
    if (!same) {
        found_->clear();
        for (const discover::FoundStation& station : stations) {
            std::string_view name;
            std::string_view country;
            platform::fieldAt(station.record, directory::kChannelName, name);
            platform::fieldAt(station.record, directory::kCountry, country);
            auto* item = new QListWidgetItem(
                platform::toQString(std::string(platform::shownText(name)) + " \u2014 " +
                                    std::string(platform::shownText(country))),
                found_);
            item->setData(Qt::UserRole, platform::toQString(station.record));
        }
    }
    keepButton_->setEnabled(found_->currentRow() >= 0);
    searchNote_->setText(kept_.isEmpty() ? platform::toQString(discovery_.searchNote()) : kept_);
}

}  // namespace qova::ui
