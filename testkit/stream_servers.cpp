#include "testkit/stream_servers.h"

#include <unistd.h>

#include <future>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "testkit/streams/icecast_server.h"
#include "testkit/streams/server_helpers.h"
#include "testkit/streams/stream_processes.h"
#include "testkit/streams/video_servers.h"

namespace qova::testkit {

using streams::ChildProcess;
using streams::Clock;
using streams::HlsServer;
using streams::IcecastServer;
using streams::RtspServer;
using streams::TempDir;

namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 20s;

std::string seconds(Clock::duration elapsed) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(1);
    text << std::chrono::duration<double>(elapsed).count() << " s";
    return text.str();
}

std::chrono::seconds lifetimeOf(const StreamServerOptions& options) {
    return options.lifetime.count() > 0 ? options.lifetime
                                        : std::chrono::seconds(streams::kLifetimeLimitSeconds);
}

}  // namespace

struct StreamServers::Impl {
    explicit Impl(const Options& options)
        : icecast(temp.path()),
          hls(temp.path(), lifetimeOf(options)),
          rtsp(temp.path(), lifetimeOf(options)) {}

    ~Impl() {
        // Every group gets SIGTERM at once, so that stopping takes one grace period, not five.
        streams::stopTogether(processes());
    }

    void start(const Options& options);
    // What runs: Icecast, its MP3 and Ogg sources, the HLS writer, the RTSP helper.
    std::vector<ChildProcess*> processes() const {
        std::vector<ChildProcess*> all = icecast.processes();
        for (ChildProcess* process : {hls.encoder(), rtsp.helper()}) {
            if (process != nullptr)
                all.push_back(process);
        }
        return all;
    }

    // First, so that it goes last, after everything that keeps files in it.
    TempDir temp;
    IcecastServer icecast;
    HlsServer hls;
    RtspServer rtsp;
    std::vector<std::string> report;
};

void StreamServers::Impl::start(const Options& options) {
    const auto launched = Clock::now();
    const auto deadline = launched + kStartLimit;
    // Every process is started from this thread: the children die with the thread that made
    // them. Only the waiting happens on other threads, so that the servers warm up together.
    if (options.hls)
        hls.launch();
    if (options.rtsp)
        rtsp.launch();
    if (options.icecast) {
        icecast.addTones(options.toneLevelsDbfs, options.toneFrequenciesHz);
        icecast.launch(deadline);
    }
    std::vector<std::pair<std::string, std::future<Clock::time_point>>> waits;
    auto wait = [&](const std::string& name, auto await) {
        waits.emplace_back(name, std::async(std::launch::async, [await, deadline] {
                               await(deadline);
                               return Clock::now();
                           }));
    };
    if (options.icecast)
        wait("icecast", [this](Clock::time_point until) { icecast.awaitMounts(until); });
    if (options.hls)
        wait("hls", [this](Clock::time_point until) { hls.await(until); });
    if (options.rtsp)
        wait("rtsp", [this](Clock::time_point until) { rtsp.await(until); });
    std::string failures;
    for (auto& [name, ready] : waits) {
        try {
            report.push_back(name + " " + seconds(ready.get() - launched));
        } catch (const std::exception& error) {
            failures += (failures.empty() ? "" : "\n") + name + ": " + error.what();
        }
    }
    if (!failures.empty())
        throw std::runtime_error("stream servers did not start:\n" + failures);
}

StreamServers::StreamServers(Options options) : impl_(std::make_unique<Impl>(options)) {
    impl_->start(options);
}

StreamServers::~StreamServers() = default;

namespace {
std::string requireStarted(std::uint16_t port, const char* server, const std::string& rest) {
    if (port == 0)
        throw std::logic_error(std::string(server) + " was not asked for in the options");
    return rest;
}
}  // namespace

void StreamServers::stopIcecast() {
    requireStarted(impl_->icecast.port(), "icecast", {});
    impl_->icecast.stop();
}

void StreamServers::startIcecast() {
    requireStarted(impl_->icecast.port(), "icecast", {});
    const auto deadline = Clock::now() + kStartLimit;
    impl_->icecast.launch(deadline);
    impl_->icecast.awaitMounts(deadline);
}

void StreamServers::pauseHls(bool paused) {
    if (impl_->hls.encoder() == nullptr)
        throw std::logic_error("hls was not asked for in the options");
    impl_->hls.pause(paused);
}

void StreamServers::restartHls() {
    if (impl_->hls.encoder() == nullptr)
        throw std::logic_error("hls was not asked for in the options");
    impl_->hls.restart(Clock::now() + kStartLimit);
}

void StreamServers::restartRtsp() {
    requireStarted(impl_->rtsp.port(), "rtsp", {});
    impl_->rtsp.restart(Clock::now() + kStartLimit);
}

std::string StreamServers::icecastMp3Url() const {
    const auto port = impl_->icecast.port();
    return requireStarted(port, "icecast",
                          "http://127.0.0.1:" + std::to_string(port) + "/live.mp3");
}

std::string StreamServers::icecastToneUrl(int levelDbfs) const {
    const auto port = impl_->icecast.port();
    return requireStarted(
        port, "icecast",
        "http://127.0.0.1:" + std::to_string(port) + IcecastServer::toneMount(levelDbfs));
}

std::string StreamServers::icecastOggUrl() const {
    const auto port = impl_->icecast.port();
    return requireStarted(port, "icecast",
                          "http://127.0.0.1:" + std::to_string(port) + "/live.ogg");
}

std::string StreamServers::mp3StreamTitle() const {
    return impl_->icecast.mp3Title();
}

std::string StreamServers::oggTitle() const {
    return IcecastServer::kOggTitle;
}

bool StreamServers::setMp3Title(const std::string& title) {
    return impl_->icecast.setMp3Title(title);
}

int StreamServers::listeners(const std::string& mount) const {
    return impl_->icecast.listeners(mount);
}

std::string StreamServers::hlsUrl() const {
    const auto port = impl_->hls.port();
    return requireStarted(port, "hls",
                          "http://127.0.0.1:" + std::to_string(port) + "/live/index.m3u8");
}

std::string StreamServers::rtspUrl() const {
    const auto port = impl_->rtsp.port();
    return requireStarted(port, "rtsp", "rtsp://127.0.0.1:" + std::to_string(port) + "/live");
}

std::vector<int> StreamServers::processIds() const {
    std::vector<int> ids;
    for (const ChildProcess* process : impl_->processes())
        ids.push_back(process->pid());
    return ids;
}

std::string StreamServers::startupReport() const {
    std::string text;
    for (const auto& item : impl_->report)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

bool StreamServers::available(std::string* why, Options options) {
    std::string missing;
    const auto need = [&](bool wanted, const std::string& path, const std::string& package) {
        if (wanted && ::access(path.c_str(), X_OK) != 0)
            missing += (missing.empty() ? "" : "; ") + path + " (package " + package + ")";
    };
    need(options.icecast || options.hls, streams::kFfmpeg, "ffmpeg");
    need(options.icecast, IcecastServer::kProgram, "icecast2");
    need(options.rtsp, RtspServer::kPython, "python3");
    if (options.icecast && ::geteuid() == 0 && !streams::unprivilegedAccount())
        missing += (missing.empty() ? "" : "; ") + std::string("a user 'nobody' for icecast");
    if (options.rtsp && missing.empty()) {
        if (const std::string parts = RtspServer::missingParts(); !parts.empty())
            missing += (missing.empty() ? "" : "; ") + parts;
    }
    if (why != nullptr)
        *why = missing;
    return missing.empty();
}

}  // namespace qova::testkit
