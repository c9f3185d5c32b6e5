#include "ui/frm_guide.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "guide/guide_text.h"
#include "platform/qt_strings.h"
#include "ui/guide_grid.h"
#include "ui/guide_service.h"

namespace qova::ui {
namespace {

// The days the store holds: one back, seven ahead.
constexpr int kFirstDay = -1;
constexpr int kLastDay = 7;

}  // namespace

FrmGuide::FrmGuide(QWidget* owner, GuideService& guide, Channels channels, Play play)
    : QWidget(owner, Qt::Window),
      guide_(guide),
      channels_(std::move(channels)),
      play_(std::move(play)),
      grid_(new GuideGrid(this)),
      day_(new QComboBox(this)),
      description_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmGuide"));
    setWindowTitle(QStringLiteral("Programme guide"));
    resize(900, 600);
    day_->setObjectName(QStringLiteral("cmbGuideDay"));
    day_->setAccessibleName(QStringLiteral("Day"));
    auto* now = new QPushButton(QStringLiteral("&Now"), this);
    now->setObjectName(QStringLiteral("cmdGuideNow"));
    auto* choose = new QPushButton(QStringLiteral("&Guide channel..."), this);
    choose->setObjectName(QStringLiteral("cmdGuideChannel"));
    description_->setObjectName(QStringLiteral("lblGuideDescription"));
    // A guide's words are shown as they are, never as markup.
    description_->setTextFormat(Qt::PlainText);
    description_->setWordWrap(true);
    description_->setMinimumHeight(80);
    description_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    description_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* top = new QHBoxLayout;
    top->addWidget(day_);
    top->addWidget(now);
    top->addStretch(1);
    top->addWidget(choose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addWidget(description_);

    connect(day_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(now, &QPushButton::clicked, this, [this] {
        day_->setCurrentIndex(-kFirstDay);
        grid_->select(grid_->currentRow(), guide_.clock());
        grid_->scrollToTime(guide_.clock());
        grid_->setFocus();
    });
    connect(choose, &QPushButton::clicked, this, &FrmGuide::chooseGuideChannel);
    connect(grid_, &GuideGrid::currentChanged, this, &FrmGuide::describe);
    connect(grid_, &GuideGrid::activated, this, [this] { play_(grid_->currentRow()); });
    connect(&guide_, &GuideService::changed, this, [this] {
        if (isVisible())
            refresh();
    });
}

qint64 FrmGuide::dayStart(int offset) const {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(guide_.clock());
    return QDateTime(now.date().addDays(offset), QTime(0, 0)).toSecsSinceEpoch();
}

void FrmGuide::showWindow() {
    {
        const QSignalBlocker quiet(day_);
        day_->clear();
        for (int offset = kFirstDay; offset <= kLastDay; ++offset) {
            const QDate date = QDateTime::fromSecsSinceEpoch(dayStart(offset)).date();
            day_->addItem(offset == 0    ? QStringLiteral("Today")
                          : offset == 1  ? QStringLiteral("Tomorrow")
                          : offset == -1 ? QStringLiteral("Yesterday")
                                         : QLocale().toString(date, QStringLiteral("dddd d MMMM")));
        }
        day_->setCurrentIndex(-kFirstDay);
    }
    refresh();
    grid_->select(0, guide_.clock());
    grid_->scrollToTime(guide_.clock());
    show();
    raise();
    activateWindow();
    grid_->setFocus();
}

void FrmGuide::refresh() {
    grid_->show(guide_.store(), channels_(), dayStart(day_->currentIndex() + kFirstDay),
                guide_.clock());
}

void FrmGuide::describe() {
    const auto programme = grid_->currentProgramme();
    if (!programme) {
        description_->setText(QString());
        return;
    }
    std::string text = guide::ProgrammeLine(*programme);
    if (!programme->episode.empty())
        text.append(" (").append(programme->episode).append(")");
    if (!programme->categories.empty())
        text.append("\n").append(programme->categories);
    if (!programme->description.empty())
        text.append("\n").append(programme->description);
    description_->setText(platform::toQString(text));
}

void FrmGuide::chooseGuideChannel() {
    const std::string channel = grid_->currentChannel();
    if (channel.empty() || guide_.store() == nullptr)
        return;
    bool ok = false;
    const QString id = QInputDialog::getText(
        this, QStringLiteral("Guide channel"),
        QStringLiteral("The guide's channel id for %1 (empty: found by itself):")
            .arg(platform::toQString(channel)),
        QLineEdit::Normal, platform::toQString(std::string(guide_.store()->guideChannel(channel))),
        &ok);
    if (!ok)
        return;
    guide_.sources().choose(channel, id.trimmed().toStdString());
    guide_.channelsChanged();
}

}  // namespace qova::ui
