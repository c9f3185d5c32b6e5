// A long run of the real program against the loopback servers, as a user who leaves it on and
// zaps: the next channel every 5 s through the media-key interface (wrapping to the first at
// the end of the tree), the playing channel starred and unstarred with the mouse now and then,
// every server (Icecast, the HLS writer, RTSP) restarted every 10 minutes, or as often as the
// second argument says. Every second it asks the program for its playback status over D-Bus,
// which the program's Qt thread answers; every minute it notes the program's resident memory. Run
// it on a display and a session bus of its own:
//   dbus-run-session -- xvfb-run -a build/default/bench/qova_soak <minutes> [<restart minutes>]
// Passes (exit 0) when every server came back, the program never died, never took a second to
// answer, played at nine in ten of the moments before a change, grew by less than 5 MB from its
// first minutes to its last (the highest sample of each), and left Channel.txt and favorites.txt
// whole.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "testkit/stream_servers.h"
#include "testkit/temp_folder.h"

namespace {

namespace fs = std::filesystem;

double residentMb(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const qint64 restartEvery = qint64{argc > 2 ? std::max(1, std::atoi(argv[2])) : 10} * 60000;
    std::string why;
    if (!qova::testkit::StreamServers::available(&why)) {
        std::fprintf(stderr, "the streaming servers cannot run here: %s\n", why.c_str());
        return 2;
    }
    qova::testkit::StreamServerOptions serving;
    serving.lifetime = std::chrono::minutes(minutes + 10);
    auto servers = std::make_unique<qova::testkit::StreamServers>(serving);
    qova::testkit::TempFolder folder;
    const fs::path root = folder.path();
    fs::copy_file(QOVA_PROGRAM, root / "qova");
    fs::copy_file(fs::path(QOVA_PROGRAM).parent_path() / "Player.html", root / "Player.html");
    // The tree: the three servers, each twice, so that zapping passes every kind of switch.
    std::string directory;
    for (int round = 0; round < 2; ++round) {
        const std::string n = std::to_string(round + 1);
        directory += "Soak|Radio|Icecast MP3 " + n + "|" + servers->icecastMp3Url() + "|EN\r\n";
        directory += "Soak|Radio|Icecast Ogg " + n + "|" + servers->icecastOggUrl() + "|EN\r\n";
        directory += "Soak|Radio|HLS " + n + "|" + servers->hlsUrl() + "|EN\r\n";
        directory += "Soak|Radio|RTSP " + n + "|" + servers->rtspUrl() + "|EN\r\n";
    }
    std::ofstream(root / "source.txt", std::ios::binary) << directory;
    std::ofstream(root / "Config.txt", std::ios::binary)
        << "URLTXT=file://" << (root / "source.txt").string() << "\r\n";
    const std::string favourites =
        "Soak|Radio|Icecast MP3 1|" + servers->icecastMp3Url() + "|EN\r\n";
    std::ofstream(root / "favorites.txt", std::ios::binary) << favourites;

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QString::fromStdString((root / "qova").string()), {});
    if (!program.waitForStarted(10000))
        return 2;
    // The program's name on the bus, once it has taken it (at most 20 s).
    QElapsedTimer starting;
    starting.start();
    while (starting.elapsed() < 20000 &&
           !QDBusConnection::sessionBus().interface()->isServiceRegistered(
               QStringLiteral("org.mpris.MediaPlayer2.qova")))
        QThread::msleep(50);
    QDBusInterface player(
        QStringLiteral("org.mpris.MediaPlayer2.qova"), QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.mpris.MediaPlayer2.Player"), QDBusConnection::sessionBus());
    // The country is chosen as a user would: Radio, then the list, "Soak" typed and Enter.
    const auto xdotool = [](const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), arguments);
        const bool done = tool.waitForFinished(20000) && tool.exitCode() == 0;
        if (!done)
            std::fprintf(stderr, "xdotool %s: %s\n", qPrintable(arguments.join(' ')),
                         tool.readAllStandardError().constData());
        return done;
    };
    const QString window = QStringLiteral("^QOVA");
    const bool chosen = xdotool({"search", "--sync", "--onlyvisible", "--name", window, "mousemove",
                                 "--window", "%1", "165", "62", "click", "1"}) &&
                        xdotool({"search", "--onlyvisible", "--name", window, "mousemove",
                                 "--window", "%1", "118", "121", "click", "1"}) &&
                        xdotool({"type", "--delay", "50", "Soak"}) && xdotool({"key", "Return"});
    player.call(QStringLiteral("Next"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 &&
           player.property("PlaybackStatus").toString() != QStringLiteral("Playing"))
        QThread::msleep(100);
    if (!chosen || player.property("PlaybackStatus").toString() != QStringLiteral("Playing")) {
        std::fprintf(stderr, "the soak channels could not be %s\n", chosen ? "played" : "chosen");
        program.kill();
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 end = qint64{minutes} * 60000;
    qint64 nextZap = 5000, nextRestart = restartEvery, nextSample = 0, nextStar = 12500;
    double worstAnswerMs = 0, last = 0;
    // Resident memory by minute. A sample falls anywhere in a zap's cycle, a few megabytes apart
    // between a stream's start and a moment after its end gave memory back, so growth compares
    // the highest of minutes 1 to 5 with the highest of the last five.
    std::vector<std::pair<qint64, double>> samples;
    int zaps = 0, restarts = 0, unanswered = 0, stars = 0, playing = 0;
    bool restartFailed = false;
    bool ok = true;
    // Bounded by the run's length.
    while (clock.elapsed() < end && program.state() == QProcess::Running) {
        QElapsedTimer asked;
        asked.start();
        const QVariant status = player.property("PlaybackStatus");
        const double answerMs = static_cast<double>(asked.elapsed());
        if (!status.isValid())
            ++unanswered;
        worstAnswerMs = std::max(worstAnswerMs, answerMs);
        if (clock.elapsed() >= nextZap) {
            // Five seconds after the last change every kind of channel here plays, but for the
            // moments the servers restart.
            playing += status.toString() == QStringLiteral("Playing") ? 1 : 0;
            player.call(QStringLiteral("Next"));
            // At the last channel the next is none: back to the first.
            if (++zaps % 8 == 0) {
                for (int i = 0; i < 8; ++i)
                    player.call(QStringLiteral("Previous"));
            }
            nextZap += 5000;
        }
        // The star now and then: the playing channel becomes a favourite, and no longer one a
        // minute later.
        if (clock.elapsed() >= nextStar) {
            xdotool({"search", "--onlyvisible", "--name", window, "mousemove", "--window", "%1",
                     "55", "470", "click", "1"});
            ++stars;
            nextStar += 30000;
        }
        if (clock.elapsed() >= nextRestart) {
            // A server that cannot come back (its port taken meanwhile) ends the run with its
            // report.
            try {
                servers->stopIcecast();
                servers->startIcecast();
                servers->restartHls();
                servers->restartRtsp();
            } catch (const std::exception& error) {
                std::printf("a server did not come back: %s\n", error.what());
                restartFailed = true;
                break;
            }
            ++restarts;
            nextRestart += restartEvery;
        }
        if (clock.elapsed() >= nextSample) {
            last = residentMb(program.processId());
            samples.emplace_back(clock.elapsed() / 60000, last);
            std::printf("%3lld min: %.1f MB resident, %d zaps, slowest answer %.0f ms\n",
                        clock.elapsed() / 60000, last, zaps, worstAnswerMs);
            std::fflush(stdout);
            nextSample += 60000;
        }
        QCoreApplication::processEvents();
        QThread::msleep(1000 - std::min<qint64>(asked.elapsed(), 999));
    }
    const bool alive = program.state() == QProcess::Running;
    if (alive)
        samples.emplace_back(minutes, last = residentMb(program.processId()));
    program.kill();
    program.waitForFinished(10000);
    double early = 0, late = 0;
    for (const auto& [minute, mb] : samples) {
        if (minute >= 1 && minute <= 5)
            early = std::max(early, mb);
        if (minute > minutes - 5)
            late = std::max(late, mb);
    }
    const double growth = minutes > 5 && early > 0 ? late - early : 0;
    // The favourites: whole lines of the soak's channels, however the stars fell.
    const std::string kept = slurp(root / "favorites.txt");
    bool wholeLines = true;
    for (std::size_t at = 0; wholeLines && at < kept.size();) {
        const std::size_t lineEnd = kept.find("\r\n", at);
        wholeLines = lineEnd != std::string::npos && kept.compare(at, 11, "Soak|Radio|") == 0;
        at = lineEnd == std::string::npos ? lineEnd : lineEnd + 2;
    }
    const bool whole = slurp(root / "Channel.txt").rfind(directory, 0) == 0 && wholeLines;
    std::printf(
        "ran %d min: %s, %d zaps (%d found playing), %d stars, %d restarts of the servers, "
        "slowest answer %.0f ms (%d unanswered), memory at most %.1f MB in minutes 1 to 5 and "
        "%.1f MB in the last five (growth %.1f MB), files %s\n",
        minutes, alive ? "alive" : "DIED", zaps, playing, stars, restarts, worstAnswerMs,
        unanswered, early, late, growth, whole ? "whole" : "NOT WHOLE");
    if (!whole)
        std::printf("favorites.txt:\n%s\n", kept.c_str());
    ok = !restartFailed && alive && worstAnswerMs < 1000 && unanswered == 0 && growth < 5.0 &&
         whole && playing * 10 >= zaps * 9;
    return ok ? 0 : 1;
}
