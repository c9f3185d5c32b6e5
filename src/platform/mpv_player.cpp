#include "platform/mpv_player.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <QPointer>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <clocale>
#include <cstring>
#include <limits>
#include <vector>

namespace qova::platform {
namespace {

constexpr const char* kLoadFileCommand = "loadfile";
constexpr const char* kReplaceFlag = "replace";
constexpr const char* kStopCommand = "stop";
constexpr const char* kPlaylistEntryIdKey = "playlist_entry_id";
constexpr const char* kIcyTitleKey = "icy-title";

constexpr const char* kLoopFileProperty = "loop-file";
constexpr const char* kLoopForever = "inf";
constexpr const char* kLoopNever = "no";

constexpr const char* kTimePosProperty = "time-pos";
constexpr const char* kIdleActiveProperty = "idle-active";
constexpr const char* kMediaTitleProperty = "media-title";
constexpr const char* kMetadataProperty = "metadata";
constexpr const char* kPathProperty = "path";
constexpr const char* kVideoTrackProperty = "vid";
constexpr const char* kAutomaticTrack = "auto";
constexpr const char* kNoTrack = "no";

// Reply IDs of observed properties; command replies carry request numbers instead, which never
// meet these because they come with another event type.
enum ObservedId : std::uint64_t {
    kObservedTimePos = 1,
    kObservedIdle,
    kObservedMediaTitle,
    kObservedMetadata,
    kObservedPath,
};

struct ObservedProperty {
    ObservedId id;
    const char* name;
    mpv_format format;
};

constexpr std::array<ObservedProperty, 5> kObservedProperties = {{
    {kObservedTimePos, kTimePosProperty, MPV_FORMAT_DOUBLE},
    {kObservedIdle, kIdleActiveProperty, MPV_FORMAT_FLAG},
    {kObservedMediaTitle, kMediaTitleProperty, MPV_FORMAT_STRING},
    {kObservedMetadata, kMetadataProperty, MPV_FORMAT_NODE},
    {kObservedPath, kPathProperty, MPV_FORMAT_STRING},
}};

}  // namespace

std::vector<MpvEngineOption> mpvEngineOptions(const MpvPlayerOptions& options) {
    std::vector<MpvEngineOption> list = {
        {"vo", options.renderVideo ? "libmpv" : "null"},
        {"terminal", "no"},
        {"idle", "yes"},
        {"keep-open", "no"},
        {"force-window", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"load-scripts", "no"},
        {"osc", "no", true},
        {"ytdl", "no", true},
        // Built-in scripts the program never uses: each costs megabytes and milliseconds.
        {"load-stats-overlay", "no", true},
        {"load-osd-console", "no", true},
        {"load-auto-profiles", "no", true},
        {"network-timeout", "15"},
        // Live streams never end, so reading ahead is bounded by memory, not by time; what was
        // played is of little use when there is no seeking back.
        {"cache", "auto"},
        {"demuxer-max-bytes", "32MiB"},
        {"demuxer-max-back-bytes", "4MiB"},
        {"audio-client-name", "QOVA"},
        {kLoopFileProperty, kLoopNever},
    };
    if (!options.audioOutput.empty())
        list.push_back({"ao", options.audioOutput});
    return list;
}

namespace {

const mpv_node* mapValue(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP || map.u.list == nullptr)
        return nullptr;
    const mpv_node_list& list = *map.u.list;
    for (int i = 0; i < list.num; ++i) {
        if (list.keys[i] && std::strcmp(list.keys[i], key) == 0)
            return &list.values[i];
    }
    return nullptr;
}

std::string stringValue(const mpv_event_property& property) {
    if (property.format != MPV_FORMAT_STRING || property.data == nullptr)
        return {};
    const char* text = *static_cast<char**>(property.data);
    return text ? text : "";
}

constexpr std::chrono::milliseconds kTimePosInterval{100};

}  // namespace

std::string endFileMessage(int reason, int error) {
    switch (reason) {
        case MPV_END_FILE_REASON_EOF:
            return "The stream has ended.";
        case MPV_END_FILE_REASON_STOP:
        case MPV_END_FILE_REASON_QUIT:
        case MPV_END_FILE_REASON_REDIRECT:
            return {};
        case MPV_END_FILE_REASON_ERROR:
            break;
        default:
            // A reason newer than this program: only an error code makes it worth telling.
            if (error >= 0)
                return {};
            break;
    }
    if (error >= 0)
        return "The stream cannot be played.";
    return std::string("The stream cannot be played: ") + mpv_error_string(error) + ".";
}

bool isLocalMediaAddress(std::string_view address) {
    std::size_t i = 0;
    const auto isSchemeChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '+' || c == '-' || c == '.';
    };
    while (i < address.size() && isSchemeChar(address[i]))
        ++i;
    const bool startsWithLetter = !address.empty() && ((address[0] >= 'a' && address[0] <= 'z') ||
                                                       (address[0] >= 'A' && address[0] <= 'Z'));
    // A one-letter "scheme" is a drive letter.
    if (i < 2 || i >= address.size() || address[i] != ':' || !startsWithLetter)
        return true;
    std::string scheme(address.substr(0, i));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return scheme == "file";
}

