#include "testkit/sound_server.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <thread>

#include "testkit/streams/stream_processes.h"

namespace qova::testkit {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using streams::ChildProcess;

constexpr const char* kDaemon = "/usr/bin/pulseaudio";
constexpr const char* kEnv = "/usr/bin/env";
constexpr auto kStartLimit = 10s;

// A block read from the monitor: 5 ms, so that its time is known to a few ms.
constexpr int kBlockFrames = SinkMonitor::kRate / 200;
constexpr std::size_t kKeptBlocks = 120 * 200;
// What a tone is looked for in: 10 ms, every 2.5 ms.
constexpr int kWindow = SinkMonitor::kRate / 100;
constexpr int kHop = kWindow / 4;
// Quieter than -50 dBFS is silence; a tone is heard where it is most of the sound.
constexpr double kSilenceRms = 0.00316;
constexpr double kToneShare = 0.8;

bool unixSocketAnswers(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

SinkMonitor::Clock::duration frames(std::size_t count) {
    return std::chrono::duration_cast<SinkMonitor::Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(count) / SinkMonitor::kRate));
}

/// PULSE_COOKIE pointed into a folder while this lives, as it was before once it goes. Each
/// PulseAudio client (libpulse-simple here, libmpv's sound output, the programs a test starts)
/// otherwise makes the user's cookie in ~/.config/pulse; the server takes anyone anyway.
class CookieIn {
  public:
    explicit CookieIn(const fs::path& folder) {
        if (const char* before = std::getenv(kCookie))
            before_ = before;
        ::setenv(kCookie, (folder / "cookie").c_str(), 1);
    }
    ~CookieIn() {
        if (before_)
            ::setenv(kCookie, before_->c_str(), 1);
        else
            ::unsetenv(kCookie);
    }
    CookieIn(const CookieIn&) = delete;
    CookieIn& operator=(const CookieIn&) = delete;

  private:
    static constexpr const char* kCookie = "PULSE_COOKIE";
    std::optional<std::string> before_;
};

}  // namespace

struct SoundServer::Impl {
    // First, so that it goes last, after the server that keeps its socket in it.
    streams::TempDir temp;
    CookieIn cookie{temp.path()};
    std::vector<std::string> sinks;
    std::string socket;
    std::unique_ptr<ChildProcess> daemon;
};

SoundServer::SoundServer(std::vector<std::string> sinks) : impl_(std::make_unique<Impl>()) {
    if (sinks.empty())
        throw std::invalid_argument("a sound server needs a sink");
    impl_->sinks = std::move(sinks);
    const fs::path root = impl_->temp.path();
    impl_->socket = (root / "native").string();
    // Its runtime, state and configuration in the temp folder rather than the user's, and no
    // session bus or display to announce itself on: another test's server never meets it.
    std::vector<std::string> args = {kEnv,
                                     "-u",
                                     "DBUS_SESSION_BUS_ADDRESS",
                                     "-u",
                                     "DISPLAY",
                                     "HOME=" + root.string(),
                                     "XDG_CONFIG_HOME=" + (root / "config").string(),
                                     "XDG_RUNTIME_DIR=" + root.string(),
                                     "PULSE_RUNTIME_PATH=" + (root / "runtime").string(),
                                     "PULSE_STATE_PATH=" + (root / "state").string(),
                                     kDaemon,
                                     "-n",
                                     "--daemonize=no",
                                     "--system=no",
                                     "--exit-idle-time=-1",
                                     "--use-pid-file=no",
                                     "--no-cpu-limit=yes",
                                     "--realtime=no",
                                     "--high-priority=no",
                                     "--log-target=stderr"};
    for (const std::string& sink : impl_->sinks)
        args.push_back("--load=module-null-sink rate=48000 sink_name=" + sink);
    // Last: the modules load in order before the server answers anyone, so that once its socket
    // takes a connection, the sinks are there.
    args.push_back("--load=module-native-protocol-unix auth-anonymous=1 socket=" + impl_->socket);
    streams::SpawnOptions spawn;
    spawn.log = root / "pulseaudio.log";
    impl_->daemon = std::make_unique<ChildProcess>("pulseaudio", args, spawn);
    bool exited = false;
    const bool up = streams::waitUntil(streams::Clock::now() + kStartLimit, 20ms, [&] {
        exited = !impl_->daemon->running();
        return exited || unixSocketAnswers(impl_->socket);
    });
    if (!up || exited)
        throw std::runtime_error("pulseaudio did not answer: " + impl_->daemon->describe());
}

SoundServer::~SoundServer() = default;

std::string SoundServer::address() const {
    return "unix:" + impl_->socket;
}

const std::vector<std::string>& SoundServer::sinks() const {
    return impl_->sinks;
}

std::vector<std::pair<std::string, std::string>> SoundServer::engineOptions(
    const std::string& sink) const {
    return {{"ao", "pulse"}, {"pulse-host", address()}, {"audio-device", "pulse/" + sink}};
}

