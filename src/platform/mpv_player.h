#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct mpv_handle;
struct mpv_event;
struct mpv_event_property;
struct mpv_render_context;
struct mpv_render_param;

namespace qova::platform {

/// What the player area says when playback of a stream stops by itself, from libmpv's end-of-file
/// reason and error code. Empty when there is nothing to tell the user (stopped, replaced, quit).
std::string endFileMessage(int reason, int error);

/// Whether an address names a local file (a plain path or a file: URL) rather than a stream.
bool isLocalMediaAddress(std::string_view address);

struct MpvPlayerOptions {
    /// Whether video goes to a render context (MpvVideoWidget); otherwise it is decoded unseen.
    bool renderVideo = true;
    /// libmpv's audio output; empty for its default. "null" plays silently, in real time.
    std::string audioOutput;
};

/// An option the player gives libmpv before it starts.
struct MpvEngineOption {
    const char* name;
    std::string value;
    // Options of the scripting layer exist only when libmpv was built with it.
    bool mayBeMissing = false;
};

/// The options the player starts libmpv with; the benchmarks start a bare engine alike.
std::vector<MpvEngineOption> mpvEngineOptions(const MpvPlayerOptions& options);

/// The media engine: one libmpv instance, driven from the Qt thread. Events of the engine come
/// back as signals from the event loop, never from inside a call.
///
/// Only the file most recently loaded speaks: once load() or stop() has been called, the events
/// of files it replaced are dropped, so that a late error of an old stream is never shown for a
/// new one. A playlist address counts as one file with all the entries it brings.
class MpvPlayer : public QObject {
    Q_OBJECT

  public:
    explicit MpvPlayer(MpvPlayerOptions options = {}, QObject* parent = nullptr);
    ~MpvPlayer() override;

    MpvPlayer(const MpvPlayer&) = delete;
    MpvPlayer& operator=(const MpvPlayer&) = delete;

    /// Plays an address (URL or local path), replacing whatever played. Local files play on in
    /// a loop; streams play once.
    void load(const std::string& address);
    void stop();

    /// Whether nothing is loaded (before the first load, after stop(), after a stream ended).
    bool idle() const { return idle_; }
    /// Seconds into the current file; 0 when nothing plays.
    double timePos() const { return timePos_; }
    /// The title the engine gives what plays: the stream's own title (for Icecast/Shoutcast
    /// streams the current ICY title when the stream has no other), else the file name.
    const std::string& mediaTitle() const { return mediaTitle_; }
    /// The ICY stream title alone; empty when the stream sends none.
    const std::string& icyTitle() const { return icyTitle_; }
    /// The address of what plays, as it was loaded; empty when nothing plays.
    const std::string& path() const { return path_; }

    /// Whether the engine runs; when it does not, startError() says why and every load fails.
    bool isRunning() const { return handle_ != nullptr; }
    const std::string& startError() const { return startError_; }
    bool rendersVideo() const { return options_.renderVideo; }

    /// Creates the render context that draws this player's video (see mpv_render_context_create).
    /// Returns libmpv's status code. The context must be freed before the player is destroyed.
    int createRenderContext(mpv_render_context** context, mpv_render_param* params);
    /// Picks the video track again. libmpv drops the video of a file when its render context goes
    /// (the widget moved to another window); a new context only shows it after this.
    void reselectVideo();

  signals:
    void fileLoaded();
    /// Playback (re)started after loading or seeking: the first frame or sound is on its way.
    void playbackRestarted();
    /// The loaded file stopped playing; reason is an mpv_end_file_reason, error an mpv_error.
    void endFile(int reason, int error);
    void idleChanged(bool idle);
    /// At most about ten times a second while playing, and at once when the position is lost.
    void timePosChanged(double seconds);
    void mediaTitleChanged(const QString& title);
    void icyTitleChanged(const QString& title);
    /// The file cannot be played; the message is what the user should read.
    void playbackFailed(const QString& message);

  private:
    struct HandleDeleter {
        void operator()(mpv_handle* handle) const;
    };

    bool start();
    static void wakeup(void* player);
    void drainEvents();
    void handleEvent(const mpv_event& event);
    void handlePropertyChange(std::uint64_t id, const mpv_event_property& property);
    void handleCommandReply(std::uint64_t request, int error, const mpv_event& event);
    bool isCurrentEntry(std::int64_t entryId) const;
    void setTimePos(double seconds, bool urgent);
    void emitTimePos();

    MpvPlayerOptions options_;
    std::unique_ptr<mpv_handle, HandleDeleter> handle_;
    std::string startError_;
    std::atomic<bool> drainQueued_{false};

    // Every load() and stop() is a new request; a command reply counts only for the latest.
    std::uint64_t lastRequest_ = 0;
    bool awaitingLoad_ = false;
    // Entries before this one belong to replaced files; the playlist IDs of libmpv only grow.
    std::int64_t firstCurrentEntry_ = 0;
    // The entry libmpv last started; the events that follow until the next start are its.
    std::int64_t playingEntry_ = 0;

    bool idle_ = true;
    double timePos_ = 0.0;
    double emittedTimePos_ = -1.0;
    std::chrono::steady_clock::time_point lastTimePosSignal_;
    QTimer timePosTimer_;
    std::string mediaTitle_;
    std::string icyTitle_;
    std::string path_;
};

}  // namespace qova::platform
