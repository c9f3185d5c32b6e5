#include "ui/frm_guides.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt_strings.h"
#include "ui/guide_service.h"

namespace qova::ui {

FrmGuides::FrmGuides(QWidget* owner, GuideService& guide, std::function<QString()> chooseFile)
    : QWidget(owner, Qt::Window),
      guide_(guide),
      chooseFile_(std::move(chooseFile)),
      list_(new QListWidget(this)),
      address_(new QLineEdit(this)),
      status_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmGuides"));
    setWindowTitle(QStringLiteral("Guides"));
    resize(640, 360);
    list_->setObjectName(QStringLiteral("lstGuides"));
    list_->setAccessibleName(QStringLiteral("Guides"));
    address_->setObjectName(QStringLiteral("txtGuideAddress"));
    address_->setAccessibleName(QStringLiteral("Guide address"));
    address_->setPlaceholderText(QStringLiteral("Address of an XMLTV guide (.xml, .gz, .xz)"));
    status_->setObjectName(QStringLiteral("lblGuideStatus"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    auto* add = new QPushButton(QStringLiteral("&Add"), this);
    auto* file = new QPushButton(QStringLiteral("&File..."), this);
    auto* remove = new QPushButton(QStringLiteral("&Remove"), this);
    auto* refresh = new QPushButton(QStringLiteral("Fetch &now"), this);
    add->setObjectName(QStringLiteral("cmdAddGuide"));
    file->setObjectName(QStringLiteral("cmdGuideFile"));
    remove->setObjectName(QStringLiteral("cmdRemoveGuide"));
    refresh->setObjectName(QStringLiteral("cmdFetchGuides"));
    auto* entry = new QHBoxLayout;
    entry->addWidget(address_, 1);
    entry->addWidget(add);
    entry->addWidget(file);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(remove);
    buttons->addStretch(1);
    buttons->addWidget(refresh);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(entry);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    layout->addWidget(status_);

    connect(add, &QPushButton::clicked, this, [this] { this->add(address_->text()); });
    connect(address_, &QLineEdit::returnPressed, this, [this] { this->add(address_->text()); });
    connect(file, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile_();
        if (!path.isEmpty())
            this->add(path);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        // The lists' own guides come after the person's and are theirs to keep.
        if (row >= 0 && static_cast<std::size_t>(row) < guide_.sources().added().size() &&
            guide_.sources().remove(static_cast<std::size_t>(row)))
            guide_.channelsChanged();
        showGuides();
    });
    connect(refresh, &QPushButton::clicked, this, [this] { guide_.refresh(true); });
    connect(&guide_, &GuideService::changed, this, &FrmGuides::showGuides);
}

void FrmGuides::showWindow() {
    showGuides();
    show();
    raise();
    activateWindow();
    address_->setFocus();
}

void FrmGuides::add(const QString& address) {
    if (!guide_.sources().add(address.trimmed().toStdString())) {
        status_->setText(QStringLiteral("That guide cannot be added."));
        return;
    }
    address_->clear();
    guide_.refresh(true);
    showGuides();
}

void FrmGuides::showGuides() {
    list_->clear();
    const auto& added = guide_.sources().added();
    for (const std::string& address : guide_.sources().guides()) {
        const bool own = std::find(added.begin(), added.end(), address) != added.end();
        list_->addItem(platform::toQString(address) +
                       (own ? QString() : QStringLiteral(" (named by a list)")));
    }
    if (guide_.busy())
        status_->setText(QStringLiteral("Fetching and reading the guides..."));
    else if (!guide_.error().empty())
        status_->setText(platform::toQString(guide_.error()));
    else if (guide_.store() != nullptr)
        status_->setText(QStringLiteral("Up to date."));
    else
        status_->setText(QString());
}

}  // namespace qova::ui
