#include "testkit/streams/video_servers.h"

#include <signal.h>

#include <fstream>
#include <stdexcept>

#include "testkit/stream_servers.h"
#include "testkit/streams/server_helpers.h"

#ifndef QOVA_TESTKIT_DIR
#error "QOVA_TESTKIT_DIR must name the folder that holds rtsp_server.py"
#endif

namespace qova::testkit::streams {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string rtspHelper() {
    return std::string(QOVA_TESTKIT_DIR) + "/rtsp_server.py";
}

}  // namespace

HlsServer::HlsServer(fs::path root, std::chrono::seconds lifetime)
    : root_(std::move(root)), lifetime_(lifetime) {}

HlsServer::~HlsServer() {
    // The writer goes first: the file server must not hand out what it leaves half written.
    encoder_.reset();
    files_.reset();
}

void HlsServer::launch() {
    const fs::path dir = root_ / "hls";
    fs::create_directories(dir);
    if (!files_)
        files_ = std::make_unique<FileServer>(dir, "/live/", lifetime_);
    // One key frame a second so that every 1 s segment starts with one; segments are written
    // under a temporary name and renamed, so the file server never hands out half of one. A
    // stopped writer leaves the list open, as a crashed encoder does: a restart is no end.
    std::vector<std::string> args = commandWords(
        "-nostdin -hide_banner -loglevel warning -re -f lavfi -i testsrc2=size=640x360:rate=25 "
        "-f lavfi -i " +
        kSineInput +
        " -c:v libx264 -preset ultrafast -tune zerolatency "
        "-pix_fmt yuv420p -g 25 -keyint_min 25 -sc_threshold 0 -b:v 800k -c:a aac -b:a 96k -ac 2 "
        "-f hls -hls_time 1 -hls_list_size 6 "
        "-hls_flags delete_segments+temp_file+independent_segments+omit_endlist");
    args.insert(args.begin(), kFfmpeg);
    args.insert(args.end(), {"-hls_segment_filename", (dir / "segment%05d.ts").string(),
                             (dir / "index.m3u8").string()});
    SpawnOptions spawn;
    spawn.log = root_ / "hls.log";
    encoder_ = std::make_unique<ChildProcess>("ffmpeg hls", args, spawn);
}

void HlsServer::await(Clock::time_point deadline) {
    const fs::path playlist = root_ / "hls" / "index.m3u8";
    const std::uint16_t port = files_->port();
    bool ended = false;
    const bool ready = waitUntil(deadline, 100ms, [&] {
        ended = !encoder_->running();
        if (ended)
            return true;
        std::ifstream in(playlist);
        int segments = 0;
        for (std::string line; segments < 100 && std::getline(in, line);)
            segments += line.ends_with(".ts") ? 1 : 0;
        if (segments < 2)
            return false;
        const std::string answer =
            exchangeOnLoopback(port, httpGet(port, "/live/index.m3u8"), 2s, headAndBody(7));
        return startsWithStatus(answer, "200") && answer.find("#EXTM3U") != std::string::npos;
    });
    if (!ready || ended)
        throw std::runtime_error("no HLS playlist with two segments; encoder " +
                                 encoder_->describe());
}

void HlsServer::restart(Clock::time_point deadline) {
    stopTogether({encoder_.get()});
    encoder_.reset();
    // A new writer starts its numbering again; what the old one left must not pass for its
    // first segments.
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(root_ / "hls", ignored))
        fs::remove(entry.path(), ignored);
    launch();
    await(deadline);
}

void HlsServer::pause(bool paused) {
    ::kill(-encoder_->pid(), paused ? SIGSTOP : SIGCONT);
}

std::uint16_t HlsServer::port() const {
    return files_ ? files_->port() : std::uint16_t{0};
}

RtspServer::RtspServer(fs::path root, std::chrono::seconds lifetime)
    : root_(std::move(root)), lifetime_(lifetime) {}

RtspServer::~RtspServer() = default;

void RtspServer::launch(std::uint16_t port) {
    SpawnOptions spawn;
    spawn.log = root_ / "rtsp.log";
    spawn.stdinPipe = true;
    spawn.stdoutPipe = true;
    helper_ = std::make_unique<ChildProcess>(
        "rtsp helper",
        std::vector<std::string>{kPython, rtspHelper(), "--port", std::to_string(port),
                                 "--max-seconds", std::to_string(lifetime_.count())},
        spawn);
}

void RtspServer::await(Clock::time_point deadline) {
    const std::string line = helper_->readStdoutLine(deadline);
    if (line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the rtsp helper printed no port (" + line + "); " +
                                 helper_->describe());
    port_ = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
    // The helper prints its port once the media runs; a DESCRIBE proves clients see it.
    const std::string describe = "DESCRIBE rtsp://127.0.0.1:" + std::to_string(port_) +
                                 "/live RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\n"
                                 "User-Agent: qova-tests\r\n\r\n";
    std::string answer;
    const bool described = waitUntil(deadline, 100ms, [&] {
        if (!helper_->running())
            return true;
        answer = exchangeOnLoopback(port_, describe, 10s, rtspAnswerComplete);
        return startsWithStatus(answer, "200") && answer.find("m=video") != std::string::npos;
    });
    if (!described || !helper_->running())
        throw std::runtime_error("rtsp DESCRIBE failed (" + answer.substr(0, 200) + "); " +
                                 helper_->describe());
}

void RtspServer::restart(Clock::time_point deadline) {
    const std::uint16_t port = port_;
    stopTogether({helper_.get()});
    helper_.reset();
    launch(port);
    await(deadline);
    if (port_ != port)
        throw std::runtime_error("the rtsp helper came back on another port");
}

std::string RtspServer::missingParts() {
    // The helper knows best which GStreamer parts it needs.
    TempDir temp;
    SpawnOptions spawn;
    spawn.log = temp.path() / "check.log";
    spawn.stdoutPipe = true;
    ChildProcess check("rtsp check", {kPython, rtspHelper(), "--check"}, spawn);
    const std::string said = check.readStdoutLine(Clock::now() + 10s);
    if (!check.waitForExit(Clock::now() + 10s) || check.exitCode() != 0)
        return said.empty() ? "the rtsp helper failed: " + check.describe() : said;
    return {};
}

}  // namespace qova::testkit::streams
