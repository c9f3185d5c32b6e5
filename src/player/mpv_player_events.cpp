// What the engine tells of the files it loads, taken from its queue on the Qt thread: which
// file an event belongs to, how its start and end go, and what it logged on the way.
#include <mpv/client.h>

#include <QPointer>
#include <limits>
#include <utility>

#include "player/mpv_player.h"
#include "player/mpv_values.h"

namespace qova::player {
namespace {

using namespace mpv_values;

constexpr const char* kPlaylistEntryIdKey = "playlist_entry_id";
constexpr std::size_t kLogLinesKept = 16;

}  // namespace

void MpvPlayer::drainEvents() {
    drainQueued_.store(false);
    // A handler may destroy the player; nothing of it may be touched after that.
    const QPointer<MpvPlayer> alive(this);
    while (alive && handle_) {
        const mpv_event* event = mpv_wait_event(handle_.get(), 0);
        if (event == nullptr || event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    // libmpv hands out its log only once its events are all out, so a failure is told once the
    // warnings that explain it have come too.
    if (alive && brokeWith_) {
        const auto [reason, error] = *std::exchange(brokeWith_, std::nullopt);
        keepOrTell(reason, error);
    }
    if (alive && failedWith_) {
        const int error = *std::exchange(failedWith_, std::nullopt);
        const QString message =
            QString::fromStdString(endFileMessage(MPV_END_FILE_REASON_ERROR, error, log_));
        // A try that could not even be asked for counts as one more break.
        if (keeper_.trying())
            keeper_.broke(message);
        else
            emit playbackFailed(message);
    }
}

void MpvPlayer::keepOrTell(int reason, int error) {
    const QString message =
        QString::fromStdString(reason == MPV_END_FILE_REASON_EOF
                                   ? std::string("The stream cannot be played: it has ended.")
                                   : endFileMessage(MPV_END_FILE_REASON_ERROR, error, log_));
    keeper_.broke(message);
    if (!keeper_.trying())
        return;
    setState(State::Opening);
    if (std::exchange(endedWhilePaused_, false))
        emit notHeld();
}

bool MpvPlayer::isCurrentEntry(std::int64_t entryId) const {
    return !awaitingLoad_ && entryId >= firstCurrentEntry_;
}

void MpvPlayer::setState(State state) {
    if (state == state_)
        return;
    state_ = state;
    if (onStateChanged)
        onStateChanged();
}

void MpvPlayer::handleEvent(const mpv_event& event) {
    switch (event.event_id) {
        case MPV_EVENT_PROPERTY_CHANGE:
            handlePropertyChange(event.reply_userdata,
                                 *static_cast<const mpv_event_property*>(event.data));
            break;
        case MPV_EVENT_COMMAND_REPLY:
            handleCommandReply(event.reply_userdata, event.error, event);
            break;
        case MPV_EVENT_GET_PROPERTY_REPLY:
            handlePropertyReply(event);
            break;
        case MPV_EVENT_START_FILE:
            playingEntry_ = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
            if (isCurrentEntry(playingEntry_))
                log_.clear();
            break;
        case MPV_EVENT_LOG_MESSAGE: {
            const auto& message = *static_cast<const mpv_event_log_message*>(event.data);
            // Bounded: a stream can warn for as long as it plays.
            if (log_.size() == kLogLinesKept)
                log_.erase(log_.begin());
            log_.push_back(std::string(message.prefix ? message.prefix : "") + ": " +
                           std::string(message.text ? message.text : "").substr(0, 300));
            break;
        }
        case MPV_EVENT_PLAYBACK_RESTART:
            if (isCurrentEntry(playingEntry_)) {
                keeper_.played();
                const QPointer<MpvPlayer> alive(this);
                emit playbackRestarted();
                if (alive)
                    setState(State::Playing);
            }
            break;
        case MPV_EVENT_END_FILE: {
            // Copied: a handler may run an event loop that drains the engine's next events.
            const mpv_event_end_file end = *static_cast<const mpv_event_end_file*>(event.data);
            returnMemoryTimer_.start();
            if (!isCurrentEntry(end.playlist_entry_id))
                break;
            // A stream that played, or one being tried again, that fails or ends without a
            // length of its own has broken: it is tried (again) rather than told.
            const bool broke =
                keeper_.keeping() && !local_ &&
                (end.reason == MPV_END_FILE_REASON_ERROR ||
                 (end.reason == MPV_END_FILE_REASON_EOF && !seekable_ && (!sized_ || hls_)));
            if (broke) {
                brokeWith_ = std::pair{static_cast<int>(end.reason), end.error};
                break;
            }
            const QPointer<MpvPlayer> alive(this);
            emit endFile(end.reason, end.error);
            if (alive && end.reason == MPV_END_FILE_REASON_ERROR)
                failedWith_ = end.error;
            break;
        }
        default:
            break;
    }
}

void MpvPlayer::handlePropertyReply(const mpv_event& event) {
    const auto found = reads_.find(event.reply_userdata);
    if (found == reads_.end())
        return;
    const std::function<void(const TextMap&)> done = std::move(found->second);
    reads_.erase(found);
    TextMap values;
    const auto* property = static_cast<const mpv_event_property*>(event.data);
    if (event.error >= 0 && property != nullptr && property->format == MPV_FORMAT_NODE &&
        property->data != nullptr) {
        const auto& node = *static_cast<const mpv_node*>(property->data);
        if (node.format == MPV_FORMAT_NODE_MAP && node.u.list != nullptr) {
            for (int i = 0; i < node.u.list->num; ++i) {
                const mpv_node& value = node.u.list->values[i];
                if (node.u.list->keys[i] && value.format == MPV_FORMAT_STRING && value.u.string)
                    values.emplace(node.u.list->keys[i], value.u.string);
            }
        }
    }
    done(values);
}

void MpvPlayer::handleCommandReply(std::uint64_t request, int error, const mpv_event& event) {
    if (request == 0 || request != lastRequest_ || !awaitingLoad_)
        return;
    awaitingLoad_ = false;
    if (error < 0) {
        firstCurrentEntry_ = std::numeric_limits<std::int64_t>::max();
        failedWith_ = error;
        return;
    }
    // Without an entry ID in the reply every later event is taken for the new file.
    firstCurrentEntry_ = 0;
    const auto* reply = static_cast<const mpv_event_command*>(event.data);
    if (reply != nullptr) {
        if (const mpv_node* id = mapValue(reply->result, kPlaylistEntryIdKey);
            id && id->format == MPV_FORMAT_INT64)
            firstCurrentEntry_ = id->u.int64;
    }
    setState(State::Opening);
}

}  // namespace qova::player
