#include "player/player_overlay_widget.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>

#include "platform/qt_strings.h"

namespace qova::player {
namespace {

constexpr int kMargin = 10;
constexpr std::chrono::milliseconds kShownOverPicture{4000};
constexpr std::chrono::milliseconds kVolumeShown{1500};
constexpr int kFadeMs = 700;

// Room around a line's text, inside its box.
constexpr QMargins kLinePadding{9, 6, 9, 6};

}  // namespace

QLabel* lineOverPicture(QWidget* playerArea, const char* objectName, int backgroundAlpha) {
    auto* label = new QLabel(playerArea);
    label->setObjectName(QString::fromLatin1(objectName));
    // Text from a stream or a server is never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setIndent(0);
    label->setContentsMargins(kLinePadding);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Its own style sheet, so that one the main window sets for its controls does not reach it.
    label->setStyleSheet(
        QStringLiteral(
            "QLabel { color: white; background: rgba(0, 0, 0, %1); border-radius: 4px; }")
            .arg(backgroundAlpha));
    label->hide();
    return label;
}

PlayerOverlayWidget::PlayerOverlayWidget(QWidget* playerArea)
    : QWidget(playerArea),
      lines_(lineOverPicture(playerArea, "nowPlaying", 160)),
      volume_(lineOverPicture(playerArea, "volumeNote", 160)),
      opacity_(new QGraphicsOpacityEffect(lines_)),
      fade_(new QPropertyAnimation(opacity_, "opacity", lines_)) {
    // Only a holder of the two lines' timing; the lines are the player area's own children, so
    // that nothing of this widget covers the picture.
    hide();
    setObjectName(QStringLiteral("playerOverlay"));
    lines_->setGraphicsEffect(opacity_);
    fade_->setDuration(kFadeMs);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    connect(fade_, &QPropertyAnimation::finished, lines_, [this] {
        lines_->hide();
        emit changed();
    });
    connect(fade_, &QPropertyAnimation::valueChanged, this, &PlayerOverlayWidget::changed);
    fadeDelay_.setSingleShot(true);
    connect(&fadeDelay_, &QTimer::timeout, fade_, [this] { fade_->start(); });
    volumeDelay_.setSingleShot(true);
    connect(&volumeDelay_, &QTimer::timeout, volume_, [this] {
        volume_->hide();
        emit changed();
    });
}

void PlayerOverlayWidget::showNowPlaying(const platform::NowPlaying& what, bool renew) {
    channel_ = what.channel;
    headline_ = platform::toQString(what.channel);
    if (!what.country.empty())
        headline_ += QStringLiteral(" \u2014 ") + platform::toQString(what.country);
    if (!what.title.empty())
        headline_ += u'\n' + platform::toQString(what.title);
    whatPlays_ = headline_;
    if (!what.facts.empty())
        whatPlays_ += u'\n' + platform::toQString(what.facts);
    if (!what.guide.empty())
        whatPlays_ += u'\n' + platform::toQString(what.guide);
    lines_->setText(whatPlays_);
    const bool stayed = stays_;
    stays_ = !what.hasPicture;
    const bool inView = lines_->isVisible() && fade_->state() != QAbstractAnimation::Running;
    if (renew || stays_ || inView) {
        fade_->stop();
        opacity_->setOpacity(1.0);
        lines_->show();
        lines_->raise();
        place(parentWidget()->size());
        // A channel's lines come up before the engine knows of its picture; once it does, the
        // picture's few seconds start, as they would have at once.
        if (stays_)
            fadeDelay_.stop();
        else if (renew || stayed)
            fadeDelay_.start(kShownOverPicture);
    }
    emit changed();
}

void PlayerOverlayWidget::hideNowPlaying() {
    whatPlays_.clear();
    headline_.clear();
    fadeDelay_.stop();
    fade_->stop();
    lines_->hide();
    emit changed();
}

void PlayerOverlayWidget::showVolume(int percent, bool muted) {
    volume_->setText(muted ? QStringLiteral("Sound off (volume %1 %)").arg(percent)
                           : QStringLiteral("Volume %1 %").arg(percent));
    volume_->show();
    volume_->raise();
    place(parentWidget()->size());
    volumeDelay_.start(kVolumeShown);
    emit changed();
}

void PlayerOverlayWidget::bringToFront() {
    lines_->raise();
    volume_->raise();
}

QString PlayerOverlayWidget::nowPlayingText() const {
    return lines_->isVisible() ? lines_->text() : QString();
}

QString PlayerOverlayWidget::volumeText() const {
    return volume_->isVisible() ? volume_->text() : QString();
}

void PlayerOverlayWidget::place(QSize area) {
    const int width = std::max(0, area.width() - 2 * kMargin);
    const int height = std::min(area.height(), lines_->heightForWidth(width));
    lines_->setGeometry(kMargin, area.height() - kMargin - height, width, height);
    volume_->adjustSize();
    volume_->move(area.width() - kMargin - volume_->width(), kMargin);
}

}  // namespace qova::player
