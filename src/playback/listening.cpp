#include "playback/listening.h"

#include <algorithm>
#include <cmath>

#include "directory/channel_record.h"
#include "platform/text.h"
#include "playback/now_playing.h"

namespace qova::playback {
namespace {

using platform::MediaPlayer;

}  // namespace

Listening::Listening(state::MainContext& ctx, Handlers handlers)
    : ctx_(ctx), handlers_(std::move(handlers)) {
    MediaPlayer& player = ctx_.controls.player;
    player.onStateChanged = [this] {
        if (ctx_.controls.player.state() == MediaPlayer::State::Stopped)
            ctx_.controls.overlay.hideNowPlaying();
        if (ctx_.controls.player.state() == MediaPlayer::State::Playing && handlers_.playing)
            handlers_.playing();
        updateDesktop();
        updateScreenSaver();
    };
    player.onTitleChanged = [this] {
        showNowPlaying(true);
        updateDesktop();
    };
    player.onFactsChanged = [this] {
        showNowPlaying(false);
        updateScreenSaver();
    };
    player.onVolumeChanged = [this] {
        ctx_.controls.desktop.setVolume(ctx_.controls.player.volume() / 100.0);
    };
    platform::DesktopPlayer& desktop = ctx_.controls.desktop;
    desktop.onPlay = [this] {
        if (ctx_.controls.player.paused())
            ctx_.controls.player.resume();
        else
            play();
    };
    // A stream that cannot be held stops.
    desktop.onPause = [this] {
        if (!ctx_.controls.player.paused() && !ctx_.controls.player.pause())
            stop();
    };
    desktop.onStop = [this] { stop(); };
    desktop.onPlayPause = [this] { pauseOrPlay(); };
    desktop.onSeek = [this](double seconds) { ctx_.controls.player.seekBy(seconds); };
    desktop.onNext = [this] { next(); };
    desktop.onPrevious = [this] { previous(); };
    desktop.onSetVolume = [this](double volume) {
        setVolume(static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
    };
}

Listening::~Listening() {
    MediaPlayer& player = ctx_.controls.player;
    player.onStateChanged = player.onTitleChanged = player.onFactsChanged = nullptr;
    player.onVolumeChanged = nullptr;
    platform::DesktopPlayer& desktop = ctx_.controls.desktop;
    desktop.onPlay = desktop.onPause = desktop.onStop = desktop.onPlayPause = nullptr;
    desktop.onNext = desktop.onPrevious = nullptr;
    desktop.onSetVolume = nullptr;
    desktop.onSeek = nullptr;
    ctx_.controls.screenSaver.uninhibit();
}

void Listening::load() {
    MediaPlayer& player = ctx_.controls.player;
    const int volume = std::clamp(ctx_.controls.settings.intValue(kVolumeKey, 100), 0, 100);
    player.setVolume(volume);
    player.setMuted(ctx_.controls.settings.intValue(kMutedKey, 0) != 0);
    ctx_.controls.desktop.setVolume(volume / 100.0);
    updateDesktop();
}

void Listening::channelChosen(int node) {
    const std::string* record = ctx_.channels.record(node);
    if (record == nullptr)
        return;
    const auto fields = platform::splitFields(*record);
    const bool radio =
        fields.size() > directory::kStreamUrl &&
        platform::equalsIgnoringAsciiCase(fields[directory::kCategory], directory::kCategoryRadio);
    ctx_.controls.player.expectSoundOnly(radio ? std::string(fields[directory::kStreamUrl])
                                               : std::string());
}

void Listening::channelStarted() {
    lastRecord_ = ctx_.state.strCurrentRecord;
    lastNode_ = ctx_.channels.intPlayingNode();
    playing_ = true;
    ++track_;
    showNowPlaying(true);
    updateDesktop();
}

void Listening::channelStopped() {
    playing_ = false;
    ctx_.controls.overlay.hideNowPlaying();
    updateDesktop();
    updateScreenSaver();
}

int Listening::lastNode() const {
    const state::ChannelList& channels = ctx_.channels;
    if (channels.intPlayingNode() != 0)
        return channels.intPlayingNode();
    if (lastRecord_.empty())
        return 0;
    if (const std::string* record = channels.record(lastNode_); record && *record == lastRecord_)
        return lastNode_;
    const auto& records = channels.colChannels();
    const auto found = std::find(records.begin(), records.end(), lastRecord_);
    return found == records.end() ? 0 : static_cast<int>(found - records.begin()) + 1;
}

void Listening::startNode(int node) {
    // Only nodes with a channel: not past either end, nor the line that counts further results.
    if (ctx_.channels.record(node) == nullptr)
        return;
    ctx_.controls.trView.selectNode(node);
    handlers_.treeClick();
}

void Listening::next() {
    const int from = lastNode();
    startNode(from == 0 ? 1 : from + 1);
}

void Listening::previous() {
    const int from = lastNode();
    if (from > 1)
        startNode(from - 1);
}

void Listening::playOrStop() {
    if (ctx_.controls.player.state() != MediaPlayer::State::Stopped)
        stop();
    else
        play();
}

void Listening::play() {
    const int node = lastNode();
    // The tree starts nothing on a second click of the node started last; the stop button
    // forgets it first, as a user would press it.
    if (ctx_.channels.intPlayingNode() != 0)
        handlers_.stopClick();
    startNode(node != 0 ? node : 1);
}

void Listening::stop() {
    handlers_.stopClick();
}

void Listening::pauseOrPlay() {
    MediaPlayer& player = ctx_.controls.player;
    if (player.paused())
        player.resume();
    else if (player.state() == MediaPlayer::State::Stopped || !player.pause())
        playOrStop();
}

void Listening::changeVolume(int steps) {
    setVolume(ctx_.controls.player.volume() + steps * kVolumeStep);
}

void Listening::setVolume(int percent) {
    percent = std::clamp(percent, 0, 100);
    const bool changed = percent != ctx_.controls.player.volume();
    ctx_.controls.player.setVolume(percent);
    if (changed)
        ctx_.controls.settings.setIntValue(kVolumeKey, percent);
    ctx_.controls.overlay.showVolume(percent, ctx_.controls.player.muted());
}

void Listening::toggleMute() {
    const bool muted = !ctx_.controls.player.muted();
    ctx_.controls.player.setMuted(muted);
    ctx_.controls.settings.setIntValue(kMutedKey, muted ? 1 : 0);
    ctx_.controls.overlay.showVolume(ctx_.controls.player.volume(), muted);
}

void Listening::windowShown(bool shown) {
    windowShown_ = shown;
    updateScreenSaver();
}

std::string Listening::currentTitle() const {
    return playing_ ? ctx_.controls.player.streamTitle() : std::string();
}

void Listening::showNowPlaying(bool renew) {
    if (!playing_)
        return;
    const ChannelNames names = NamesOf(lastRecord_);
    const platform::StreamFacts facts = ctx_.controls.player.facts();
    platform::NowPlaying what{names.channel, names.country, ctx_.controls.player.streamTitle(),
                              FactsLine(facts), facts.width > 0};
    if (!renew && what == shown_)
        return;
    shown_ = std::move(what);
    ctx_.controls.overlay.showNowPlaying(shown_, renew);
}

void Listening::updateDesktop() {
    platform::DesktopPlayer& desktop = ctx_.controls.desktop;
    const bool playing = playing_ && ctx_.controls.player.state() != MediaPlayer::State::Stopped;
    desktop.setStatus(!playing                        ? platform::DesktopPlayer::Status::Stopped
                      : ctx_.controls.player.paused() ? platform::DesktopPlayer::Status::Paused
                                                      : platform::DesktopPlayer::Status::Playing);
    desktop.setCanSeek(playing && ctx_.controls.player.canSeek());
    if (playing_) {
        const std::string channel = NamesOf(lastRecord_).channel;
        const std::string title = ctx_.controls.player.streamTitle();
        desktop.setTrack(std::to_string(track_), title.empty() ? channel : title, channel);
    } else {
        desktop.setTrack({}, {}, {});
    }
}

void Listening::updateScreenSaver() {
    const bool picture = playing_ && windowShown_ &&
                         ctx_.controls.player.state() == MediaPlayer::State::Playing &&
                         !ctx_.controls.player.paused() && ctx_.controls.player.facts().width > 0;
    if (picture)
        ctx_.controls.screenSaver.inhibit("Playing video");
    else
        ctx_.controls.screenSaver.uninhibit();
}

}  // namespace qova::playback
