#include "testkit/stream_servers.h"

#include <unistd.h>

#include <QByteArray>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "testkit/streams/stream_processes.h"

#ifndef QOVA_TESTKIT_DIR
#error "QOVA_TESTKIT_DIR must name the folder that holds rtsp_server.py"
#endif

namespace qova::testkit {

using streams::ChildProcess;
using streams::Clock;
using streams::FileServer;
using streams::SpawnOptions;
using streams::TempDir;

namespace {

namespace fs = std::filesystem;
using streams::canConnect;
using streams::chownTree;
using streams::freeLoopbackPort;
using streams::icecastConfig;
using streams::kLifetimeLimitSeconds;
using streams::rtspAnswerComplete;
using streams::stopTogether;
using streams::unprivilegedAccount;
using streams::waitUntil;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 20s;
constexpr const char* kFfmpeg = "/usr/bin/ffmpeg";
constexpr const char* kIcecast = "/usr/bin/icecast2";
constexpr const char* kPython = "/usr/bin/python3";
const std::string kMp3Title = "QOVA Test Tone";
const std::string kOggTitle = "QOVA Test Tone (Ogg)";
const std::string kSineInput = "sine=frequency=440:sample_rate=44100";

// Command-line words of a text without quoted parts.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

std::string rtspHelper() {
    return std::string(QOVA_TESTKIT_DIR) + "/rtsp_server.py";
}

std::string randomToken() {
    std::random_device device;
    std::ostringstream text;
    text << std::hex << device() << device();
    return text.str();
}

std::string percentEncoded(const std::string& text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string seconds(Clock::duration elapsed) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(1);
    text << std::chrono::duration<double>(elapsed).count() << " s";
    return text.str();
}

// A client request that closes its connection after the answer, so that reads end early.
std::string httpGet(std::uint16_t port, const std::string& target, const std::string& extra = {}) {
    return "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: qova-tests\r\n" + extra + "\r\n";
}

bool startsWithStatus(const std::string& answer, const std::string& status) {
    const auto lineEnd = answer.find("\r\n");
    return lineEnd != std::string::npos &&
           answer.substr(0, lineEnd).find(" " + status) != std::string::npos;
}

// The head arrived and at least `bodyBytes` of the body.
auto headAndBody(std::size_t bodyBytes) {
    return [bodyBytes](const std::string& answer) {
        const auto end = answer.find("\r\n\r\n");
        return end != std::string::npos && answer.size() >= end + 4 + bodyBytes;
    };
}

// The first ICY metadata block of an answer to "Icy-MetaData: 1", once it all arrived.
std::optional<std::string> firstIcyBlock(const std::string& answer) {
    const auto headEnd = answer.find("\r\n\r\n");
    const auto field = answer.find("icy-metaint:");
    if (headEnd == std::string::npos || field == std::string::npos || field > headEnd)
        return std::nullopt;
    const std::size_t metaint = std::strtoul(answer.c_str() + field + 12, nullptr, 10);
    const std::size_t at = headEnd + 4 + metaint;
    if (metaint == 0 || answer.size() <= at)
        return std::nullopt;
    const std::size_t length = static_cast<unsigned char>(answer[at]) * std::size_t{16};
    if (answer.size() < at + 1 + length)
        return std::nullopt;
    return answer.substr(at + 1, length);
}

}  // namespace

struct StreamServers::Impl {
    TempDir temp;
    std::uint16_t icecastPort = 0;
    std::uint16_t rtspPort = 0;
    std::chrono::seconds lifetime{kLifetimeLimitSeconds};
    std::string sourcePassword = randomToken();
    std::string adminPassword = randomToken();
    std::string mp3Title = kMp3Title;
    std::unique_ptr<FileServer> hlsServer;
    std::unique_ptr<ChildProcess> icecast, mp3Source, oggSource, hlsEncoder, rtsp;
    std::vector<std::string> report;

    ~Impl() {
        // Every group gets SIGTERM at once, so that stopping takes one grace period, not five.
        std::vector<ChildProcess*> all;
        for (auto* process : {&mp3Source, &oggSource, &hlsEncoder, &rtsp, &icecast}) {
            if (*process)
                all.push_back(process->get());
        }
        stopTogether(all);
        hlsServer.reset();
    }

