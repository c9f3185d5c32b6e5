// How fast a channel starts and how much memory the program holds, through the real main window
// against the loopback streaming servers of the tests, beside libmpv alone and the mpv
// command-line player opening the same addresses.
//
// The window's start is taken apart in its counters: click_ms (the click's own handling, with
// the player page written, synced and read), page_ms (until libmpv is asked to load), engine_ms
// (until the restart is taken from libmpv's queue on the Qt thread), wakeup_ms (of that, the
// wait of libmpv's wake-up for the Qt thread); each run is paired with one of libmpv alone, and
// extra_ms is the median difference of the pairs. For a stream with a picture each run is also
// paired with one of libmpv drawing that picture through its render API on a thread of its own,
// as the window does (drawing_ms, vs_drawing): what the window adds beyond the picture itself.
//
// Resident memory is the whole process's (VmRSS, VmHWM of /proc/self/status), so a figure
// includes whatever the benchmarks before it left behind; for the figures of a fresh process run
// one benchmark alone (--benchmark_filter=...); program_bench.cpp measures the program itself. The
// benchmarks run in the order written here: start-up first, so that its first run is the first
// window of the process; the desktop's waits while video plays (desktop_answers_bench.cpp, listed
// after this file in CMakeLists.txt, which sets the order the two files register in) come after
// them.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix_text_files.h"
#include "playback_support.h"
#include "playback_window.h"
#include "player/mpv_engine.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"

