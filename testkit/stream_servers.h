#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qova::testkit {

/// Which of the servers to start.
struct StreamServerOptions {
    bool icecast = true;
    bool hls = true;
    bool rtsp = true;
    /// How long the HLS file server and the RTSP server live at most, should nothing stop them;
    /// 0 for half an hour. A long run asks for its own length.
    std::chrono::seconds lifetime{0};
    /// More Icecast MP3 mounts, a 440 Hz tone at each RMS level (dBFS) given (icecastToneUrl).
    std::vector<int> toneLevelsDbfs{};
    /// The frequency of each of those tones, in their order, where they must be told apart by
    /// ear (a sink's monitor); 440 Hz for each not given.
    std::vector<int> toneFrequenciesHz{};
};

/// Real streaming servers on 127.0.0.1 for playback tests, all of them live and endless:
///  - Icecast (Debian's icecast2) with two mounts fed by ffmpeg: /live.mp3 (MP3, 128 kb/s, ICY
///    title set through the admin interface) and /live.ogg (Ogg Vorbis, title in its comments);
///  - HLS: ffmpeg's hls muxer (640x360 H.264 + AAC, 1 s segments, 6 in the list, old ones
///    deleted) behind a small file server running on a thread of its own;
///  - RTSP: rtsp_server.py (gst-rtsp-server), 320x180 H.264 + AAC (MPEG4-GENERIC) at /live.
///
/// The constructor returns once every server asked for answers and plays (at most ~20 s each,
/// waited for in parallel) or throws std::runtime_error saying what failed. The destructor
/// stops every process (SIGTERM to its process group, SIGKILL after 2 s) and removes the temp
/// files. Children die with the thread that created the object (PR_SET_PDEATHSIG), so create
/// it on a thread that outlives it, such as the test's main thread.
///
/// Nothing here needs a Qt event loop: the file server answers while the test blocks.
class StreamServers {
  public:
    using Options = StreamServerOptions;

    explicit StreamServers(Options options = {});
    ~StreamServers();

    StreamServers(const StreamServers&) = delete;
    StreamServers& operator=(const StreamServers&) = delete;

    /// http://127.0.0.1:<port>/live.mp3 (audio/mpeg, icy-metaint when Icy-MetaData: 1 is sent).
    std::string icecastMp3Url() const;
    /// http://127.0.0.1:<port>/live.ogg (audio/ogg).
    std::string icecastOggUrl() const;
    /// http://127.0.0.1:<port>/tone<level>.mp3, a tone asked for by toneLevelsDbfs.
    std::string icecastToneUrl(int levelDbfs) const;
    /// The ICY StreamTitle of the MP3 mount; a listener sees it from its first metadata block.
    std::string mp3StreamTitle() const;
    /// The title in the Ogg stream's Vorbis comments.
    std::string oggTitle() const;
    /// Announces a new title on the MP3 mount through Icecast's admin interface, as a station's
    /// encoder does at a new song; true when Icecast took it. Listeners see it after the audio
    /// Icecast had already queued for them, a few seconds at most.
    bool setMp3Title(const std::string& title);
    /// How many listeners Icecast counts on a mount ("/live.mp3", "/live.ogg"), from its admin
    /// interface; -1 when it does not say.
    int listeners(const std::string& mount) const;
    /// Stops Icecast and its sources, as a crash or a restart of the server would: listeners
    /// lose their connection, and new ones are refused.
    void stopIcecast();
    /// Starts them again on the same port; returns once both mounts play again.
    void startIcecast();
    /// Holds the HLS writer still (no new segment, the playlist stays as it is), or lets it go on.
    void pauseHls(bool paused);
    /// Stops the HLS writer and starts a new one, as an encoder restarts: the playlist and its
    /// segments begin anew at the same address. Returns once two new segments are listed.
    void restartHls();
    /// Stops the RTSP server and starts it again on the same port; returns once it describes
    /// its media again.
    void restartRtsp();

    /// http://127.0.0.1:<port>/live/index.m3u8
    std::string hlsUrl() const;
    /// rtsp://127.0.0.1:<port>/live
    std::string rtspUrl() const;

    /// The ids of the processes started (each leads its own process group), for leak checks.
    std::vector<int> processIds() const;
    /// How long each server took until it played, e.g. "icecast 1.2 s, hls 2.4 s, rtsp 0.9 s".
    std::string startupReport() const;

    /// Whether the programs and GStreamer elements the servers asked for are installed;
    /// otherwise says which are missing (for a clear skip message).
    static bool available(std::string* why, Options options = {});

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Connects to 127.0.0.1:port, sends the request and collects the answer until `enough` is
/// true for what arrived, the peer closes, maxBytes arrived or the timeout passed. Returns what
/// arrived (empty when the connection failed). Blocks; needs no event loop.
std::string exchangeOnLoopback(std::uint16_t port, const std::string& request,
                               std::chrono::milliseconds timeout,
                               const std::function<bool(const std::string&)>& enough = {},
                               std::size_t maxBytes = 1 << 20);

/// The port of an http:// or rtsp:// address on 127.0.0.1, or 0.
std::uint16_t loopbackPort(const std::string& url);

}  // namespace qova::testkit
