#include "testkit/streams/icecast_server.h"

#include <unistd.h>

#include <QByteArray>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

#include "testkit/stream_servers.h"
#include "testkit/streams/server_helpers.h"

namespace qova::testkit::streams {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

bool adminAnswerComplete(const std::string& answer) {
    return answer.find("</iceresponse>") != std::string::npos;
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

IcecastServer::IcecastServer(fs::path root)
    : root_(std::move(root)), sourcePassword_(randomToken()), adminPassword_(randomToken()) {}

IcecastServer::~IcecastServer() {
    stop();
}

void IcecastServer::launch(Clock::time_point deadline) {
    launchIcecast();
    awaitListening(deadline);
    launchSources();
}

void IcecastServer::launchIcecast() {
    const fs::path dir = root_ / "icecast";
    fs::create_directories(dir / "log");
    fs::create_directories(dir / "web");
    // Started again after a stop, it listens where its listeners knew it.
    if (port_ == 0)
        port_ = freeLoopbackPort();
    const fs::path config = dir / "icecast.xml";
    std::ofstream(config) << icecastConfig(dir, port_, sourcePassword_, adminPassword_);
    SpawnOptions spawn;
    spawn.log = root_ / "icecast.out";
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
    icecast_ = std::make_unique<ChildProcess>(
        "icecast", std::vector<std::string>{kProgram, "-c", config.string()}, spawn);
}

void IcecastServer::awaitListening(Clock::time_point deadline) {
    // The port was free a moment ago; another program may have taken it since.
    for (int attempt = 1;; ++attempt) {
        bool exited = false;
        const bool up = waitUntil(deadline, 50ms, [&] {
            exited = !icecast_->running();
            return exited || canConnect(port_);
        });
        if (up && !exited)
            return;
        const std::string why = icecast_->describe(root_ / "icecast" / "log" / "error.log");
        if (!exited || attempt == 3)
            throw std::runtime_error("icecast did not listen on 127.0.0.1: " + why);
        icecast_.reset();
        port_ = 0;
        launchIcecast();
    }
}

std::unique_ptr<ChildProcess> IcecastServer::ffmpegSource(const std::string& mount,
                                                          const std::vector<std::string>& encoding,
                                                          const std::string& input) {
    std::vector<std::string> args =
        commandWords("-nostdin -hide_banner -loglevel warning -re -f lavfi -i " + input + " -ac 2");
    args.insert(args.begin(), kFfmpeg);
    args.insert(args.end(), encoding.begin(), encoding.end());
    args.push_back("icecast://source:" + sourcePassword_ + "@127.0.0.1:" + std::to_string(port_) +
                   mount);
    SpawnOptions spawn;
    spawn.log = root_ / ("source" + mount.substr(mount.find('.')) + ".log");
    return std::make_unique<ChildProcess>("ffmpeg source " + mount, args, spawn);
}

void IcecastServer::launchSources() {
    // No ID3 tag or Xing frame: in a live stream only the first listener's burst would hold them.
    const std::vector<std::string> mp3 = {"-c:a",           "libmp3lame", "-b:a",        "128k",
                                          "-id3v2_version", "0",          "-write_xing", "0",
                                          "-content_type",  "audio/mpeg", "-ice_genre",  "Test"};
    const auto named = [&](std::vector<std::string> encoding, const std::string& name,
                           int hz = 440) {
        encoding.insert(encoding.end(),
                        {"-ice_name", name, "-ice_description",
                         "A " + std::to_string(hz) + " Hz tone in MP3", "-f", "mp3"});
        return encoding;
    };
    mp3Source_ = ffmpegSource("/live.mp3", named(mp3, "QOVA Test MP3"), kSineInput);
    toneSources_.clear();
    for (std::size_t i = 0; i < toneLevels_.size(); ++i) {
        const int level = toneLevels_[i];
        const int hz = i < toneFrequencies_.size() ? toneFrequencies_[i] : 440;
        // Both channels the same tone, its RMS at the level: a sine's peak is 3 dB above.
        const std::string amplitude = std::to_string(std::sqrt(2.0) * std::pow(10.0, level / 20.0));
        const std::string tone = amplitude + "*sin(2*PI*" + std::to_string(hz) + "*t)";
        toneSources_.push_back(ffmpegSource(toneMount(level),
                                            named(mp3, "QOVA Tone " + std::to_string(level), hz),
                                            "aevalsrc=exprs=" + tone + "|" + tone + ":s=44100"));
    }
    // Short Ogg pages so that the Ogg mount flows as evenly as the MP3 one.
    oggSource_ = ffmpegSource("/live.ogg",
                              {"-c:a",
                               "libvorbis",
                               "-q:a",
                               "2",
                               "-page_duration",
                               "250000",
                               "-metadata",
                               "title=" + kOggTitle,
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
                               "ogg"},
                              kSineInput);
}

void IcecastServer::awaitMounts(Clock::time_point deadline) {
    // Both mounts are polled in turn, so that waiting for one does not delay the other.
    std::vector<std::pair<std::string, ChildProcess*>> waiting = {{"/live.mp3", mp3Source_.get()},
                                                                  {"/live.ogg", oggSource_.get()}};
    for (std::size_t i = 0; i < toneSources_.size(); ++i)
        waiting.emplace_back(toneMount(toneLevels_[i]), toneSources_[i].get());
    bool sourceEnded = false;
    waitUntil(deadline, 100ms, [&] {
        std::erase_if(waiting, [&](const auto& mount) {
            sourceEnded = sourceEnded || !mount.second->running();
            return startsWithStatus(
                exchangeOnLoopback(port_, httpGet(port_, mount.first), 1s, headAndBody(256)),
                "200");
        });
        return waiting.empty() || sourceEnded || !icecast_->running();
    });
    if (!waiting.empty()) {
        throw std::runtime_error("mount " + waiting.front().first + " does not play; source " +
                                 waiting.front().second->describe() + "; icecast " +
                                 icecast_->describe());
    }

    // The MP3 title goes in through the admin interface, as a station's encoder would send it;
    // after a restart the title the test last set.
    const std::string update = adminRequest("/admin/metadata?mount=/live.mp3&mode=updinfo&song=" +
                                            percentEncoded(mp3Title_));
    const std::string marker = "StreamTitle='" + mp3Title_ + "';";
    std::string lastAnswer;
    const bool titled = waitUntil(deadline, 100ms, [&] {
        lastAnswer = exchangeOnLoopback(port_, update, 2s, adminAnswerComplete);
        if (lastAnswer.find("<return>1</return>") == std::string::npos)
            return false;
        // Ready once a new listener finds the title in its very first block, i.e. the burst
        // of older audio it is sent first no longer predates the update.
        const auto block = firstIcyBlock(exchangeOnLoopback(
            port_, httpGet(port_, "/live.mp3", "Icy-MetaData: 1\r\n"), 3s,
            [](const std::string& answer) { return firstIcyBlock(answer).has_value(); }));
        return block && block->find(marker) != std::string::npos;
    });
    if (!titled)
        throw std::runtime_error("the MP3 title did not reach a listener; admin said: " +
                                 lastAnswer.substr(0, 400));
}

void IcecastServer::stop() {
    // Every group gets SIGTERM at once, so that stopping takes one grace period, not three.
    std::vector<ChildProcess*> running;
    for (auto* process : {&mp3Source_, &oggSource_, &icecast_}) {
        if (*process)
            running.push_back(process->get());
    }
    for (const auto& tone : toneSources_)
        running.push_back(tone.get());
    stopTogether(running);
    toneSources_.clear();
    mp3Source_.reset();
    oggSource_.reset();
    icecast_.reset();
}

std::string IcecastServer::adminRequest(const std::string& target) const {
    const std::string auth =
        QByteArray(("admin:" + adminPassword_).c_str()).toBase64().toStdString();
    return httpGet(port_, target, "Authorization: Basic " + auth + "\r\n");
}

bool IcecastServer::setMp3Title(const std::string& title) {
    const std::string answer = exchangeOnLoopback(
        port_,
        adminRequest("/admin/metadata?mount=/live.mp3&mode=updinfo&song=" + percentEncoded(title)),
        2s, adminAnswerComplete);
    if (answer.find("<return>1</return>") == std::string::npos)
        return false;
    mp3Title_ = title;
    return true;
}

int IcecastServer::listeners(const std::string& mount) const {
    const std::string stats = exchangeOnLoopback(
        port_, adminRequest("/admin/stats"), 2s,
        [](const std::string& answer) { return answer.find("</icestats>") != std::string::npos; });
    const auto source = stats.find("<source mount=\"" + mount + "\">");
    const auto field = stats.find("<listeners>", source);
    if (source == std::string::npos || field == std::string::npos)
        return -1;
    return std::atoi(stats.c_str() + field + 11);
}

std::vector<ChildProcess*> IcecastServer::processes() const {
    std::vector<ChildProcess*> running;
    for (const auto* process : {&icecast_, &mp3Source_, &oggSource_}) {
        if (*process)
            running.push_back(process->get());
    }
    for (const auto& tone : toneSources_)
        running.push_back(tone.get());
    return running;
}

}  // namespace qova::testkit::streams
