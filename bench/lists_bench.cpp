// Speed of the lists the directory address may give and of the search, through the real main
// window offscreen: a 10,000-entry playlist and a 50,000-station JSON list from download to the
// countries shown, with the longest time the Qt thread was held up on the way (max_stall_ms);
// their conversion alone, and the peak memory a hostile 64 MiB station list costs it; favourites
// written out as a playlist, and a 10,000-entry playlist imported as favourites, with what that
// costs the Qt thread; a search on a 200,000-line directory from the keystroke to the tree
// shown, its first keystroke (which reads and folds the directory) included; and what adding a
// list costs while a large directory is still being written in the background.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <clocale>
#include <cstring>
#include <ctime>
#include <fstream>

#include "directory/list_formats.h"
#include "platform/posix_text_files.h"
#include "qt/qt_tree_view.h"
#include "stall_meter.h"
#include "testkit/streams/stream_processes.h"
#include "ui/frm_main.h"
#include "window_runs.h"

namespace {

const char* const kCodes[] = {"US", "GB", "DE", "FR", "IT", "ES", "NL", "BE", "AT", "CH",
                              "PL", "CZ", "SE", "NO", "DK", "FI", "PT", "GR", "TR", "RU",
                              "UA", "BR", "AR", "MX", "CA", "AU", "IN", "JP", "KR", "CN"};
const char* const kLanguages[] = {"English", "German", "French", "Italian", "Spanish"};

/// A playlist as the community-kept TV lists write them: about 250 bytes an entry.
std::string makePlaylist(int entries) {
    std::string text = "#EXTM3U x-tvg-url=\"https://epg.example.invalid/guide.xml\"\n";
    for (int i = 0; i < entries; ++i) {
        const std::string n = std::to_string(i);
        text += "#EXTINF:-1 tvg-id=\"Channel" + n + ".xx\" tvg-name=\"Channel " + n +
                "\" tvg-country=\"" + kCodes[i % 30] + "\" tvg-language=\"" + kLanguages[i % 5] +
                "\" tvg-logo=\"https://logos.example.invalid/" + n +
                ".png\" group-title=\"News\",Channel " + n + " (1080p)\n";
        text += "https://streams.example.invalid/live/channel-" + n + "/index.m3u8\n";
    }
    return text;
}

/// A station list as the public radio database gives it: about 800 bytes a station.
std::string makeStationList(int stations) {
    std::string text = "[";
    for (int i = 0; i < stations; ++i) {
        const std::string n = std::to_string(i);
        if (i > 0)
            text += ",";
        text +=
            R"({"changeuuid":"6f6d6b2e-0000-4000-8000-)" + std::string(12 - n.size(), '0') + n +
            R"(","stationuuid":"9617a958-0601-11e8-ae97-)" + std::string(12 - n.size(), '0') + n +
            R"(","serveruuid":null,"name":"Radio )" + n +
            R"( \u00d6sterreich","url":"http://streams.example.invalid/radio)" + n +
            R"(.pls","url_resolved":"http://streams.example.invalid/radio)" + n +
            R"(/stream.mp3","homepage":"https://radio)" + n +
            R"(.example.invalid/","favicon":"https://radio)" + n +
            R"(.example.invalid/favicon.ico","tags":"pop,rock,news,talk,oldies,hits",)"
            R"("country":"Austria","countrycode":")" +
            kCodes[i % 30] + R"(","iso_3166_2":null,"state":"Wien","language":")" +
            kLanguages[i % 5] +
            R"(,english","languagecodes":"de,en","votes":1234,"lastchangetime":"2024-01-01 00:00:00",)"
            R"("lastchangetime_iso8601":"2024-01-01T00:00:00Z","codec":"MP3","bitrate":128,)"
            R"("hls":0,"lastcheckok":)" +
            (i % 10 == 0 ? "0" : "1") +
            R"(,"lastchecktime":"2024-01-01 00:00:00","lastchecktime_iso8601":"2024-01-01T00:00:00Z",)"
            R"("lastcheckoktime":"2024-01-01 00:00:00","clicktimestamp":"2024-01-01 00:00:00",)"
            R"("clickcount":42,"clicktrend":0,"ssl_error":0,"geo_lat":48.2,"geo_long":16.37,)"
            R"("has_extended_info":false})";
    }
    return text + "]";
}

/// Arg 0: a 10,000-entry playlist; 1: a 50,000-station JSON list.
void ListDownloadedConvertedAndShown(benchmark::State& state) {
    const bool json = state.range(0) == 1;
    QTemporaryDir served;
    const std::string name = json ? "stations.json" : "channels.m3u";
    const std::string page = json ? makeStationList(50000) : makePlaylist(10000);
    std::ofstream(served.filePath(QString::fromStdString(name)).toStdString()) << page;
    // On a thread of its own, so that serving costs the Qt thread nothing.
    qova::testkit::streams::FileServer server(served.path().toStdString(), "/");
    const std::string address = "http://127.0.0.1:" + std::to_string(server.port()) + "/" + name;
    bench_support::downloadedAndShown(state, address, 20);
    state.counters["MB"] = static_cast<double>(page.size()) / 1e6;
}
BENCHMARK(ListDownloadedConvertedAndShown)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

