#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "testkit/streams/stream_processes.h"

namespace qova::testkit::streams {

/// ffmpeg's hls muxer (640x360 H.264 + AAC, 1 s segments, 6 in the list, old ones deleted)
/// behind a file server on threads of its own, at /live/index.m3u8.
class HlsServer {
  public:
    /// Nothing runs yet; its files and log go into the folder `root`. The file server answers
    /// for `lifetime` at most.
    HlsServer(std::filesystem::path root, std::chrono::seconds lifetime);
    ~HlsServer();
    HlsServer(const HlsServer&) = delete;
    HlsServer& operator=(const HlsServer&) = delete;

    /// Starts the file server (once) and the writer; the writer dies with the calling thread.
    void launch();
    /// Waits until the playlist lists two segments and is served; may run on another thread.
    void await(Clock::time_point deadline);
    /// Stops the writer and starts a new one whose numbering begins anew at the same address.
    void restart(Clock::time_point deadline);
    /// Holds the writer still, or lets it go on.
    void pause(bool paused);

    /// 0 until launched.
    std::uint16_t port() const;
    /// The writer, or nothing.
    ChildProcess* encoder() const { return encoder_.get(); }

  private:
    std::filesystem::path root_;
    std::chrono::seconds lifetime_;
    std::unique_ptr<FileServer> files_;
    std::unique_ptr<ChildProcess> encoder_;
};

/// rtsp_server.py (gst-rtsp-server): 320x180 H.264 + AAC (MPEG4-GENERIC) at /live.
class RtspServer {
  public:
    static constexpr const char* kPython = "/usr/bin/python3";

    /// Nothing runs yet; its log goes into the folder `root`. The helper ends by itself after
    /// `lifetime`.
    RtspServer(std::filesystem::path root, std::chrono::seconds lifetime);
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    /// Starts the helper, on `port` or one it picks (0); it dies with the calling thread.
    void launch(std::uint16_t port = 0);
    /// Waits until the helper says its port and describes its media; may run on another thread.
    void await(Clock::time_point deadline);
    /// Stops the helper and starts it again on the same port; returns once it describes its
    /// media again.
    void restart(Clock::time_point deadline);

    /// 0 until it said its port.
    std::uint16_t port() const { return port_; }
    /// The helper, or nothing.
    ChildProcess* helper() const { return helper_.get(); }

    /// What the helper misses of GStreamer to serve, in its own words; empty when nothing.
    static std::string missingParts();

  private:
    std::filesystem::path root_;
    std::chrono::seconds lifetime_;
    std::uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> helper_;
};

}  // namespace qova::testkit::streams
