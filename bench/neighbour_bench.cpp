// Neighbouring channels kept ready, against real Icecast stations on loopback: a switch to a ready
// channel until the engine restarts playback with its sound, beside the same switch without
// preparation and the same switch in the mpv program (kept running, switched over its IPC
// socket, timed at the same point: the first restart of playback, as each tells it); and the
// resident memory that three prepared channels add to one playing.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <algorithm>
#include <memory>

#include "mpv_program.h"
#include "neighbours/neighbour_keeper.h"
#include "playback_support.h"
#include "player/mpv_player.h"
#include "testkit/stream_servers.h"
#include "testkit/streams/timing_proxy.h"
#include "window_runs.h"

namespace {

using namespace qova::bench;
using qova::player::MpvPlayer;

constexpr int kSwitches = 20;

qova::testkit::StreamServers* servers(benchmark::State& state) {
    static std::unique_ptr<qova::testkit::StreamServers> made;
    if (!made) {
        qova::testkit::StreamServers::Options options;
        options.hls = options.rtsp = false;
        options.toneLevelsDbfs = {-30, -20, -10};
        std::string why;
        if (!qova::testkit::StreamServers::available(&why, options)) {
            state.SkipWithError(why.c_str());
            return nullptr;
        }
        made = std::make_unique<qova::testkit::StreamServers>(options);
    }
    return made.get();
}

/// The program's engine, with the keeper on or off; plays and tells when playback restarted.
struct Player {
    explicit Player(bool prepared) : keeper(qova::player::kEngineUserAgent) {
        qova::playback::NeighbourConditions on;
        on.enabled = prepared;
        keeper.setConditions(on);
        engine.routeAddress = [this](const std::string& address) { return keeper.route(address); };
        QObject::connect(&engine, &MpvPlayer::playbackRestarted,
                         [this] { restarted = Clock::now(); });
    }
    /// Plays the address once the other is ready (when prepared); the switch's milliseconds.
    std::optional<double> switchTo(const std::string& address, const std::string& other) {
        if (keeper.conditions().enabled &&
            !runUntil([&] { return keeper.ready(address); }, kWaitLimit))
            return std::nullopt;
        restarted.reset();
        const auto start = Clock::now();
        engine.play(address);
        if (!runUntil([&] { return restarted.has_value(); }, kWaitLimit))
            return std::nullopt;
        const double ms = msBetween(start, *restarted);
        // As the window does once a channel plays: the one before is made ready again.
        keeper.channelChanged({{other, false}});
        return ms;
    }