/// The conversion alone, on a worker thread in the program. Arg as above.
void ListConverted(benchmark::State& state) {
    const bool json = state.range(0) == 1;
    const std::string page = json ? makeStationList(50000) : makePlaylist(10000);
    const auto format = qova::directory::RecogniseListFormat(page);
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = qova::directory::ToNativeLines(page, format).size();
    state.counters["lines_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(ListConverted)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

/// A figure of /proc/self/status, in MB.
double statusMegabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::strlen(field))) / 1024.0;
    }
    return 0;
}

/// The memory a 64 MiB station list costs its conversion at its peak, beyond the page itself
/// (peak_MB; the program's bound is well under 400 MB with the page): Arg 0, the smallest
/// stations that each make a line; 1, numbers; 2, arrays nested as deep as the list goes; 3, a
/// string; 4, the realistic stations above, repeated.
void StationListPeakMemory(benchmark::State& state) {
    constexpr std::size_t kPage = std::size_t{64} * 1024 * 1024;
    std::string page = "[";
    const auto repeated = [&page](const std::string& element) {
        while (page.size() + element.size() + 1 < kPage)
            page += element;
    };
    switch (state.range(0)) {
        case 0:
            repeated(R"({"url":"x"},)");
            break;
        case 1:
            repeated("0,");
            break;
        case 2:
            repeated("[");
            break;
        case 3:
            page += '"';
            repeated("x");
            break;
        default: {
            const std::string stations = makeStationList(1000);
            repeated(stations.substr(1, stations.size() - 2) + ",");
        }
    }
    page += "]";
    std::size_t lines = 0;
    double peak = 0;
    for (auto _ : state) {
        // The high-water mark starts again from what the process holds now, the page included.
        std::ofstream("/proc/self/clear_refs") << "5";
        const double before = statusMegabytes("VmRSS:");
        lines =
            qova::directory::ToNativeLines(page, qova::directory::ListFormat::StationJson).size();
        peak = std::max(peak, statusMegabytes("VmHWM:") - before);
    }
    state.counters["page_MB"] = static_cast<double>(page.size()) / 1e6;
    state.counters["lines_MB"] = static_cast<double>(lines) / 1e6;
    state.counters["peak_MB"] = peak;
}
BENCHMARK(StationListPeakMemory)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

/// The favourites written out as a playlist: 10,000 channels of the converted playlist.
void FavouritesExported(benchmark::State& state) {
    const std::string page = makePlaylist(10000);
    const std::string lines =
        qova::directory::ToNativeLines(page, qova::directory::RecogniseListFormat(page));
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = qova::directory::ToM3u(lines).size();
    state.counters["playlist_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(FavouritesExported)->Unit(benchmark::kMillisecond);

/// A directory of 200,000 lines in 250 countries of both categories.
std::string makeDirectory() {
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text += "Country " + std::to_string((i / 3) % 250) + "|" +
                (i % 3 == 0 ? "Radio" : "Video") + "|Channel " + std::to_string(i) +
                "|http://streams.example.invalid/live/channel-" + std::to_string(i) +
                "/index.m3u8|EN\n";
    }
    return text;
}

/// The tree shows what a search found: its first line is a channel and its country.
bool resultsShown(const qova::ui::FrmMain& window) {
    const QTreeWidgetItem* first = window.channelTree()->topLevelItem(0);
    return first != nullptr && first->text(0).contains(QChar(0x2014));
}

/// Turns the Qt thread until the condition holds or a minute has passed; false then. Not
/// QTest::qWaitFor: it sleeps between turns, which would count as stalls and as waiting.
/// At least one turn is taken, so that a StallMeter sees a call that held the thread before it.
/// Between events the thread sleeps, so that its CPU time is what the events cost.
template <typename Condition>
bool turnUntil(Condition done) {
    QElapsedTimer waited;
    waited.start();
    QTimer wake;  // the time limit is looked at while nothing else happens
    wake.start(100);
    do
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (!done() && waited.elapsed() < 60000);
    return done();
}

QString searchQuery(std::int64_t arg) {
    return arg == 0 ? QStringLiteral("channel") : QStringLiteral("country 12 channel 4");
}

/// Arg 0: one word every channel matches; 1: four words, each looked up in every channel. Both
/// find more than the tree shows: its first 1,000 and the line counting the rest.
void SearchKeystrokeToTreeShown(benchmark::State& state) {
    static QTemporaryDir dir;
    static std::unique_ptr<qova::ui::FrmMain> window;
    if (!window)
        window = bench_support::windowShowing(dir, makeDirectory());
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("txtSearch"));
    const QString query = searchQuery(state.range(0));
    // The first keystroke, with the directory read and folded, is SearchFirstKeystroke's.
    field->setText(query);
    if (!turnUntil([] { return resultsShown(*window); })) {
        state.SkipWithError("no search results");
        return;
    }
    int shown = 0;
    bool spaced = false;
    for (auto _ : state) {
        // A different text at every keystroke, as typing gives; a space more finds the same.
        spaced = !spaced;
        field->setText(spaced ? query + QStringLiteral(" ") : query);
        QCoreApplication::processEvents();
        window->channelTree()->viewport()->repaint();
        shown = window->channelTree()->topLevelItemCount();
    }
    state.counters["shown"] = shown;
}
BENCHMARK(SearchKeystrokeToTreeShown)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

