// What recording and pausing live cost, with the real engine playing a 128 kb/s station of
// numbered frames through the relay, silent:
//  - Recording: the process's CPU time over a stretch of playing, then over the same stretch
//    playing and recording (cpu_playing_pct, cpu_recording_pct, extra_pct: percent of one
//    core), and how much resident memory the recording's stretch added (rss_growth_mb).
//  - Paused live: resident memory while playing live, then after a pause that held 30 minutes
//    of the station (aired 20 times faster meanwhile, so that it takes 90 s) and a few seconds
//    of playing on (rss_over_live_mb), and how long after Play the sound went on (first_sound_ms:
//    until the engine's position moves).
//
//   build/default/bench/qova_recording_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <fstream>
#include <string>

#include "player/channel_recording.h"
#include "player/mpv_engine.h"
#include "player/mpv_player.h"
#include "testkit/streams/numbered_station.h"
#include "testkit/temp_folder.h"

namespace {

using qova::player::ChannelRecording;
using qova::player::MpvPlayer;
using qova::testkit::streams::NumberedStation;

constexpr int kLimitMs = 60000;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double residentMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// Keeps the event loop turning for a stretch the benchmark itself sets.
void pass(int ms) {
    QTest::qWait(ms);
}

std::unique_ptr<MpvPlayer> silentPlayer() {
    qova::player::MpvPlayerOptions options;
    options.renderVideo = false;
    options.audioOutput = "null";
    return std::make_unique<MpvPlayer>(options);
}

bool playing(MpvPlayer& player) {
    return QTest::qWaitFor(
        [&] { return player.state() == qova::platform::MediaPlayer::State::Playing; }, kLimitMs);
}

void BM_Recording(benchmark::State& state) {
    qova::testkit::TempFolder folder;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.file("config")));
    qova::player::chooseRecordingsFolder(folder.file("recordings"));
    constexpr int kStretchMs = 20000;
    for (auto _ : state) {
        NumberedStation station({});
        auto player = silentPlayer();
        ChannelRecording recording(*player);
        player->play(station.url());
        if (!playing(*player)) {
            state.SkipWithError("the station does not play");
            return;
        }
        pass(3000);
        double before = cpuSeconds();
        pass(kStretchMs);
        const double playingPct = (cpuSeconds() - before) * 100.0 / (kStretchMs / 1000.0);
        recording.toggle("Numbered");
        if (!recording.recording()) {
            state.SkipWithError("cannot record");
            return;
        }
        const double rssBefore = residentMb();
        before = cpuSeconds();
        pass(kStretchMs);
        const double recordingPct = (cpuSeconds() - before) * 100.0 / (kStretchMs / 1000.0);
        state.counters["cpu_playing_pct"] = playingPct;
        state.counters["cpu_recording_pct"] = recordingPct;
        state.counters["extra_pct"] = recordingPct - playingPct;
        state.counters["rss_growth_mb"] = residentMb() - rssBefore;
        recording.toggle("Numbered");
        player->stop();
    }
}
BENCHMARK(BM_Recording)->Iterations(1)->Unit(benchmark::kSecond);

void BM_PausedThirtyMinutesThenPlay(benchmark::State& state) {
    qova::testkit::TempFolder folder;
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.file("cache")));
    for (auto _ : state) {
        NumberedStation::Options options;
        options.lifetime = std::chrono::seconds(900);
        NumberedStation station(options);
        auto player = silentPlayer();
        player->play(station.url());
        if (!playing(*player)) {
            state.SkipWithError("the station does not play");
            return;
        }
        pass(10000);
        const double live = residentMb();
        player->pause();
        // Thirty minutes of the station in 90 s, then on in real time until all is held.
        station.setFramesPerSecond(20 * 44100.0 / 1152.0);
        pass(90000);
        station.setFramesPerSecond(44100.0 / 1152.0);
        if (!QTest::qWaitFor([&] { return player->behindLive() > 29 * 60; }, 120000)) {
            state.SkipWithError("thirty minutes were not held");
            return;
        }
        const double pausedAt = player->position();
        QElapsedTimer clock;
        clock.start();
        player->resume();
        while (player->position() <= pausedAt && clock.elapsed() < kLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        state.counters["first_sound_ms"] = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        pass(5000);
        state.counters["behind_live_s"] = player->behindLive();
        state.counters["rss_live_mb"] = live;
        state.counters["rss_over_live_mb"] = residentMb() - live;
        player->stop();
    }
}
BENCHMARK(BM_PausedThirtyMinutesThenPlay)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qova::player::prepareProcess();  // as the program's main() does
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