void MpvPlayer::HandleDeleter::operator()(mpv_handle* handle) const {
    mpv_terminate_destroy(handle);
}

MpvPlayer::MpvPlayer(MpvPlayerOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    timePosTimer_.setSingleShot(true);
    connect(&timePosTimer_, &QTimer::timeout, this, &MpvPlayer::emitTimePos);
    if (!start()) {
        handle_.reset();
        qWarning("Media engine cannot start: %s", startError_.c_str());
    }
}

MpvPlayer::~MpvPlayer() {
    if (handle_)
        mpv_set_wakeup_callback(handle_.get(), nullptr, nullptr);
}

bool MpvPlayer::start() {
    // libmpv refuses to start without it and parses numbers with the C library for as long as it
    // runs, so it stays; the program formats its numbers through Qt, which ignores it.
    std::setlocale(LC_NUMERIC, "C");
    handle_.reset(mpv_create());
    if (!handle_) {
        startError_ = "cannot create a libmpv instance";
        return false;
    }
    for (const MpvEngineOption& option : mpvEngineOptions(options_)) {
        const int rc = mpv_set_option_string(handle_.get(), option.name, option.value.c_str());
        if (rc == MPV_ERROR_OPTION_NOT_FOUND && option.mayBeMissing)
            continue;
        if (rc < 0) {
            startError_ = std::string("cannot set option ") + option.name + "=" + option.value +
                          ": " + mpv_error_string(rc);
            return false;
        }
    }
    if (const int rc = mpv_initialize(handle_.get()); rc < 0) {
        startError_ = std::string("cannot initialise libmpv: ") + mpv_error_string(rc);
        return false;
    }
    for (const ObservedProperty& property : kObservedProperties) {
        const int rc =
            mpv_observe_property(handle_.get(), property.id, property.name, property.format);
        if (rc < 0) {
            startError_ =
                std::string("cannot observe ") + property.name + ": " + mpv_error_string(rc);
            return false;
        }
    }
    mpv_set_wakeup_callback(handle_.get(), &MpvPlayer::wakeup, this);
    return true;
}

void MpvPlayer::wakeup(void* player) {
    // Runs on a libmpv thread: only hand the work to the Qt thread, once per batch of events.
    auto* self = static_cast<MpvPlayer*>(player);
    if (!self->drainQueued_.exchange(true))
        QMetaObject::invokeMethod(self, &MpvPlayer::drainEvents, Qt::QueuedConnection);
}

void MpvPlayer::load(const std::string& address) {
    const std::uint64_t request = ++lastRequest_;
    if (!handle_) {
        QMetaObject::invokeMethod(
            this,
            [this, request] {
                if (request == lastRequest_)
                    emit playbackFailed(
                        QStringLiteral("The stream cannot be played: the media engine is "
                                       "not available."));
            },
            Qt::QueuedConnection);
        return;
    }
    awaitingLoad_ = true;
    // Per file: the demo channels are short local clips meant to run on; a stream that ends
    // has ended.
    const char* loop = isLocalMediaAddress(address) ? kLoopForever : kLoopNever;
    if (const int rc = mpv_set_property_string(handle_.get(), kLoopFileProperty, loop); rc < 0)
        qWarning("Cannot set %s: %s", kLoopFileProperty, mpv_error_string(rc));
    const char* args[] = {kLoadFileCommand, address.c_str(), kReplaceFlag, nullptr};
    if (const int rc = mpv_command_async(handle_.get(), request, args); rc < 0) {
        awaitingLoad_ = false;
        firstCurrentEntry_ = std::numeric_limits<std::int64_t>::max();
        const QString message =
            QString::fromStdString(endFileMessage(MPV_END_FILE_REASON_ERROR, rc));
        QMetaObject::invokeMethod(
            this,
            [this, request, message] {
                if (request == lastRequest_)
                    emit playbackFailed(message);
            },
            Qt::QueuedConnection);
    }
}

void MpvPlayer::stop() {
    ++lastRequest_;
    awaitingLoad_ = false;
    firstCurrentEntry_ = std::numeric_limits<std::int64_t>::max();
    if (!handle_)
        return;
    const char* args[] = {kStopCommand, nullptr};
    if (const int rc = mpv_command_async(handle_.get(), 0, args); rc < 0)
        qWarning("Cannot stop playback: %s", mpv_error_string(rc));
}

int MpvPlayer::createRenderContext(mpv_render_context** context, mpv_render_param* params) {
    if (!handle_)
        return MPV_ERROR_UNINITIALIZED;
    return mpv_render_context_create(context, handle_.get(), params);
}

