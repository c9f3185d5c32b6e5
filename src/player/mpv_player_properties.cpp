// The engine's reports of its properties: title, volume, stream facts, and what tells a live
// stream from a file; and the volume and mute the person sets.
#include <QPointer>
#include <algorithm>

#include "player/mpv_player.h"
#include "player/mpv_values.h"

namespace qova::player {
namespace {

using namespace mpv_values;
using platform::StreamFacts;

constexpr const char* kIcyTitleKey = "icy-title";
constexpr const char* kTitleKey = "title";

}  // namespace

template <typename Value>
void MpvPlayer::setFact(Value StreamFacts::*fact, Value value) {
    if (facts_.*fact == value)
        return;
    facts_.*fact = std::move(value);
    if (onFactsChanged)
        onFactsChanged();
}

void MpvPlayer::handlePropertyChange(std::uint64_t id, const mpv_event_property& property) {
    switch (id) {
        case kObservedIdle: {
            const bool idle = available(property) && *static_cast<const int*>(property.data) != 0;
            if (idle != idle_) {
                idle_ = idle;
                const QPointer<MpvPlayer> alive(this);
                emit idleChanged(idle_);
                // Between a break and its next try the stream is still on its way.
                if (alive && idle_ && !keeper_.trying() && !brokeWith_)
                    setState(State::Stopped);
            }
            break;
        }
        case kObservedMetadata: {
            std::string title;
            if (available(property) && property.format == MPV_FORMAT_NODE) {
                const auto& tags = *static_cast<const mpv_node*>(property.data);
                title = platform::textFromStream(mapString(tags, kIcyTitleKey));
                if (title.empty())
                    title = platform::textFromStream(mapString(tags, kTitleKey));
            }
            if (title != streamTitle_) {
                streamTitle_ = std::move(title);
                if (onTitleChanged)
                    onTitleChanged();
            }
            break;
        }
        case kObservedPath:
            path_ = stringValue(property);
            // The stream as it was asked for, not the relay it goes through.
            if (!relayed_.empty() && path_ == relayed_)
                path_ = loaded_;
            break;
        case kObservedVolume:
            if (const int volume = intValue(property); available(property) && volume != volume_) {
                volume_ = volume;
                if (onVolumeChanged)
                    onVolumeChanged();
            }
            break;
        case kObservedMute:
            if (const bool muted = available(property) && *static_cast<const int*>(property.data);
                muted != muted_) {
                muted_ = muted;
                if (onVolumeChanged)
                    onVolumeChanged();
            }
            break;
        case kObservedAudioCodec:
            setFact(&StreamFacts::audioCodec, stringValue(property));
            break;
        case kObservedVideoCodec:
            setFact(&StreamFacts::videoCodec, stringValue(property));
            break;
        case kObservedAudioBitrate:
            setFact(&StreamFacts::audioBitrate, intValue(property));
            break;
        case kObservedSampleRate:
            setFact(&StreamFacts::sampleRate, intValue(property));
            break;
        case kObservedWidth:
            setFact(&StreamFacts::width, intValue(property));
            break;
        case kObservedHeight:
            setFact(&StreamFacts::height, intValue(property));
            break;
        // The engine gives live streams a duration too (what it has read so far); what tells them
        // apart is that they cannot be seeked and have no size, or are live HLS playlists.
        case kObservedSeekable:
            seekable_ = available(property) && *static_cast<const int*>(property.data);
            break;
        case kObservedFileSize:
            sized_ = available(property);
            break;
        case kObservedFileFormat:
            hls_ = stringValue(property) == "hls";
            break;
        case kObservedPausedForCache:
            waitingForData_ = available(property) && *static_cast<const int*>(property.data);
            keeper_.waitingForData(waitingForData_, -1);
            break;
        case kObservedBufferingState:
            if (waitingForData_ && available(property))
                keeper_.waitingForData(true, intValue(property));
            break;
        default:
            break;
    }
}

void MpvPlayer::setVolume(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == volume_)
        return;
    double value = percent;
    if (const int rc =
            handle_ ? mpv_set_property(handle_.get(), kVolumeProperty, MPV_FORMAT_DOUBLE, &value)
                    : 0;
        rc < 0) {
        qWarning("Cannot set the volume: %s", mpv_error_string(rc));
        return;
    }
    // Taken at once, so that a second step before the engine answers counts from this one.
    volume_ = percent;
    volumeChangedLater();
}

void MpvPlayer::setMuted(bool muted) {
    if (muted == muted_)
        return;
    int flag = muted ? 1 : 0;
    if (const int rc =
            handle_ ? mpv_set_property(handle_.get(), kMuteProperty, MPV_FORMAT_FLAG, &flag) : 0;
        rc < 0) {
        qWarning("Cannot set mute: %s", mpv_error_string(rc));
        return;
    }
    muted_ = muted;
    volumeChangedLater();
}

void MpvPlayer::volumeChangedLater() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (onVolumeChanged)
                onVolumeChanged();
        },
        Qt::QueuedConnection);
}

}  // namespace qova::player
