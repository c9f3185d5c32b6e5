#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media_player.h"
#include "player/mpv_engine.h"
#include "player/stream_keeper.h"

struct mpv_handle;
struct mpv_event;
struct mpv_event_property;
struct mpv_render_context;
struct mpv_render_param;

namespace qova::stream {
class StreamRelay;
}

namespace qova::player {

/// The media engine: one libmpv instance, driven from the Qt thread. Events of the engine come
/// back as signals (and as the MediaPlayer callbacks) from the event loop, never from inside a
/// call.
///
/// Only the file most recently loaded speaks: once play() or stop() has been called, the events
/// of files it replaced are dropped, so that a late error of an old stream is never shown for a
/// new one. A playlist address counts as one file with all the entries it brings.
///
/// A stream that played and breaks is loaded again by itself (see StreamKeeper); a local file, a
/// stream that ends where its length says, and one the user stopped are not.
///
/// libmpv needs LC_NUMERIC to be "C" for as long as it runs; main() sets it once, through
/// prepareProcess().
class MpvPlayer : public QObject, public platform::MediaPlayer {
    Q_OBJECT

  public:
    explicit MpvPlayer(MpvPlayerOptions options = {}, QObject* parent = nullptr);
    ~MpvPlayer() override;

    MpvPlayer(const MpvPlayer&) = delete;
    MpvPlayer& operator=(const MpvPlayer&) = delete;

    /// Plays an address (URL or local path), replacing whatever played. Local files play on in
    /// a loop; streams play once.
    void play(const std::string& address) override;
    void stop() override;
    void expectSoundOnly(const std::string& address) override;
    void allowLocalFile(const std::string& address) override;
    /// Whether the address given last to allowLocalFile is this one (its headers aside).
    bool allowsLocalFile(const std::string& address) const;

    State state() const override { return state_; }
    int volume() const override { return volume_; }
    void setVolume(int percent) override;
    bool muted() const override { return muted_; }
    void setMuted(bool muted) override;
    std::string streamTitle() const override { return streamTitle_; }
    platform::StreamFacts facts() const override { return facts_; }

    bool pause() override;
    void resume() override;
    bool paused() const override { return paused_; }
    bool canSeek() const override;
    void seekBy(double seconds) override;
    /// Whether the station ended the stream that plays while it was held: what is left of it is
    /// what the engine holds.
    bool heldStreamEnded() const;
    /// Jumps to the live point of a stream played behind it.
    void goLive();
    /// How many seconds what plays is behind the live point (what the engine holds ahead of
    /// it); 0 for a file or nothing.
    double behindLive() const;
    /// Has the engine write the packets it reads into this file (MPEG-TS for a .ts name), for a
    /// stream the relay does not take (HLS, pictures); empty stops. A reconnection goes on in a
    /// new file beside it, as the engine starts its file anew with each load.
    void recordPackets(const std::string& path);
    const std::string& packetRecording() const { return packetRecording_; }
    /// A property of the engine as text; empty when it cannot be read.
    std::string engineValue(const char* name) const;
    /// Where playback is in what the engine holds, in seconds; 0 when nothing plays.
    double position() const;

    /// Whether nothing is loaded (before the first play, after stop(), after a stream ended).
    bool idle() const { return idle_; }
    /// The address of what plays, as it was loaded; empty when nothing plays.
    const std::string& path() const { return path_; }

    /// Starts the engine, which otherwise starts at the first play; true when it runs. When it
    /// cannot start, startError() says why, it is not tried again, and every play fails.
    bool startEngine();
    /// Loads the engine's library in the background, once, for a start that is likely to come
    /// soon: the first channel then does not wait for it.
    void prepare();
    /// Whether the engine runs.
    bool isRunning() const { return handle_ != nullptr; }
    const std::string& startError() const { return startError_; }
    /// The user agent the engine sends to a stream that asks for none.
    static std::string defaultUserAgent() { return kEngineUserAgent; }

    /// The relay streams go through, once one did; whether the stream that plays does.
    stream::StreamRelay* relay() const { return relay_.get(); }
    bool playsThroughRelay() const { return !relayed_.empty(); }
    /// Whether the engine has tls- options of its own and so meets https stations itself, the
    /// relay left out: it takes their certificates as it was told to.
    bool meetsHttpsItself() const;

    /// Creates the render context that draws this player's video (see mpv_render_context_create).
    /// Returns libmpv's status code. The context must be freed before the player is destroyed.
    int createRenderContext(mpv_render_context** context, mpv_render_param* params);

    /// Options of each file loaded from now on, in the engine's words for a file of its own
    /// ("" for none), given its address without headers: what measures and levels its sound.
    std::function<std::string(const std::string& address)> fileOptions;
    /// The address the engine opens for a channel's line, its headers included (a neighbouring
    /// channel kept ready); when not given, or the line itself is returned, the line's address.
    std::function<std::string(const std::string& address)> routeAddress;
    using TextMap = std::map<std::string, std::string, std::less<>>;
    /// Reads a property of the engine that is a map, in the background; `done` gets its entries
    /// that are text (none when it cannot be read, the engine not running) from the event loop.
    void readTextMap(const char* name, std::function<void(const TextMap&)> done);
    /// Gives the engine a command in the background; its answer is not waited for.
    void sendCommand(const std::vector<std::string>& words);

