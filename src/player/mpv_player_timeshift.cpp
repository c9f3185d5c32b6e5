// Pause and rewind live: a stream paused goes on being read into the engine's cache, on disk,
// so that it plays on from where it paused; the player moves in what the cache holds, never
// past the live point. The cache is bounded in time (30 minutes of sound, 10 of pictures) and
// in bytes; the engine unlinks its file as soon as it makes it, so that nothing of it outlives
// the stream, however the program ends.
#include <mpv/client.h>

#include <QtGlobal>
#include <algorithm>
#include <filesystem>
#include <string>

#include "player/channel_recording.h"
#include "player/mpv_player.h"
#include "player/mpv_values.h"
#include "stream/recording_files.h"

namespace qova::player {
namespace {

constexpr const char* kPauseProperty = "pause";
constexpr const char* kStreamRecordProperty = "stream-record";
constexpr const char* kCacheOnDiskProperty = "cache-on-disk";
constexpr const char* kCacheDirProperty = "cache-dir";
constexpr const char* kCacheSecsProperty = "cache-secs";
constexpr const char* kCacheDurationProperty = "demuxer-cache-duration";
constexpr const char* kCacheStateProperty = "demuxer-cache-state";
constexpr const char* kBitrateProperties[] = {"audio-bitrate", "video-bitrate"};

constexpr double kSoundHeldSeconds = 30 * 60;
constexpr double kPictureHeldSeconds = 10 * 60;
constexpr double kHeldBytes = 1024.0 * 1024 * 1024;
// What the engine holds ahead while it plays live anyway: less is not "behind".
constexpr double kLiveSlack = 2.0;

}  // namespace

double MpvPlayer::behindLive() const {
    double seconds = 0;
    if (!handle_ || local_ || idle_ ||
        mpv_get_property(handle_.get(), kCacheDurationProperty, MPV_FORMAT_DOUBLE, &seconds) < 0)
        return 0;
    return std::max(0.0, seconds);
}

double MpvPlayer::position() const {
    double seconds = 0;
    if (!handle_ || mpv_get_property(handle_.get(), "time-pos", MPV_FORMAT_DOUBLE, &seconds) < 0)
        return 0;
    return seconds;
}

bool MpvPlayer::canSeek() const {
    return handle_ && !local_ && !idle_ && (state_ == State::Playing || paused_);
}

std::string MpvPlayer::engineValue(const char* name) const {
    if (!handle_)
        return {};
    char* text = mpv_get_property_string(handle_.get(), name);
    std::string value = text ? text : "";
    mpv_free(text);
    return value;
}

void MpvPlayer::setForPause(const char* name, const std::string& value) {
    // The engine's own value is kept once, from before the first pause changed it.
    if (std::none_of(cacheDefaults_.begin(), cacheDefaults_.end(),
                     [name](const auto& kept) { return kept.first == name; }))
        cacheDefaults_.emplace_back(name, engineValue(name));
    if (const int rc = mpv_set_property_string(handle_.get(), name, value.c_str()); rc < 0)
        qWarning("Cannot set %s: %s", name, mpv_error_string(rc));
}

void MpvPlayer::restoreCacheDefaults() {
    if (!handle_)
        return;
    for (const auto& [name, value] : cacheDefaults_)
        mpv_set_property_string(handle_.get(), name.c_str(), value.c_str());
    cacheDefaults_.clear();
}

void MpvPlayer::setCacheOnDisk(bool onDisk) {
    if (onDisk == cacheOnDisk_ || !handle_)
        return;
    if (onDisk) {
        const std::filesystem::path folder = playerCacheFolder();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        setForPause(kCacheDirProperty, folder.string());
    }
    if (const int rc =
            mpv_set_property_string(handle_.get(), kCacheOnDiskProperty, onDisk ? "yes" : "no");
        rc < 0) {
        qWarning("Cannot set %s: %s", kCacheOnDiskProperty, mpv_error_string(rc));
        return;
    }
    cacheOnDisk_ = onDisk;
}

bool MpvPlayer::pause() {
    if (paused_)
        return true;
    if (!canSeek())
        return false;
    // Held no longer than its bound in time, nor past a gigabyte at the stream's bit rate.
    double bitsPerSecond = 0;
    for (const char* name : kBitrateProperties) {
        double rate = 0;
        if (mpv_get_property(handle_.get(), name, MPV_FORMAT_DOUBLE, &rate) >= 0)
            bitsPerSecond += std::max(0.0, rate);
    }
    double seconds = facts_.width > 0 ? kPictureHeldSeconds : kSoundHeldSeconds;
    if (bitsPerSecond > 0)
        seconds = std::min(seconds, kHeldBytes * 8 / bitsPerSecond);
    setForPause(kCacheSecsProperty, std::to_string(seconds));
    setCacheOnDisk(true);
    int yes = 1;
    if (const int rc = mpv_set_property(handle_.get(), kPauseProperty, MPV_FORMAT_FLAG, &yes);
        rc < 0) {
        qWarning("Cannot pause: %s", mpv_error_string(rc));
        return false;
    }
    paused_ = true;
    if (onStateChanged)
        onStateChanged();
    return true;
}

bool MpvPlayer::heldStreamEnded() const {
    mpv_node state;
    if (!handle_ ||
        mpv_get_property(handle_.get(), kCacheStateProperty, MPV_FORMAT_NODE, &state) < 0)
        return false;
    const mpv_node* eof = mpv_values::mapValue(state, "eof");
    const bool ended = eof && eof->format == MPV_FORMAT_FLAG && eof->u.flag;
    mpv_free_node_contents(&state);
    return ended;
}

void MpvPlayer::resume() {
    if (!paused_ || !handle_)
        return;
    // A live stream has no end of its own: its station let go of it while it waited.
    endedWhilePaused_ = !local_ && heldStreamEnded();
    int no = 0;
    mpv_set_property(handle_.get(), kPauseProperty, MPV_FORMAT_FLAG, &no);
    paused_ = false;
    if (onStateChanged)
        onStateChanged();
}

void MpvPlayer::leavePause() {
    // Only after a pause: a player never paused leaves the engine as it was.
    if (!handle_ || (!paused_ && !cacheOnDisk_))
        return;
    if (std::exchange(paused_, false)) {
        int no = 0;
        mpv_set_property(handle_.get(), kPauseProperty, MPV_FORMAT_FLAG, &no);
    }
    setCacheOnDisk(false);
}

void MpvPlayer::seekBy(double seconds) {
    if (!canSeek())
        return;
    // Never past what the engine holds: beyond it lies the station's future.
    if (seconds > 0)
        seconds = std::min(seconds, std::max(0.0, behindLive() - kLiveSlack / 2));
    if (seconds == 0)
        return;
    const std::string offset = std::to_string(seconds);
    const char* args[] = {"seek", offset.c_str(), "relative", nullptr};
    if (const int rc = mpv_command_async(handle_.get(), 0, args); rc < 0)
        qWarning("Cannot seek: %s", mpv_error_string(rc));
}

void MpvPlayer::recordPackets(const std::string& path) {
    packetRecording_ = path;
    if (handle_ && mpv_set_property_string(handle_.get(), kStreamRecordProperty, path.c_str()) < 0)
        packetRecording_.clear();
}

void MpvPlayer::continuePacketRecording() {
    // The engine would write the reloaded stream over the file: it goes on in the next one.
    const std::filesystem::path now = packetRecording_;
    recordPackets(
        stream::freePath(now.parent_path(), now.stem().string(), now.extension().string().substr(1))
            .string());
}

void MpvPlayer::goLive() {
    resume();
    seekBy(behindLive());
    // At the live point again: what comes next needs no disk, nor the pause's bounds.
    setCacheOnDisk(false);
    restoreCacheDefaults();
}

}  // namespace qova::player