    void start(const Options& options);
    void launchIcecast();
    void awaitIcecastListening(Clock::time_point deadline);
    void launchSources();
    void awaitIcecastMounts(Clock::time_point deadline);
    void launchHls();
    void awaitHls(Clock::time_point deadline);
    void launchRtsp(std::uint16_t port = 0);
    void awaitRtsp(Clock::time_point deadline);
    std::unique_ptr<ChildProcess> ffmpegSource(const std::string& mount,
                                               const std::vector<std::string>& encoding);
};

void StreamServers::Impl::start(const Options& options) {
    if (options.lifetime.count() > 0)
        lifetime = options.lifetime;
    const auto launched = Clock::now();
    const auto deadline = launched + kStartLimit;
    // Every process is started from this thread: the children die with the thread that made
    // them. Only the waiting happens on other threads, so that the servers warm up together.
    if (options.hls)
        launchHls();
    if (options.rtsp)
        launchRtsp();
    if (options.icecast) {
        launchIcecast();
        awaitIcecastListening(deadline);
        launchSources();
    }
    std::vector<std::pair<std::string, std::future<Clock::time_point>>> waits;
    auto wait = [&](const std::string& name, void (Impl::*await)(Clock::time_point)) {
        waits.emplace_back(name, std::async(std::launch::async, [this, await, deadline] {
                               (this->*await)(deadline);
                               return Clock::now();
                           }));
    };
    if (options.icecast)
        wait("icecast", &Impl::awaitIcecastMounts);
    if (options.hls)
        wait("hls", &Impl::awaitHls);
    if (options.rtsp)
        wait("rtsp", &Impl::awaitRtsp);
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

void StreamServers::Impl::launchIcecast() {
    const fs::path dir = temp.path() / "icecast";
    fs::create_directories(dir / "log");
    fs::create_directories(dir / "web");
    // Started again after a stop, it listens where its listeners knew it.
    if (icecastPort == 0)
        icecastPort = freeLoopbackPort();
    const fs::path config = dir / "icecast.xml";
    std::ofstream(config) << icecastConfig(dir, icecastPort, sourcePassword, adminPassword);
    SpawnOptions spawn;
    spawn.log = temp.path() / "icecast.out";
    if (::geteuid() == 0) {
        // Icecast refuses to run as root. Dropping to nobody before exec (rather than through
        // its own changeowner) keeps the parent-death signal, which a change of user clears.
        const auto account = unprivilegedAccount();
        if (!account)
            throw std::runtime_error("icecast: no user 'nobody' to run it as");
        chownTree(dir, *account);
        spawn.uid = account->uid;
        spawn.gid = account->gid;
    }
    icecast = std::make_unique<ChildProcess>(
        "icecast", std::vector<std::string>{kIcecast, "-c", config.string()}, spawn);
}

void StreamServers::Impl::awaitIcecastListening(Clock::time_point deadline) {
    // The port was free a moment ago; another program may have taken it since.
    for (int attempt = 1;; ++attempt) {
        bool exited = false;
        const bool up = waitUntil(deadline, 50ms, [&] {
            exited = !icecast->running();
            return exited || canConnect(icecastPort);
        });
        if (up && !exited)
            return;
        const std::string why = icecast->describe(temp.path() / "icecast" / "log" / "error.log");
        if (!exited || attempt == 3)
            throw std::runtime_error("icecast did not listen on 127.0.0.1: " + why);
        icecast.reset();
        icecastPort = 0;
        launchIcecast();
    }
}

std::unique_ptr<ChildProcess> StreamServers::Impl::ffmpegSource(
    const std::string& mount, const std::vector<std::string>& encoding) {
    std::vector<std::string> args =
        words("-nostdin -hide_banner -loglevel warning -re -f lavfi -i " + kSineInput + " -ac 2");
    args.insert(args.begin(), kFfmpeg);
    args.insert(args.end(), encoding.begin(), encoding.end());
    args.push_back("icecast://source:" + sourcePassword +
                   "@127.0.0.1:" + std::to_string(icecastPort) + mount);
    SpawnOptions spawn;
    spawn.log = temp.path() / ("source" + mount.substr(mount.find('.')) + ".log");
    return std::make_unique<ChildProcess>("ffmpeg source " + mount, args, spawn);
}

void StreamServers::Impl::launchSources() {
    // No ID3 tag or Xing frame: in a live stream only the first listener's burst would hold them.
    mp3Source =
        ffmpegSource("/live.mp3", {"-c:a", "libmp3lame", "-b:a", "128k", "-id3v2_version", "0",
                                   "-write_xing", "0", "-content_type", "audio/mpeg", "-ice_name",
                                   "QOVA Test MP3", "-ice_description", "A 440 Hz tone in MP3",
                                   "-ice_genre", "Test", "-f", "mp3"});
    // Short Ogg pages so that the Ogg mount flows as evenly as the MP3 one.
    const std::string title = "title=" + kOggTitle;
    oggSource = ffmpegSource("/live.ogg", {"-c:a",
                                           "libvorbis",
                                           "-q:a",
                                           "2",
                                           "-page_duration",
                                           "250000",
                                           "-metadata",
                                           title,
                                           "-metadata",
                                           "artist=QOVA",
                                           "-content_type",
                                           "audio/ogg",
                                           "-ice_name",
                                           "QOVA Test Ogg",
                                           "-ice_description",
                                           "A 440 Hz tone in Ogg Vorbis",
                                           "-ice_genre",
                                           "Test",
                                           "-f",
                                           "ogg"});
}

void StreamServers::Impl::awaitIcecastMounts(Clock::time_point deadline) {
    // Both mounts are polled in turn, so that waiting for one does not delay the other.
    std::vector<std::pair<std::string, ChildProcess*>> waiting = {{"/live.mp3", mp3Source.get()},
                                                                  {"/live.ogg", oggSource.get()}};
    bool sourceEnded = false;
    waitUntil(deadline, 100ms, [&] {
        std::erase_if(waiting, [&](const auto& mount) {
            sourceEnded = sourceEnded || !mount.second->running();
            return startsWithStatus(
                exchangeOnLoopback(icecastPort, httpGet(icecastPort, mount.first), 1s,
                                   headAndBody(256)),
                "200");
        });
        return waiting.empty() || sourceEnded || !icecast->running();
    });
    if (!waiting.empty()) {
        throw std::runtime_error("mount " + waiting.front().first + " does not play; source " +
                                 waiting.front().second->describe() + "; icecast " +
                                 icecast->describe());
    }

    // The MP3 title goes in through the admin interface, as a station's encoder would send it.
    const std::string auth =
        QByteArray(("admin:" + adminPassword).c_str()).toBase64().toStdString();
    const std::string update =
        httpGet(icecastPort,
                "/admin/metadata?mount=/live.mp3&mode=updinfo&song=" + percentEncoded(kMp3Title),
                "Authorization: Basic " + auth + "\r\n");
    const std::string marker = "StreamTitle='" + kMp3Title + "';";
    std::string lastAnswer;
    const bool titled = waitUntil(deadline, 100ms, [&] {
        lastAnswer = exchangeOnLoopback(icecastPort, update, 2s, [](const std::string& answer) {
            return answer.find("</iceresponse>") != std::string::npos;
        });
        if (lastAnswer.find("<return>1</return>") == std::string::npos)
            return false;
        // Ready once a new listener finds the title in its very first block, i.e. the burst
        // of older audio it is sent first no longer predates the update.
        const auto block = firstIcyBlock(exchangeOnLoopback(
            icecastPort, httpGet(icecastPort, "/live.mp3", "Icy-MetaData: 1\r\n"), 3s,
            [](const std::string& answer) { return firstIcyBlock(answer).has_value(); }));
        return block && block->find(marker) != std::string::npos;
    });
    if (!titled)
        throw std::runtime_error("the MP3 title did not reach a listener; admin said: " +
                                 lastAnswer.substr(0, 400));
}

void StreamServers::Impl::launchHls() {
    const fs::path dir = temp.path() / "hls";
    fs::create_directories(dir);
    if (!hlsServer)
        hlsServer = std::make_unique<FileServer>(dir, "/live/", lifetime);
    // One key frame a second so that every 1 s segment starts with one; segments are written
    // under a temporary name and renamed, so the file server never hands out half of one. A
    // stopped writer leaves the list open, as a crashed encoder does: a restart is no end.
    std::vector<std::string> args = words(
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
    spawn.log = temp.path() / "hls.log";
    hlsEncoder = std::make_unique<ChildProcess>("ffmpeg hls", args, spawn);
}

void StreamServers::Impl::awaitHls(Clock::time_point deadline) {
    const fs::path playlist = temp.path() / "hls" / "index.m3u8";
    const std::uint16_t port = hlsServer->port();
    bool ended = false;
    const bool ready = waitUntil(deadline, 100ms, [&] {
        ended = !hlsEncoder->running();
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
                                 hlsEncoder->describe());
}

void StreamServers::Impl::launchRtsp(std::uint16_t port) {
    SpawnOptions spawn;
    spawn.log = temp.path() / "rtsp.log";
    spawn.stdinPipe = true;
    spawn.stdoutPipe = true;
    rtsp = std::make_unique<ChildProcess>(
        "rtsp helper",
        std::vector<std::string>{kPython, rtspHelper(), "--port", std::to_string(port),
                                 "--max-seconds", std::to_string(lifetime.count())},
        spawn);
}

void StreamServers::Impl::awaitRtsp(Clock::time_point deadline) {
    const std::string line = rtsp->readStdoutLine(deadline);
    if (line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the rtsp helper printed no port (" + line + "); " +
                                 rtsp->describe());
    rtspPort = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
    // The helper prints its port once the media runs; a DESCRIBE proves clients see it.
    const std::string describe = "DESCRIBE rtsp://127.0.0.1:" + std::to_string(rtspPort) +
                                 "/live RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\n"
                                 "User-Agent: qova-tests\r\n\r\n";
    std::string answer;
    const bool described = waitUntil(deadline, 100ms, [&] {
        if (!rtsp->running())
            return true;
        answer = exchangeOnLoopback(rtspPort, describe, 10s, rtspAnswerComplete);
        return startsWithStatus(answer, "200") && answer.find("m=video") != std::string::npos;
    });
    if (!described || !rtsp->running())
        throw std::runtime_error("rtsp DESCRIBE failed (" + answer.substr(0, 200) + "); " +
                                 rtsp->describe());
}

StreamServers::StreamServers(Options options) : impl_(std::make_unique<Impl>()) {
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
    requireStarted(impl_->icecastPort, "icecast", {});
    std::vector<streams::ChildProcess*> all;
    for (auto* process : {&impl_->mp3Source, &impl_->oggSource, &impl_->icecast}) {
        if (*process)
            all.push_back(process->get());
    }
    streams::stopTogether(all);
    impl_->mp3Source.reset();
    impl_->oggSource.reset();
    impl_->icecast.reset();
}

void StreamServers::startIcecast() {
    requireStarted(impl_->icecastPort, "icecast", {});
    const auto deadline = Clock::now() + kStartLimit;
    impl_->launchIcecast();
    impl_->awaitIcecastListening(deadline);
    impl_->launchSources();
    impl_->awaitIcecastMounts(deadline);
}

void StreamServers::pauseHls(bool paused) {
    if (!impl_->hlsEncoder)
        throw std::logic_error("hls was not asked for in the options");
    ::kill(-impl_->hlsEncoder->pid(), paused ? SIGSTOP : SIGCONT);
}

void StreamServers::restartHls() {
    if (!impl_->hlsEncoder)
        throw std::logic_error("hls was not asked for in the options");
    streams::stopTogether({impl_->hlsEncoder.get()});
    impl_->hlsEncoder.reset();
    // A new writer starts its numbering again; what the old one left must not pass for its
    // first segments.
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(impl_->temp.path() / "hls", ignored))
        fs::remove(entry.path(), ignored);
    const auto deadline = Clock::now() + kStartLimit;
    impl_->launchHls();
    impl_->awaitHls(deadline);
}

void StreamServers::restartRtsp() {
    const std::uint16_t port = impl_->rtspPort;
    requireStarted(port, "rtsp", {});
    streams::stopTogether({impl_->rtsp.get()});
    impl_->rtsp.reset();
    const auto deadline = Clock::now() + kStartLimit;
    impl_->launchRtsp(port);
    impl_->awaitRtsp(deadline);
    if (impl_->rtspPort != port)
        throw std::runtime_error("the rtsp helper came back on another port");
}

std::string StreamServers::icecastMp3Url() const {
    const auto port = impl_->icecastPort;
    return requireStarted(port, "icecast",
                          "http://127.0.0.1:" + std::to_string(port) + "/live.mp3");
}

std::string StreamServers::icecastOggUrl() const {
    const auto port = impl_->icecastPort;
    return requireStarted(port, "icecast",
                          "http://127.0.0.1:" + std::to_string(port) + "/live.ogg");
}

std::string StreamServers::mp3StreamTitle() const {
    return impl_->mp3Title;
}

std::string StreamServers::oggTitle() const {
    return kOggTitle;
}

bool StreamServers::setMp3Title(const std::string& title) {
    const std::string auth =
        QByteArray(("admin:" + impl_->adminPassword).c_str()).toBase64().toStdString();
    const std::string answer = exchangeOnLoopback(
        impl_->icecastPort,
        httpGet(impl_->icecastPort,
                "/admin/metadata?mount=/live.mp3&mode=updinfo&song=" + percentEncoded(title),
                "Authorization: Basic " + auth + "\r\n"),
        2s, [](const std::string& a) { return a.find("</iceresponse>") != std::string::npos; });
    if (answer.find("<return>1</return>") == std::string::npos)
        return false;
    impl_->mp3Title = title;
    return true;
}

int StreamServers::listeners(const std::string& mount) const {
    const std::string auth =
        QByteArray(("admin:" + impl_->adminPassword).c_str()).toBase64().toStdString();
    const std::string stats = exchangeOnLoopback(
        impl_->icecastPort,
        httpGet(impl_->icecastPort, "/admin/stats", "Authorization: Basic " + auth + "\r\n"), 2s,
        [](const std::string& answer) { return answer.find("</icestats>") != std::string::npos; });
    const auto source = stats.find("<source mount=\"" + mount + "\">");
    const auto field = stats.find("<listeners>", source);
    if (source == std::string::npos || field == std::string::npos)
        return -1;
    return std::atoi(stats.c_str() + field + 11);
}

std::string StreamServers::hlsUrl() const {
    const auto port = impl_->hlsServer ? impl_->hlsServer->port() : std::uint16_t{0};
    return requireStarted(port, "hls",
                          "http://127.0.0.1:" + std::to_string(port) + "/live/index.m3u8");
}

std::string StreamServers::rtspUrl() const {
    const auto port = impl_->rtspPort;
    return requireStarted(port, "rtsp", "rtsp://127.0.0.1:" + std::to_string(port) + "/live");
}

std::vector<int> StreamServers::processIds() const {
    std::vector<int> ids;
    for (const auto* process : {&impl_->icecast, &impl_->mp3Source, &impl_->oggSource,
                                &impl_->hlsEncoder, &impl_->rtsp}) {
        if (*process)
            ids.push_back((*process)->pid());
    }
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
    need(options.icecast || options.hls, kFfmpeg, "ffmpeg");
    need(options.icecast, kIcecast, "icecast2");
    need(options.rtsp, kPython, "python3");
    if (options.icecast && ::geteuid() == 0 && !unprivilegedAccount())
        missing += (missing.empty() ? "" : "; ") + std::string("a user 'nobody' for icecast");
    if (options.rtsp && missing.empty()) {
        // The helper knows best which GStreamer parts it needs.
        TempDir temp;
        SpawnOptions spawn;
        spawn.log = temp.path() / "check.log";
        spawn.stdoutPipe = true;
        ChildProcess check("rtsp check", {kPython, rtspHelper(), "--check"}, spawn);
        const std::string said = check.readStdoutLine(Clock::now() + 10s);
        if (!check.waitForExit(Clock::now() + 10s) || check.exitCode() != 0)
            missing += (missing.empty() ? "" : "; ") +
                       (said.empty() ? "the rtsp helper failed: " + check.describe() : said);
    }
    if (why != nullptr)
        *why = missing;
    return missing.empty();
}

}  // namespace qova::testkit