namespace {

using namespace qova::bench;
using qova::testkit::StreamServers;

constexpr int kMp3Runs = 15;
constexpr int kHlsRuns = 40;
constexpr int kStartupRuns = 7;

double gAppStartMs = 0.0;
double gAppRssMb = 0.0;
// Median start of libmpv alone, by stream, for the window's ratio.
std::map<Stream, double> gLibmpvMedianMs;

// ---------------------------------------------------------------------------------------------
// Start-up.

void StartupToCountriesShown(benchmark::State& state) {
    qova::testkit::TempFolder folder;
    folder.write("directory.txt", makeDirectory());
    folder.write("Config.txt", "URLTXT=file://" + folder.file("directory.txt") + "\r\n");
    folder.write("Player.html", kShippedPlayerPage);
    qova::testkit::LoopbackHttpServer site;
    site.serve("/info3.html", kInfoPage, "text/html");
    MessageCloser messages;

    std::vector<double> shown;
    std::vector<double> info;
    double firstRss = 0.0;
    for (auto _ : state) {
        qova::ui::FrmMainOptions options;
        options.programFolder = folder.path();
        options.site.address = "http://127.0.0.1:" + std::to_string(site.port());
        const auto start = Clock::now();
        auto window = std::make_unique<qova::ui::FrmMain>(std::move(options));
        window->load();
        window->show();
        const bool ready = runUntil(
            [&] {
                return window->countryList()->count() > 0 && window->windowHandle() != nullptr &&
                       window->windowHandle()->isExposed();
            },
            kWaitLimit);
        const auto readyAt = Clock::now();
        if (!ready) {
            state.SkipWithError("the window never showed the directory");
            break;
        }
        state.SetIterationTime(msBetween(start, readyAt) / 1000.0);
        shown.push_back(msBetween(start, readyAt));
        auto* panel = window->findChild<QTextBrowser*>(QStringLiteral("wbArea"));
        if (panel && runUntil([&] { return !panel->toPlainText().isEmpty(); }, kWaitLimit))
            info.push_back(msBetween(start, Clock::now()));
        if (firstRss == 0.0)
            firstRss = statusMb("VmRSS:");
        window.reset();
        runFor(50ms);
    }
    if (shown.empty())
        return;
    addSpread(state, shown);
    state.counters["first_ms"] = shown.front();
    state.counters["app_ms"] = gAppStartMs;
    if (!info.empty())
        state.counters["info_ms"] = median(info);
    state.counters["rss_app_mb"] = gAppRssMb;
    state.counters["rss_first_mb"] = firstRss;
    state.counters["rss_mb"] = statusMb("VmRSS:");
    state.counters["messages"] = static_cast<double>(messages.seen().size());
}
BENCHMARK(StartupToCountriesShown)
    ->UseManualTime()
    ->Iterations(kStartupRuns)
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Resident memory.

/// VmRSS and its parts: anonymous memory (heap, stacks, buffers) and mapped files (mostly the
/// code of the libraries, shared with other processes and given back under pressure).
void addResidentCounters(benchmark::State& state) {
    state.counters["rss_mb"] = statusMb("VmRSS:");
    state.counters["anon_mb"] = statusMb("RssAnon:");
    state.counters["file_mb"] = statusMb("RssFile:");
    state.counters["peak_mb"] = statusMb("VmHWM:");
}

void MemoryWindowHlsPlaying(benchmark::State& state) {
    if (skipWithoutServers(state))
        return;
    LoadedWindow* w = loadedWindow(state);
    if (w == nullptr)
        return;
    QTreeWidgetItem* node = w->showNode(Stream::Hls);
    if (node == nullptr) {
        state.SkipWithError("no HLS node in the tree");
        return;
    }
    const auto playing = [&] {
        return w->player().state() == qova::platform::MediaPlayer::State::Playing;
    };
    bool playedOn = false;
    for (auto _ : state) {
        w->click(node);
        if (!runUntil(playing, kWaitLimit)) {
            state.SkipWithError("the HLS stream never played");
            break;
        }
        runFor(5s);
        playedOn = playing();
        addResidentCounters(state);
        w->stop();
    }
    state.counters["playing_after_5s"] = playedOn ? 1 : 0;
    state.counters["gl_video"] = w->window().playerArea().drawsVideo() ? 1 : 0;
}
BENCHMARK(MemoryWindowHlsPlaying)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Zap time: libmpv alone, the window, the mpv command-line player.

void ZapLibmpvAlone(benchmark::State& state, Stream stream) {
    if (skipWithoutServers(state))
        return;
    BareMpv mpv;
    if (!mpv.running()) {
        state.SkipWithError("libmpv cannot start");
        return;
    }
    const std::string url = streamUrl(stream);
    // The first start of an instance pays for what libmpv sets up once; it is shown apart.
    const auto first = mpv.open(url);
    if (!first || !mpv.stop()) {
        state.SkipWithError("libmpv never started the stream");
        return;
    }
    std::vector<double> restart;
    std::vector<double> loaded;
    for (auto _ : state) {
        const auto opened = mpv.open(url);
        if (!opened || !mpv.stop()) {
            state.SkipWithError("libmpv never started the stream");
            break;
        }
        state.SetIterationTime(opened->restartMs / 1000.0);
        restart.push_back(opened->restartMs);
        loaded.push_back(opened->loadedMs);
    }
    if (restart.empty())
        return;
    addSpread(state, restart);
    state.counters["first_ms"] = first->restartMs;
    state.counters["loaded_ms"] = median(loaded);
    gLibmpvMedianMs[stream] = median(restart);
}

/// Samples by name, each reported as its median.
using Samples = std::map<std::string, std::vector<double>>;

/// One start through the window, from the click on the node to the player's first restart,
/// taken apart: the click's own handling (tree, player page written, synced and read), the
/// rest of the page's way to the engine, the engine's start, and the wait of libmpv's wake-up
/// for the Qt thread.
std::optional<double> zapWindowOnce(LoadedWindow& w, QTreeWidgetItem* node, Samples& parts) {
    std::optional<Clock::time_point> restartedAt;
    const auto connection =
        QObject::connect(&w.player(), &qova::player::MpvPlayer::playbackRestarted,
                         [&] { restartedAt = restartedAt.value_or(Clock::now()); });
    resetEngineTimes();
    const auto start = Clock::now();
    w.click(node);
    const auto clicked = Clock::now();
    const bool restarted = runUntil([&] { return restartedAt.has_value(); }, kWaitLimit);
    QObject::disconnect(connection);
    const EngineTimes engine = engineTimes();
    if (!restarted || !w.stop())
        return std::nullopt;
    parts["click_ms"].push_back(msBetween(start, clicked));
    if (engine.loadIssued && engine.restartTaken) {
        parts["page_ms"].push_back(msBetween(start, *engine.loadIssued));
        parts["engine_ms"].push_back(msBetween(*engine.loadIssued, *engine.restartTaken));
        parts["wakeup_ms"].push_back(engine.restartWakeupMs);
        parts["signal_ms"].push_back(msBetween(*engine.restartTaken, *restartedAt));
    }
    return msBetween(start, *restartedAt);
}

std::optional<double> zapLibmpvOnce(BareMpv& mpv, const std::string& url, Samples& parts) {
    resetEngineTimes();
    const auto opened = mpv.open(url);
    const EngineTimes engine = engineTimes();
    if (!opened || !mpv.stop())
        return std::nullopt;
    if (engine.loadIssued && engine.restartTaken)
        parts["libmpv_engine_ms"].push_back(msBetween(*engine.loadIssued, *engine.restartTaken));
    return opened->restartMs;
}

void ZapWindow(benchmark::State& state, Stream stream) {
    if (skipWithoutServers(state))
        return;
    LoadedWindow* w = loadedWindow(state);
    if (w == nullptr)
        return;
    QTreeWidgetItem* node = w->showNode(stream);
    BareMpv mpv;
    // A picture only where the stream has one: libmpv drawing it as the window does.
    std::optional<BareMpv> drawing;
    if (stream == Stream::Hls)
        drawing.emplace(true);
    if (node == nullptr || !mpv.running() || (drawing && !drawing->running())) {
        state.SkipWithError("the stream's node is not in the tree, or libmpv cannot start");
        return;
    }
    const std::string url = streamUrl(stream);
    // Each run is paired with one of libmpv alone (and one of libmpv drawing), in turns, so that
    // the ratios hold under a load that changes while the benchmark runs. The first of each pays
    // for what is set up once.
    Samples parts;
    const auto first = zapWindowOnce(*w, node, parts);
    if (!first || !zapLibmpvOnce(mpv, url, parts) || (drawing && !drawing->open(url)) ||
        (drawing && !drawing->stop())) {
        state.SkipWithError("the stream never started");
        return;
    }
    parts.clear();
    std::vector<double> window;
    std::vector<double> alone;
    std::vector<double> drawn;
    bool windowFirst = true;
    for (auto _ : state) {
        std::optional<double> one;
        std::optional<double> other;
        if (windowFirst) {
            one = zapWindowOnce(*w, node, parts);
            other = zapLibmpvOnce(mpv, url, parts);
        } else {
            other = zapLibmpvOnce(mpv, url, parts);
            one = zapWindowOnce(*w, node, parts);
        }
        windowFirst = !windowFirst;
        std::optional<BareMpv::Start> third;
        if (drawing && (!(third = drawing->open(url)) || !drawing->stop()))
            third.reset();
        if (!one || !other || (drawing && !third)) {
            state.SkipWithError("the stream never started");
            break;
        }
        state.SetIterationTime(*one / 1000.0);
        window.push_back(*one);
        alone.push_back(*other);
        if (third)
            drawn.push_back(third->restartMs);
    }
    if (window.empty())
        return;
    addSpread(state, window);
    state.counters["first_ms"] = *first;
    std::vector<double> extra;
    for (std::size_t i = 0; i < window.size(); ++i)
        extra.push_back(window[i] - alone[i]);
    state.counters["libmpv_ms"] = median(alone);
    state.counters["vs_libmpv"] = median(window) / median(alone);
    if (!drawn.empty()) {
        state.counters["drawing_ms"] = median(drawn);
        state.counters["vs_drawing"] = median(window) / median(drawn);
    }
    state.counters["extra_ms"] = median(extra);
    for (const auto& [name, values] : parts)
        state.counters[name] = median(values);
    state.counters["gl_video"] = w->window().playerArea().drawsVideo() ? 1 : 0;
    state.counters["messages"] = static_cast<double>(w->messages().seen().size());
}

void ZapMpvProgram(benchmark::State& state, Stream stream) {
    if (skipWithoutMpvProgram(state))
        return;
    qova::testkit::TempFolder folder;
    const std::string socketPath = folder.file("mpv.sock");
    const std::string url = streamUrl(stream);
    std::vector<double> restart;
    for (auto _ : state) {
        const auto ms = mpvProgramStart(kMpvProgram, url, socketPath);
        if (!ms) {
            state.SkipWithError("the mpv program never started the stream");
            break;
        }
        state.SetIterationTime(*ms / 1000.0);
        restart.push_back(*ms);
    }
    if (restart.empty())
        return;
    addSpread(state, restart);
    if (const auto alone = gLibmpvMedianMs.find(stream); alone != gLibmpvMedianMs.end())
        state.counters["vs_libmpv"] = median(restart) / alone->second;
}

// A start of the MP3 stream waits for the server's sound in real time, half a second; one of
// the HLS stream takes tens of milliseconds, so it gets more runs.
void mp3Runs(benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(kMp3Runs)->Unit(benchmark::kMillisecond);
}
void hlsRuns(benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(kHlsRuns)->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(ZapLibmpvAlone, mp3, Stream::Mp3)->Apply(mp3Runs);
BENCHMARK_CAPTURE(ZapWindow, mp3, Stream::Mp3)->Apply(mp3Runs);
BENCHMARK_CAPTURE(ZapMpvProgram, mp3, Stream::Mp3)->Apply(mp3Runs);
BENCHMARK_CAPTURE(ZapLibmpvAlone, hls, Stream::Hls)->Apply(hlsRuns);
BENCHMARK_CAPTURE(ZapWindow, hls, Stream::Hls)->Apply(hlsRuns);
BENCHMARK_CAPTURE(ZapMpvProgram, hls, Stream::Hls)->Apply(hlsRuns);

// ---------------------------------------------------------------------------------------------
// One piece of the window's path alone: the player page written beside the program, as the
// program writes it (synced to the disk before the rename), and, for comparison, the same steps
// without the sync.

void PlayerPageWrite(benchmark::State& state) {
    qova::testkit::TempFolder folder;
    folder.write("Player.html", kShippedPlayerPage);
    qova::platform::PosixTextFiles files(folder.path());
    const std::string page(1200, 'x');
    for (auto _ : state) {
        if (!files.replaceWithLine("Player.html", page, qova::platform::Durability::Scratch)) {
            state.SkipWithError("the page cannot be written");
            break;
        }
    }
}
BENCHMARK(PlayerPageWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

void PlayerPageWriteWithoutSync(benchmark::State& state) {
    qova::testkit::TempFolder folder;
    folder.write("Player.html", kShippedPlayerPage);
    const std::string target = folder.file("Player.html");
    const std::string page = std::string(1200, 'x') + "\r\n";
    for (auto _ : state) {
        std::string temp = target + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        const bool written =
            fd >= 0 && ::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
        if (fd < 0 || ::close(fd) != 0 || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
            state.SkipWithError("the page cannot be written");
            break;
        }
    }
}
BENCHMARK(PlayerPageWriteWithoutSync)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

}  // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qova::player::prepareProcess();  // as the program's main() does
    QApplication::setApplicationName(QStringLiteral("QOVA"));
    qova::ui::useWindowFont();
    gAppStartMs = msBetween(start, Clock::now());
    gAppRssMb = statusMb("VmRSS:");

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The window and the servers go while the application still exists.
    releaseLoadedWindow();
    return 0;
}
