// The program itself, started as a user starts it on the 10,000-line directory: its start-up, and
// its resident memory idle once the directory is stored and shown and playing the HLS test card,
// started over the desktop's media-player interface. This process links libmpv for its
// comparisons, so its own start and memory would say nothing of the program's.
#include <benchmark/benchmark.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playback_support.h"
#include "playback_window.h"
#include "player/mpv_engine.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"

namespace {

using namespace qova::bench;
namespace fs = std::filesystem;

double processMb(qint64 pid, const char* field) {
    return statusMb(field, std::to_string(pid));
}

void addProcessCounters(benchmark::State& state, qint64 pid) {
    state.counters["rss_mb"] = processMb(pid, "VmRSS:");
    state.counters["anon_mb"] = processMb(pid, "RssAnon:");
    state.counters["file_mb"] = processMb(pid, "RssFile:");
    state.counters["peak_mb"] = processMb(pid, "VmHWM:");
}

/// The program in a folder of its own, its directory served from a loopback server or read
/// from a file.
class Program {
  public:
    enum class Source { Server, File };

    explicit Program(const std::string& directory, Source source = Source::Server) {
        const fs::path root = folder_.path();
        fs::copy_file(QOVA_PROGRAM, root / "qova");
        fs::copy_file(fs::path(QOVA_PROGRAM).parent_path() / "Player.html", root / "Player.html");
        std::string address;
        if (source == Source::Server) {
            http_.serve("/channels.txt", directory);
            address = http_.url("/channels.txt");
        } else {
            folder_.write("source.txt", directory);
            address = "file://" + folder_.file("source.txt");
        }
        folder_.write("Config.txt", "URLTXT=" + address + "\r\n");
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        started_ = Clock::now();
        process_.start(QString::fromStdString((root / "qova").string()), {});
    }
    ~Program() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    /// Until the program has stored the directory it downloaded; false at the limit.
    bool stored() {
        const fs::path file = fs::path(folder_.path()) / "Channel.txt";
        return runUntil([&] { return fs::exists(file); }, kWaitLimit);
    }

    /// Milliseconds from the start until the directory is stored, polled every millisecond
    /// without the event loop (which a file's directory does not need); nullopt at the limit.
    std::optional<double> msUntilStored() const {
        const fs::path file = fs::path(folder_.path()) / "Channel.txt";
        while (!fs::exists(file)) {
            if (Clock::now() - started_ > kWaitLimit)
                return std::nullopt;
            std::this_thread::sleep_for(1ms);
        }
        return msBetween(started_, Clock::now());
    }

    /// Until resident memory has not changed by more than 0.1 MB for two seconds, at most 20 s
    /// (the program gives back what served only its start a second after it).
    void settle() {
        double last = -1.0;
        auto steadySince = Clock::now();
        runUntil(
            [&] {
                const double now = processMb(process_.processId(), "VmRSS:");
                if (std::abs(now - last) > 0.1) {
                    last = now;
                    steadySince = Clock::now();
                }
                return Clock::now() - steadySince > 2s;
            },
            kWaitLimit);
    }

    /// The program's name on the session bus; empty while it has none. Others of this process
    /// may hold the plain name, so it is found by the process that owns it.
    QString busName() const {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        const QDBusReply<QStringList> names = bus->registeredServiceNames();
        for (const QString& name : names.value()) {
            if (name.startsWith(QStringLiteral("org.mpris.MediaPlayer2.qova")) &&
                bus->servicePid(name).value() == static_cast<uint>(process_.processId()))
                return name;
        }
        return {};
    }

    /// Chooses the video channels and a country as a user would, with xdotool's mouse and
    /// keyboard on the program's window; false when a step fails.
    bool chooseVideoCountry(const std::string& country) const {
        const QString pid = QString::number(process_.processId());
        const auto xdotool = [](const QStringList& arguments) {
            QProcess tool;
            tool.start(QStringLiteral("xdotool"), arguments);
            return tool.waitForFinished(20000) && tool.exitCode() == 0;
        };
        return xdotool({"search", "--sync", "--onlyvisible", "--pid", pid, "--name", "^QOVA",
                        "mousemove", "--window", "%1", "60", "63", "click", "1"}) &&
               xdotool({"search", "--onlyvisible", "--pid", pid, "--name", "^QOVA", "mousemove",
                        "--window", "%1", "118", "121", "click", "1"}) &&
               xdotool({"type", "--delay", "50", QString::fromStdString(country)}) &&
               xdotool({"key", "Return"});
    }

    void addCounters(benchmark::State& state) const {
        addProcessCounters(state, process_.processId());
    }