/// The first search of a directory just shown, typed as soon as the field opens: from the
/// keystroke to the results shown, the directory read and folded on the way, with the longest
/// time the Qt thread was held up (max_stall_ms). Args as above.
void SearchFirstKeystrokeToTreeShown(benchmark::State& state) {
    const std::string directory = makeDirectory();
    const QString query = searchQuery(state.range(0));
    double longest = 0;
    int shown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto window = bench_support::windowShowing(dir, directory);
        QCoreApplication::processEvents();
        auto* field = window->findChild<QLineEdit*>(QStringLiteral("txtSearch"));
        state.ResumeTiming();
        StallMeter meter;
        window->findChild<QAction*>(QStringLiteral("mnuFind"))->trigger();
        field->setText(query);
        if (!turnUntil([&] { return resultsShown(*window); })) {
            state.SkipWithError("no search results");
            break;
        }
        window->channelTree()->viewport()->repaint();
        longest = std::max(longest, meter.longestMs());
        shown = window->channelTree()->topLevelItemCount();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.counters["max_stall_ms"] = longest;
    state.counters["shown"] = shown;
}
BENCHMARK(SearchFirstKeystrokeToTreeShown)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

/// The CPU time the calling thread has used.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

/// "Import favourites" of the 10,000-entry playlist into empty favourites, from the command to
/// the message saying how many were added: the time as a user waits for it, and what it costs
/// the Qt thread (qt_thread_ms: its CPU time meanwhile; max_stall_ms, measured in a run of its
/// own: the longest it was held up).
void FavouritesImported(benchmark::State& state) {
    static QTemporaryDir dir;
    static std::unique_ptr<qova::ui::FrmMain> window;
    if (!window) {
        window = bench_support::windowShowing(dir, "France|Video|TV Un|http://127.0.0.1:9/1|FR\n");
        std::ofstream(dir.filePath(QStringLiteral("import.m3u")).toStdString(), std::ios::binary)
            << makePlaylist(10000);
    }
    const QString playlist = dir.filePath(QStringLiteral("import.m3u"));
    window->chooseFile = [&](qova::ui::FrmMain::FileUse, const QString&) { return playlist; };
    QString told;
    window->tell = [&](const QString& text, bool) { told = text; };
    auto* command = window->findChild<QAction*>(QStringLiteral("mnuImportFavourites"));
    const auto importOnce = [&] {
        told.clear();
        command->trigger();
        return turnUntil([&] { return !told.isEmpty(); });
    };
    const auto forget = [&] {
        window->logic().state().strFavorites.clear();
        QFile::remove(dir.filePath(QStringLiteral("favorites.txt")));
    };
    double stalled = 0;
    {
        forget();
        StallMeter meter;
        importOnce();
        stalled = meter.longestMs();
    }
    double busy = 0;
    for (auto _ : state) {
        state.PauseTiming();
        forget();
        state.ResumeTiming();
        const double before = threadCpuMs();
        if (!importOnce() || told != QStringLiteral("10000 channels added to the favourites.")) {
            state.SkipWithError(("not imported: " + told).toStdString().c_str());
            break;
        }
        busy += threadCpuMs() - before;
    }
    state.counters["qt_thread_ms"] = benchmark::Counter(busy, benchmark::Counter::kAvgIterations);
    state.counters["max_stall_ms"] = stalled;
}
BENCHMARK(FavouritesImported)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

/// What the lists window's Add asks of the files (the lists file written, an old copy of the list
/// removed) while a 64 MiB directory is still on its way to the disk in the background.
void ListAddedWhileTheDirectoryIsWritten(benchmark::State& state) {
    QTemporaryDir folder;
    qova::platform::PosixTextFiles files(folder.path().toStdString());
    const std::string directory(std::size_t{64} << 20, 'd');
    for (auto _ : state) {
        state.PauseTiming();
        files.waitForBackgroundWrites();
        files.replaceInBackground("Channel.txt", directory);
        state.ResumeTiming();
        files.replace("ChannelLists.txt", "http://127.0.0.1:1/list.m3u\r\n");
        files.remove("ChannelList-0123456789abcdef.txt");
    }
    files.waitForBackgroundWrites();
}
BENCHMARK(ListAddedWhileTheDirectoryIsWritten)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    return bench_support::runOffscreen(argc, argv);
}