void MpvPlayer::reselectVideo() {
    if (!handle_ || idle_)
        return;
    // The track stays selected when its output goes, so asking for it again changes nothing;
    // it has to be let go first.
    for (const char* track : {kNoTrack, kAutomaticTrack}) {
        if (const int rc = mpv_set_property_string(handle_.get(), kVideoTrackProperty, track);
            rc < 0) {
            qWarning("Cannot show the video again: %s", mpv_error_string(rc));
            return;
        }
    }
}

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
}

bool MpvPlayer::isCurrentEntry(std::int64_t entryId) const {
    return !awaitingLoad_ && entryId >= firstCurrentEntry_;
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
        case MPV_EVENT_START_FILE:
            playingEntry_ = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
            break;
        case MPV_EVENT_FILE_LOADED:
            if (isCurrentEntry(playingEntry_))
                emit fileLoaded();
            break;
        case MPV_EVENT_PLAYBACK_RESTART:
            if (isCurrentEntry(playingEntry_))
                emit playbackRestarted();
            break;
        case MPV_EVENT_END_FILE: {
            const auto& end = *static_cast<const mpv_event_end_file*>(event.data);
            if (!isCurrentEntry(end.playlist_entry_id))
                break;
            const QPointer<MpvPlayer> alive(this);
            emit endFile(end.reason, end.error);
            if (alive && end.reason == MPV_END_FILE_REASON_ERROR)
                emit playbackFailed(QString::fromStdString(endFileMessage(end.reason, end.error)));
            break;
        }
        default:
            break;
    }
}

void MpvPlayer::handleCommandReply(std::uint64_t request, int error, const mpv_event& event) {
    if (request == 0 || request != lastRequest_ || !awaitingLoad_)
        return;
    awaitingLoad_ = false;
    if (error < 0) {
        firstCurrentEntry_ = std::numeric_limits<std::int64_t>::max();
        emit playbackFailed(
            QString::fromStdString(endFileMessage(MPV_END_FILE_REASON_ERROR, error)));
        return;
    }
    // Without an entry ID in the reply every later event is taken for the new file.
    firstCurrentEntry_ = 0;
    const auto* reply = static_cast<const mpv_event_command*>(event.data);
    if (reply == nullptr)
        return;
    if (const mpv_node* id = mapValue(reply->result, kPlaylistEntryIdKey);
        id && id->format == MPV_FORMAT_INT64)
        firstCurrentEntry_ = id->u.int64;
}

void MpvPlayer::handlePropertyChange(std::uint64_t id, const mpv_event_property& property) {
    const bool available = property.format != MPV_FORMAT_NONE && property.data != nullptr;
    switch (id) {
        case kObservedTimePos:
            if (available) {
                const double seconds = *static_cast<const double*>(property.data);
                // Going back (a loop, a seek) is shown at once, not a tenth of a second late.
                setTimePos(seconds, seconds < timePos_);
            } else {
                setTimePos(0.0, true);
            }
            break;
        case kObservedIdle: {
            const bool idle = available && *static_cast<const int*>(property.data) != 0;
            if (idle != idle_) {
                idle_ = idle;
                emit idleChanged(idle_);
            }
            break;
        }
        case kObservedMediaTitle: {
            std::string title = stringValue(property);
            if (title != mediaTitle_) {
                mediaTitle_ = std::move(title);
                emit mediaTitleChanged(QString::fromStdString(mediaTitle_));
            }
            break;
        }
        case kObservedMetadata: {
            std::string icy;
            if (available && property.format == MPV_FORMAT_NODE) {
                const mpv_node* value =
                    mapValue(*static_cast<const mpv_node*>(property.data), kIcyTitleKey);
                if (value && value->format == MPV_FORMAT_STRING && value->u.string)
                    icy = value->u.string;
            }
            if (icy != icyTitle_) {
                icyTitle_ = std::move(icy);
                emit icyTitleChanged(QString::fromStdString(icyTitle_));
            }
            break;
        }
        case kObservedPath:
            path_ = stringValue(property);
            break;
        default:
            break;
    }
}

void MpvPlayer::setTimePos(double seconds, bool urgent) {
    timePos_ = seconds;
    const auto sinceLast = std::chrono::steady_clock::now() - lastTimePosSignal_;
    if (urgent || sinceLast >= kTimePosInterval) {
        timePosTimer_.stop();
        emitTimePos();
    } else if (!timePosTimer_.isActive()) {
        // The last position before a pause or the end still gets out.
        timePosTimer_.start(
            std::chrono::ceil<std::chrono::milliseconds>(kTimePosInterval - sinceLast));
    }
}

void MpvPlayer::emitTimePos() {
    lastTimePosSignal_ = std::chrono::steady_clock::now();
    if (timePos_ == emittedTimePos_)
        return;
    emittedTimePos_ = timePos_;
    emit timePosChanged(timePos_);
}

}  // namespace qova::platform