    qova::neighbours::NeighbourKeeper keeper;
    MpvPlayer engine{{false, "null"}};
    std::optional<Clock::time_point> restarted;
};

void NeighbourSwitch(benchmark::State& state) {
    auto* s = servers(state);
    if (s == nullptr)
        return;
    const std::string a = s->icecastToneUrl(-30);
    const std::string b = s->icecastToneUrl(-10);
    std::vector<double> ready, cold, program;
    for (auto _ : state) {
        Player prepared(true), plain(false);
        MpvProgram mpv;
        for (int i = 0; i < kSwitches; ++i) {
            const std::string& to = i % 2 == 0 ? b : a;
            const std::string& from = i % 2 == 0 ? a : b;
            // Each starts where the other left off; the first start of each counts for nothing.
            if (i == 0) {
                prepared.switchTo(from, to);
                plain.switchTo(from, to);
                mpv.play(from);
                prepared.keeper.channelChanged({{to, false}});
            }
            if (const auto ms = prepared.switchTo(to, from))
                ready.push_back(*ms);
            if (const auto ms = plain.switchTo(to, from))
                cold.push_back(*ms);
            const auto start = Clock::now();
            if (const auto restarted = mpv.play(to))
                program.push_back(msBetween(start, *restarted));
        }
        state.SetIterationTime(median(ready) / 1000.0);
    }
    std::vector<double> sorted = ready;
    std::sort(sorted.begin(), sorted.end());
    state.counters["ready_median_ms"] = median(ready);
    state.counters["ready_p90_ms"] =
        sorted.empty() ? 0.0 : sorted[std::min(sorted.size() - 1, sorted.size() * 9 / 10)];
    state.counters["unprepared_median_ms"] = median(cold);
    state.counters["mpv_median_ms"] = median(program);
    state.counters["vs_mpv"] = median(ready) / median(program);
    state.counters["switches"] = static_cast<double>(ready.size());
}
BENCHMARK(NeighbourSwitch)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

void PreparedMemory(benchmark::State& state) {
    auto* s = servers(state);
    if (s == nullptr)
        return;
    for (auto _ : state) {
        Player player(true);
        player.switchTo(s->icecastToneUrl(-30), {});
        player.keeper.channelChanged({});
        runFor(5s);
        const double playing = statusMb("VmRSS:");
        player.keeper.channelChanged({{s->icecastToneUrl(-20), false},
                                      {s->icecastToneUrl(-10), false},
                                      {s->icecastMp3Url(), false}});
        runUntil(
            [&] {
                return player.keeper.ready(s->icecastMp3Url()) &&
                       player.keeper.ready(s->icecastToneUrl(-20)) &&
                       player.keeper.ready(s->icecastToneUrl(-10));
            },
            kWaitLimit);
        // Long enough for each to hold all it may.
        runFor(10s);
        state.counters["playing_rss_mb"] = playing;
        state.counters["three_prepared_rss_mb"] = statusMb("VmRSS:");
        state.counters["added_mb"] = statusMb("VmRSS:") - playing;
        state.counters["prepared"] = player.keeper.prepared();
    }
}
BENCHMARK(PreparedMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A switch from a radio channel to a picture channel over HLS (the testkit's live writer, 1 s
/// segments, behind a link of 4 Mbit/s per connection) until the engine restarts playback: kept
/// warm (playlist and start segment), kept whole (video channels too), and not prepared.
void HlsSwitch(benchmark::State& state) {
    auto* radio = servers(state);
    qova::testkit::StreamServers::Options options;
    options.icecast = options.rtsp = false;
    std::string why;
    if (radio == nullptr || !qova::testkit::StreamServers::available(&why, options))
        return state.SkipWithError(why.c_str());
    qova::testkit::StreamServers pictures(options);
    qova::testkit::streams::TimingProxy link(
        {qova::testkit::loopbackPort(pictures.hlsUrl()), 16 * 1024, 512 * 1024});
    const std::string tv = "http://127.0.0.1:" + std::to_string(link.port()) + "/live/index.m3u8";
    const std::string tone = radio->icecastToneUrl(-30);
    for (auto _ : state) {
        for (const std::string mode : {"warm", "whole", "unprepared"}) {
            Player player(mode != "unprepared");
            auto conditions = player.keeper.conditions();
            conditions.videoToo = mode == "whole";
            player.keeper.setConditions(conditions);
            const auto play = [&](const std::string& address) -> std::optional<double> {
                player.restarted.reset();
                const auto start = Clock::now();
                player.engine.play(address);
                if (!runUntil([&] { return player.restarted.has_value(); }, kWaitLimit))
                    return std::nullopt;
                return msBetween(start, *player.restarted);
            };
            std::vector<double> times;
            for (int i = 0; i <= kSwitches / 2; ++i) {
                play(tone);
                player.keeper.channelChanged({{tv, true}});
                if (mode != "unprepared" &&
                    !runUntil([&] { return player.keeper.ready(tv); }, kWaitLimit))
                    continue;
                // The first start of the engine counts for nothing.
                if (const auto ms = play(tv); ms && i > 0)
                    times.push_back(*ms);
            }
            state.counters["hls_" + mode + "_median_ms"] = median(times);
        }
    }
}
BENCHMARK(HlsSwitch)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench_support::runOffscreen(argc, argv);
}