  signals:
    /// Playback (re)started after loading or seeking: the first frame or sound is on its way.
    void playbackRestarted();
    /// The loaded file stopped playing; reason is an mpv_end_file_reason, error an mpv_error.
    void endFile(int reason, int error);
    void idleChanged(bool idle);
    /// The file cannot be played; the message is what the user should read.
    void playbackFailed(const QString& message);
    /// A stream that broke is being tried again: the attempt, from 1, of how many.
    void reconnecting(int attempt, int of);
    /// The engine waits for data of a stream that played (percent of what it wants, or -1), or
    /// no longer does.
    void buffering(bool shown, int percent);
    /// A stream that stalled goes on by itself before it was tried again.
    void recovered();
    /// Another stream was asked for, or the user stopped: what belonged to the one that played
    /// ends (not when the same stream is tried again).
    void streamReplaced();
    /// A stream whose station ended it while it was paused broke once what was held of it had
    /// played, and is tried again: it goes on from its live point, not from where it paused.
    void notHeld();

  private:
    struct HandleDeleter {
        void operator()(mpv_handle* handle) const;
    };

    bool start();
    void load(std::uint64_t request);
    void loadFile(std::uint64_t request, const std::string& address);
    bool relaying(const std::string& address,
                  const std::vector<std::pair<std::string, std::string>>& headers) const;
    void retry();
    void keepOrTell(int reason, int error);
    static void wakeup(void* player);
    void drainEvents();
    void handleEvent(const mpv_event& event);
    void handlePropertyChange(std::uint64_t id, const mpv_event_property& property);
    void handleCommandReply(std::uint64_t request, int error, const mpv_event& event);
    void handlePropertyReply(const mpv_event& event);
    bool isCurrentEntry(std::int64_t entryId) const;
    void failLater(std::uint64_t request, const QString& message);
    void setState(State state);
    void volumeChangedLater();
    /// Sets how long the engine may take to close the stream from this address.
    void closingFor(const std::string& address);
    void useHeaders(const std::vector<std::pair<std::string, std::string>>& headers,
                    const std::string& address);
    template <typename Value>
    void setFact(Value platform::StreamFacts::*fact, Value value);

    MpvPlayerOptions options_;
    std::unique_ptr<mpv_handle, HandleDeleter> handle_;
    std::string startError_;
    bool prepared_ = false;
    bool startFailed_ = false;
    std::atomic<bool> drainQueued_{false};

    // Every play() and stop() is a new request; a command reply counts only for the latest.
    std::uint64_t lastRequest_ = 0;
    bool awaitingLoad_ = false;
    // Entries before this one belong to replaced files; the playlist IDs of libmpv only grow.
    std::int64_t firstCurrentEntry_ = 0;
    // The entry libmpv last started; the events that follow until the next start are its.
    std::int64_t playingEntry_ = 0;

    State state_ = State::Stopped;
    bool idle_ = true;
    // Shortly after a stream ended, what it held is given back (see returnFreedMemory).
    QTimer returnMemoryTimer_;
    int volume_ = 100;
    bool muted_ = false;
    std::string streamTitle_;
    platform::StreamFacts facts_;
    std::string path_;
    // The local file the channel about to play may name (see allowLocalFile), without headers.
    std::string allowedLocalFile_;
    // What the engine warned of since the file was asked for: the reason when it fails.
    std::vector<std::string> log_;
    // The error of a failure still to be told, once the log that explains it has come.
    std::optional<int> failedWith_;

    // The stream asked for, with its headers, for trying it again; whether it is a local file.
    std::string address_;
    /// The address of the channel last said to carry sound alone.
    std::string soundOnly_;
    /// The address last given to the engine to load, until it is stopped.
    std::string loaded_;
    bool local_ = false;
    // What tells a file, whose end is an end, from a live stream, whose end is a break.
    bool seekable_ = false;
    bool sized_ = false;
    bool hls_ = false;
    bool waitingForData_ = false;
    // The reason and error of a break still to be handled, once its log has come.
    std::optional<std::pair<int, int>> brokeWith_;
    StreamKeeper keeper_;
    // Reads of readTextMap still to be answered, by their reply number.
    std::map<std::uint64_t, std::function<void(const TextMap&)>> reads_;
    std::uint64_t lastRead_ = 0;
    // The options of the file being loaded (fileOptions), for the load once it is routed.
    std::string loadOptions_;
    // Paused by the user: what comes meanwhile goes to the engine's cache on disk.
    bool paused_ = false;
    std::string packetRecording_;
    bool cacheOnDisk_ = false;
    // Play came after the station had ended the paused stream: its break is told as such.
    bool endedWhilePaused_ = false;
    void setCacheOnDisk(bool onDisk);
    // The engine's values of what a pause changed in its cache, to be set again when the
    // channel changes or plays live again.
    std::vector<std::pair<std::string, std::string>> cacheDefaults_;
    void setForPause(const char* name, const std::string& value);
    void restoreCacheDefaults();
    void leavePause();
    void continuePacketRecording();
    // Created with the first stream it takes; the address the engine opens for the one that
    // plays through it, and whether the next load starts a channel rather than reconnecting.
    std::unique_ptr<stream::StreamRelay> relay_;
    std::string relayed_;
    bool newChannel_ = true;
};

}  // namespace qova::player
