// The programme guide at the sizes of the largest public guides: a generated guide of 160 MB
// (5,000 channels, 500,000 programmes, gzip), all its channels in the lists. Read, matched and
// stored on a worker while the Qt thread's longest stall is measured; the store mapped again as
// a restart does; now and next for one channel; the guide window's 200 rows of 6 hours drawn.
//   build/default/bench/qova_guide_bench
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "guide/guide_build.h"
#include "guide/guide_store.h"
#include "testkit/temp_folder.h"
#include "ui/guide_grid.h"

namespace {

using namespace qova;

constexpr int kChannels = 5000;
constexpr int kProgrammesPerChannel = 100;
constexpr guide::UnixTime kNow = 1796673600;

std::string channelId(int i) {
    return "channel" + std::to_string(i) + ".example.tv";
}
std::string channelName(int i) {
    return "Channel " + std::to_string(i);
}

std::string stamp(guide::UnixTime at) {
    const std::time_t t = static_cast<std::time_t>(at);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S +0000", &utc);
    return text;
}

/// The guide, written a channel at a time through gzip; about 160 MB once uncompressed.
struct Fixture {
    testkit::TempFolder folder;
    std::string guide = folder.file("guide.xml.gz");
    std::string store = folder.file(guide::kGuideStoreFile);
    std::size_t plainBytes = 0;

    Fixture() {
        gzFile out = gzopen(guide.c_str(), "wb1");
        const auto put = [&](const std::string& text) {
            gzwrite(out, text.data(), static_cast<unsigned>(text.size()));
            plainBytes += text.size();
        };
        put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv generator-info-name=\"bench\">\n");
        for (int c = 0; c < kChannels; ++c)
            put("  <channel id=\"" + channelId(c) + "\">\n  <display-name>" + channelName(c) +
                "</display-name>\n  <icon src=\"http://logos.example.tv/" + std::to_string(c) +
                ".png\"/>\n  </channel>\n");
        for (int c = 0; c < kChannels; ++c) {
            std::string block;
            guide::UnixTime start = kNow - 86400 + (c % 7) * 300;
            for (int p = 0; p < kProgrammesPerChannel; ++p) {
                const guide::UnixTime stop = start + 1800 + (p % 5) * 900;
                block += "<programme start=\"" + stamp(start) + "\" stop=\"" + stamp(stop) +
                         "\" channel=\"" + channelId(c) + "\">\n  <title lang=\"en\">Show " +
                         std::to_string(p % 40) + "</title>\n  <sub-title>Episode " +
                         std::to_string(p) + "</sub-title>\n  <desc>Programme " +
                         std::to_string(p) + " of channel " + std::to_string(c) +
                         ".</desc>\n  <category lang=\"en\">Category " + std::to_string(p % 12) +
                         "</category>\n  <episode-num system=\"xmltv_ns\">" +
                         std::to_string(p % 9) + "." + std::to_string(p) +
                         ".</episode-num>\n</programme>\n";
                start = stop;
            }
            put(block);
        }
        put("</tv>\n");
        gzclose(out);
    }

    guide::BuildRequest request() const {
        guide::BuildRequest r;
        r.guideFiles = {guide};
        r.lists.push_back({"list", {}});
        for (int c = 0; c < kChannels; ++c) {
            r.channels.push_back({channelName(c), c % 2 == 0 ? channelId(c) : "", "", 0});
            r.lists.back().channels.push_back(static_cast<std::uint32_t>(c));
        }
        r.now = kNow;
        r.storePath = store;
        return r;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

long statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    }
    return 0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_GuideReadMatchStore(benchmark::State& state) {
    Fixture& f = fixture();
    const guide::BuildRequest request = f.request();
    double stall = 0, peakMb = 0;
    guide::BuildResult result;
    for (auto _ : state) {
        resetPeak();
        const long before = statusKb("VmRSS:");
        // The Qt thread as the program's is: idle but for a timer, whose late turns are stalls.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        tick.start(2);
        auto future = QtConcurrent::run([&request] { return guide::BuildGuideStore(request); });
        QEventLoop loop;
        QFutureWatcher<guide::BuildResult> watcher;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        loop.exec();
        result = future.result();
        stall = std::max(stall, static_cast<double>(longest) / 1e6);
        peakMb = std::max(peakMb, (statusKb("VmHWM:") - before) / 1024.0);
    }
    if (!result.written || result.programmes < 400000)
        state.SkipWithError(("not stored: " + result.error).c_str());
    state.counters["guide_MB"] = static_cast<double>(f.plainBytes) / 1e6;
    state.counters["programmes"] = static_cast<double>(result.programmes);
    state.counters["channels_matched"] = static_cast<double>(result.channelsMatched);
    state.counters["peak_MB_above"] = peakMb;
    state.counters["longest_stall_ms"] = stall;
}
BENCHMARK(BM_GuideReadMatchStore)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

std::unique_ptr<guide::GuideStore> storedGuide() {
    Fixture& f = fixture();
    if (!guide::GuideStore::open(f.store))
        guide::BuildGuideStore(f.request());
    return guide::GuideStore::open(f.store);
}

void BM_GuideRestartNowNext(benchmark::State& state) {
    storedGuide();
    double rssMb = 0;
    for (auto _ : state) {
        const long before = statusKb("VmRSS:");
        auto store = guide::GuideStore::open(fixture().store);
        // What a start looks up: the channel that plays and the tree's tool tips of a country.
        for (int c = 0; c < 200; ++c)
            benchmark::DoNotOptimize(store->nowNext(channelName(c), kNow));
        rssMb = std::max(rssMb, (statusKb("VmRSS:") - before) / 1024.0);
    }
    state.counters["rss_MB_above"] = rssMb;
}
BENCHMARK(BM_GuideRestartNowNext)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GuideNowNextOneChannel(benchmark::State& state) {
    const auto store = storedGuide();
    int c = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->nowNext(channelName(c), kNow + c));
        c = (c + 1) % kChannels;
    }
}
BENCHMARK(BM_GuideNowNextOneChannel)->Unit(benchmark::kMicrosecond);

void BM_GuideWindowDraw200RowsBy6Hours(benchmark::State& state) {
    const auto store = storedGuide();
    std::vector<std::string> channels;
    for (int c = 0; c < 200; ++c)
        channels.push_back(channelName(c));
    ui::GuideGrid grid(nullptr);
    grid.resize(ui::GuideGrid::kNameWidth + 6 * 60 * ui::GuideGrid::kPixelsPerMinute + 40,
                200 * ui::GuideGrid::kRowHeight + 40);
    grid.show(store.get(), channels, kNow - 20 * 3600, kNow);
    grid.scrollToTime(kNow);
    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        grid.viewport()->render(&painter);
    }
    state.counters["rows_laid_out"] = grid.rowsLaidOut();
}
BENCHMARK(BM_GuideWindowDraw200RowsBy6Hours)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