  private:
    qova::testkit::LoopbackHttpServer http_;
    qova::testkit::TempFolder folder_;
    QProcess process_;
    Clock::time_point started_;
};
// As a user starts it, a fresh process each run: loading its libraries, the window, the directory
// read from a file (no server's answer counts) and stored.
void ProgramStartToDirectoryStored(benchmark::State& state) {
    const std::string directory = makeDirectory();
    std::vector<double> ms;
    for (auto _ : state) {
        const Program program(directory, Program::Source::File);
        const auto stored = program.msUntilStored();
        if (!stored) {
            state.SkipWithError("the program never stored its directory");
            break;
        }
        state.SetIterationTime(*stored / 1000.0);
        ms.push_back(*stored);
    }
    if (!ms.empty())
        addSpread(state, ms);
}
BENCHMARK(ProgramStartToDirectoryStored)
    ->UseManualTime()
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);

void MemoryProgramIdle(benchmark::State& state) {
    for (auto _ : state) {
        Program program(makeDirectory());
        if (!program.stored()) {
            state.SkipWithError("the program never stored its directory");
            break;
        }
        program.settle();
        program.addCounters(state);
    }
}
BENCHMARK(MemoryProgramIdle)->Iterations(1)->Unit(benchmark::kMillisecond);

void MemoryProgramHlsPlaying(benchmark::State& state) {
    if (skipWithoutServers(state))
        return;
    if (!QDBusConnection::sessionBus().isConnected()) {
        state.SkipWithError("no session bus: run under dbus-run-session");
        return;
    }
    for (auto _ : state) {
        Program program("Test|Video|Hls Card|" + streamUrl(Stream::Hls) + "|EN\n" +
                        makeDirectory());
        QString name;
        if (!program.stored() ||
            !runUntil([&] { return !(name = program.busName()).isEmpty(); }, kWaitLimit)) {
            state.SkipWithError("the program never came up");
            break;
        }
        if (!program.chooseVideoCountry("Test")) {
            state.SkipWithError("the test country could not be chosen (is xdotool there?)");
            break;
        }
        QDBusInterface player(name, QStringLiteral("/org/mpris/MediaPlayer2"),
                              QStringLiteral("org.mpris.MediaPlayer2.Player"));
        player.call(QStringLiteral("Play"));
        const auto playing = [&] {
            const auto metadata = player.property("Metadata").toMap();
            return player.property("PlaybackStatus").toString() == QStringLiteral("Playing") &&
                   metadata.value(QStringLiteral("xesam:artist")).toStringList() ==
                       QStringList{QStringLiteral("Hls Card")};
        };
        if (!runUntil(playing, kWaitLimit)) {
            state.SkipWithError("the HLS channel never played");
            break;
        }
        // As long as the window's own figure plays before it is taken.
        runFor(5s);
        program.addCounters(state);
    }
}
BENCHMARK(MemoryProgramHlsPlaying)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same stream in the mpv program with the engine options of the player (video through
// OpenGL in a window of the player area's size, sound discarded): what the engine itself holds
// on this machine.
void MemoryMpvProgramHlsPlaying(benchmark::State& state) {
    if (skipWithoutMpvProgram(state))
        return;
    qova::testkit::TempFolder folder;
    const QString socketPath = QString::fromStdString(folder.file("mpv.sock"));
    QStringList arguments = {"--no-config", "--vo=gpu", "--gpu-context=x11egl",
                             "--geometry=550x338", "--input-ipc-server=" + socketPath};
    for (const auto& option : qova::player::mpvEngineOptions({.audioOutput = "null"})) {
        if (option.name != "vo")
            arguments.push_back(QString::fromStdString("--" + option.name + "=" + option.value));
    }
    arguments.push_back(QString::fromStdString(streamUrl(Stream::Hls)));
    for (auto _ : state) {
        QProcess mpv;
        mpv.start(QString::fromLatin1(kMpvProgram), arguments);
        // Asked over its socket how far it has played, until half a second.
        QLocalSocket socket;
        const auto played = [&] {
            if (socket.state() != QLocalSocket::ConnectedState) {
                socket.connectToServer(socketPath);
                return false;
            }
            socket.write(R"({"command":["get_property","time-pos"]})"
                         "\n");
            if (!socket.waitForReadyRead(1000))
                return false;
            const auto reply = QJsonDocument::fromJson(socket.readLine()).object();
            return reply.value(QStringLiteral("data")).toDouble() > 0.5;
        };
        if (!runUntil(played, kWaitLimit)) {
            state.SkipWithError("the mpv program never played the stream");
            break;
        }
        runFor(5s);
        addProcessCounters(state, mpv.processId());
        mpv.kill();
        mpv.waitForFinished(10000);
    }
}
BENCHMARK(MemoryMpvProgramHlsPlaying)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