std::vector<std::string> SoundServer::programArguments(const std::string& sink) const {
    std::vector<std::string> arguments;
    for (const auto& [name, value] : engineOptions(sink))
        arguments.push_back("--" + name + "=" + value);
    return arguments;
}

bool SoundServer::available(std::string* why) {
    std::string missing;
    if (::access(kDaemon, X_OK) != 0)
        missing = std::string(kDaemon) + " (package pulseaudio)";
    if (why != nullptr)
        *why = missing;
    return missing.empty();
}

struct SinkMonitor::Impl {
    struct Block {
        Clock::time_point start;
        std::vector<std::int16_t> samples;
    };

    ~Impl() {
        stop = true;
        if (reader.joinable())
            reader.join();
        if (stream != nullptr)
            pa_simple_free(stream);
    }
    void read();

    pa_simple* stream = nullptr;
    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::deque<Block> blocks;
    std::thread reader;
};

void SinkMonitor::Impl::read() {
    // Each read returns within a block's time, as the sink plays on in silence too.
    const auto end = Clock::now() + std::chrono::seconds(streams::kLifetimeLimitSeconds);
    while (!stop && Clock::now() < end) {
        Block block{{}, std::vector<std::int16_t>(kBlockFrames)};
        int error = 0;
        if (pa_simple_read(stream, block.samples.data(), block.samples.size() * 2, &error) < 0)
            return;
        const auto now = Clock::now();
        // How long ago the last frame read sounded: the monitor's latency and what waits here.
        const pa_usec_t latency = pa_simple_get_latency(stream, &error);
        const auto last =
            now - std::chrono::microseconds(latency == static_cast<pa_usec_t>(-1) ? 0 : latency);
        block.start = last - frames(kBlockFrames - 1);
        const std::lock_guard lock(mutex);
        blocks.push_back(std::move(block));
        if (blocks.size() > kKeptBlocks)
            blocks.pop_front();
    }
}

SinkMonitor::SinkMonitor(const SoundServer& server, const std::string& sink)
    : impl_(std::make_unique<Impl>()) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
    const auto none = static_cast<std::uint32_t>(-1);
    // Small fragments: the monitor then gives each block as the sink plays it.
    const pa_buffer_attr buffer{none, none, none, none, kBlockFrames * 2};
    int error = 0;
    impl_->stream =
        pa_simple_new(server.address().c_str(), "QOVA tests", PA_STREAM_RECORD,
                      (sink + ".monitor").c_str(), "monitor", &spec, nullptr, &buffer, &error);
    if (impl_->stream == nullptr)
        throw std::runtime_error("cannot record the monitor of " + sink + ": " +
                                 pa_strerror(error));
    impl_->reader = std::thread([this] { impl_->read(); });
}

SinkMonitor::~SinkMonitor() = default;

std::optional<SinkMonitor::Clock::time_point> SinkMonitor::toneStart(double hz,
                                                                     Clock::time_point from) const {
    // What was heard since shortly before `from`, end to end, and where each block begins in
    // it: a block's own time tells when its samples sounded, as the monitor may have dropped
    // sound between two blocks when the reader fell behind.
    std::vector<std::int16_t> samples;
    std::vector<std::pair<std::size_t, Clock::time_point>> starts;
    {
        const std::lock_guard lock(impl_->mutex);
        for (const auto& block : impl_->blocks) {
            if (block.start + frames(block.samples.size()) <= from)
                continue;
            starts.emplace_back(samples.size(), block.start);
            samples.insert(samples.end(), block.samples.begin(), block.samples.end());
        }
    }
    if (starts.empty())
        return std::nullopt;
    const auto soundedAt = [&](std::size_t sample) {
        const auto block = std::prev(
            std::upper_bound(starts.begin(), starts.end(), sample,
                             [](std::size_t at, const auto& start) { return at < start.first; }));
        return block->second + frames(sample - block->first);
    };
    const double skipped =
        std::chrono::duration<double>(from - starts.front().second).count() * kRate;
    const auto begin = static_cast<std::size_t>(std::max(0.0, std::ceil(skipped)));
    // Goertzel's filter for the one frequency, beside the whole window's energy.
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kRate);
    for (std::size_t at = begin; at + kWindow <= samples.size(); at += kHop) {
        double previous = 0.0, beforeThat = 0.0, energy = 0.0;
        for (int i = 0; i < kWindow; ++i) {
            const double x = samples[at + i] / 32768.0;
            energy += x * x;
            const double next = x + coefficient * previous - beforeThat;
            beforeThat = previous;
            previous = next;
        }
        const double power =
            previous * previous + beforeThat * beforeThat - coefficient * previous * beforeThat;
        const double toneRms = std::sqrt(2.0 * power) / kWindow;
        const double rms = std::sqrt(energy / kWindow);
        if (rms > kSilenceRms && toneRms >= kToneShare * rms)
            return soundedAt(at + kWindow / 2);
    }
    return std::nullopt;
}

}  // namespace qova::testkit
