#include "ui/guide_lines.h"

#include "guide/guide_text.h"
#include "ui/guide_service.h"

namespace qova::ui {
namespace {

// The bar moves a tenth of a programme at a time; a check each 20 seconds keeps it and the
// change to the next programme within that of the clock.
constexpr int kTickMs = 20000;

}  // namespace

GuideOverlay::GuideOverlay(QObject* parent, platform::PlayerOverlay& overlay,
                           const GuideService& guide)
    : QObject(parent), overlay_(overlay), guide_(guide) {
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, &GuideOverlay::update);
}

void GuideOverlay::showNowPlaying(const platform::NowPlaying& what, bool renew) {
    platform::NowPlaying with = what;
    if (guide_.store() != nullptr) {
        with.guide = guide::NowNextText(guide_.nowNext(what.channel), guide_.clock());
        tick_.start();
    }
    shown_ = with;
    overlay_.showNowPlaying(with, renew);
}

void GuideOverlay::hideNowPlaying() {
    shown_.reset();
    tick_.stop();
    overlay_.hideNowPlaying();
}

void GuideOverlay::showVolume(int percent, bool muted) {
    overlay_.showVolume(percent, muted);
}

void GuideOverlay::update() {
    if (!shown_ || guide_.store() == nullptr)
        return;
    const std::string lines = guide::NowNextText(guide_.nowNext(shown_->channel), guide_.clock());
    if (lines == shown_->guide)
        return;
    shown_->guide = lines;
    overlay_.showNowPlaying(*shown_, false);
}

GuideDesktop::GuideDesktop(QObject* parent, platform::DesktopPlayer& desktop,
                           const GuideService& guide)
    : QObject(parent), desktop_(desktop), guide_(guide) {
    // The desktop's commands come to whoever the logic gave them to: this player's own.
    desktop_.onPlay = [this] {
        if (onPlay)
            onPlay();
    };
    desktop_.onPause = [this] {
        if (onPause)
            onPause();
    };
    desktop_.onPlayPause = [this] {
        if (onPlayPause)
            onPlayPause();
    };
    desktop_.onStop = [this] {
        if (onStop)
            onStop();
    };
    desktop_.onNext = [this] {
        if (onNext)
            onNext();
    };
    desktop_.onPrevious = [this] {
        if (onPrevious)
            onPrevious();
    };
    desktop_.onSetVolume = [this](double volume) {
        if (onSetVolume)
            onSetVolume(volume);
    };
    desktop_.onRaise = [this] {
        if (onRaise)
            onRaise();
    };
    desktop_.onQuit = [this] {
        if (onQuit)
            onQuit();
    };
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, &GuideDesktop::update);
}

void GuideDesktop::setTrack(const std::string& id, const std::string& title,
                            const std::string& channel) {
    id_ = id;
    title_ = title;
    channel_ = channel;
    sent_.clear();
    if (guide_.store() != nullptr && !channel.empty())
        tick_.start();
    else
        tick_.stop();
    update();
    if (sent_.empty())
        desktop_.setTrack(id, title, channel);
}

void GuideDesktop::update() {
    std::string title = title_;
    if (guide_.store() != nullptr && !channel_.empty()) {
        const auto nowNext = guide_.nowNext(channel_);
        if (nowNext.now && !nowNext.now->title.empty())
            title = std::string(nowNext.now->title);
    }
    if (title == sent_ || (sent_.empty() && title == title_))
        return;
    sent_ = title;
    desktop_.setTrack(id_, title, channel_);
}

}  // namespace qova::ui
