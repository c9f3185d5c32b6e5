// Neighbouring channels kept ready, against real Icecast stations on loopback: a switch to a ready
// channel until its first sound, beside the same switch without preparation and the same switch
// in the mpv program (kept running, switched over its IPC socket). Each plays into a null sink of
// a private PulseAudio server of its own, whose monitor tells when the new station's tone first
// sounds; each station sends a tone of its own frequency. And the resident memory that three
// prepared channels add to one playing, and the share of a core they take.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <algorithm>
#include <map>
#include <memory>

#include "mpv_program.h"
#include "neighbours/neighbour_keeper.h"
#include "playback_support.h"
#include "player/mpv_player.h"
#include "testkit/sound_server.h"
#include "testkit/stream_servers.h"
#include "testkit/streams/timing_proxy.h"
#include "window_runs.h"

namespace {

using namespace qova::bench;
using qova::player::MpvPlayer;
using qova::testkit::SinkMonitor;
using qova::testkit::SoundServer;

constexpr int kSwitches = 20;
// Each station's tone, by its level: told apart by their frequencies in a sink's monitor.
const std::map<int, int> kToneHz = {{-30, 440}, {-20, 1000}, {-10, 1800}};

qova::testkit::StreamServers* servers(benchmark::State& state) {
    static std::unique_ptr<qova::testkit::StreamServers> made;
    if (!made) {
        qova::testkit::StreamServers::Options options;
        options.hls = options.rtsp = false;
        for (const auto& [level, hz] : kToneHz) {
            options.toneLevelsDbfs.push_back(level);
            options.toneFrequenciesHz.push_back(hz);
        }
        std::string why;
        if (!qova::testkit::StreamServers::available(&why, options)) {
            state.SkipWithError(why.c_str());
            return nullptr;
        }
        made = std::make_unique<qova::testkit::StreamServers>(options);
    }
    return made.get();
}

/// From the switch to the first sound of the station's tone in the monitor; nothing when it
/// did not sound in time.
std::optional<double> untilTone(const SinkMonitor& monitor, int level, Clock::time_point start) {
    std::optional<Clock::time_point> heard;
    runUntil(
        [&] {
            heard = monitor.toneStart(kToneHz.at(level), start);
            return heard.has_value();
        },
        kWaitLimit);
    return heard ? std::optional(msBetween(start, *heard)) : std::nullopt;
}

/// The program's engine, with the keeper on or off, playing into a sink of its own.
struct Player {
    using Neighbours = std::vector<qova::playback::NeighbourChannel>;

    Player(bool prepared, std::vector<std::pair<std::string, std::string>> sound = {})
        : keeper(qova::player::kEngineUserAgent),
          engine({.renderVideo = false,
                  .audioOutput = sound.empty() ? "null" : "",
                  .moreEngineOptions = std::move(sound)}) {
        qova::playback::NeighbourConditions on;
        on.enabled = prepared;
        keeper.setConditions(on);
        engine.routeAddress = [this](const std::string& address) { return keeper.route(address); };
        QObject::connect(&engine, &MpvPlayer::playbackRestarted,
                         [this] { restarted = Clock::now(); });
    }
    /// Plays the address; when it began, once the engine restarted playback. Then, as the
    /// window does once a channel plays, the channels wanted next are made ready.
    std::optional<Clock::time_point> play(const std::string& address, Neighbours wanted = {}) {
        restarted.reset();
        const auto start = Clock::now();
        engine.play(address);
        if (!runUntil([&] { return restarted.has_value(); }, kWaitLimit))
            return std::nullopt;
        keeper.channelChanged(wanted);
        return start;
    }
    /// Plays the address once it is ready (when prepared).
    std::optional<Clock::time_point> switchTo(const std::string& address, Neighbours wanted) {
        if (keeper.conditions().enabled &&
            !runUntil([&] { return keeper.ready(address); }, kWaitLimit))
            return std::nullopt;
        return play(address, std::move(wanted));
    }

    qova::neighbours::NeighbourKeeper keeper;
    MpvPlayer engine;
    std::optional<Clock::time_point> restarted;
};

double p90(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[std::min(values.size() - 1, values.size() * 9 / 10)];
}

void NeighbourSwitch(benchmark::State& state) {
    auto* s = servers(state);
    std::string why;
    if (s != nullptr && !SoundServer::available(&why))
        state.SkipWithError(why.c_str());
    if (s == nullptr || !why.empty())
        return;
    const std::vector<int> levels = {-30, -10};
    std::vector<double> ready, cold, program, readyRestart, programRestart;
    for (auto _ : state) {
        SoundServer sound({"ready", "plain", "program"});
        SinkMonitor readyEar(sound, "ready"), plainEar(sound, "plain"),
            programEar(sound, "program");
        Player prepared(true, sound.engineOptions("ready")),
            plain(false, sound.engineOptions("plain"));
        QStringList programSound;
        for (const std::string& argument : sound.programArguments("program"))
            programSound << QString::fromStdString(argument);
        MpvProgram mpv(programSound);
        for (int i = 0; i < kSwitches; ++i) {
            const int to = levels[(i + 1) % 2];
            const int from = levels[i % 2];
            const std::string toUrl = s->icecastToneUrl(to), fromUrl = s->icecastToneUrl(from);
            // Each starts where the other left off; the first start of each counts for nothing.
            if (i == 0) {
                prepared.play(fromUrl, {{toUrl, false}});
                plain.play(fromUrl, {{toUrl, false}});
                mpv.play(fromUrl);
            }
            if (const auto start = prepared.switchTo(toUrl, {{fromUrl, false}})) {
                readyRestart.push_back(msBetween(*start, *prepared.restarted));
                if (const auto ms = untilTone(readyEar, to, *start))
                    ready.push_back(*ms);
            }
            if (const auto start = plain.switchTo(toUrl, {{fromUrl, false}})) {
                if (const auto ms = untilTone(plainEar, to, *start))
                    cold.push_back(*ms);
            }
            const auto start = Clock::now();
            if (const auto restarted = mpv.play(toUrl)) {
                programRestart.push_back(msBetween(start, *restarted));
                if (const auto ms = untilTone(programEar, to, start))
                    program.push_back(*ms);
            }
        }
        state.SetIterationTime(median(ready) / 1000.0);
    }
    state.counters["ready_median_ms"] = median(ready);
    state.counters["ready_p90_ms"] = p90(ready);
    state.counters["unprepared_median_ms"] = median(cold);
    state.counters["mpv_median_ms"] = median(program);
    state.counters["vs_mpv"] = median(ready) / median(program);
    // Where the time goes: until each engine says playback restarted. What follows until the
    // tone is heard is mostly the station's MP3 itself: joined between frames, a decoder has
    // nothing to sound for its first frame or two (their bits lean on frames it never had),
    // about 33 ms for every player alike; the sound server adds a few ms.
    state.counters["ready_restart_median_ms"] = median(readyRestart);
    state.counters["mpv_restart_median_ms"] = median(programRestart);
    state.counters["switches"] = static_cast<double>(ready.size());
}
BENCHMARK(NeighbourSwitch)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

void PreparedMemory(benchmark::State& state) {
    auto* s = servers(state);
    if (s == nullptr)
        return;
    for (auto _ : state) {
        Player player(true);
        player.play(s->icecastToneUrl(-30));
        runFor(5s);
        const double playing = statusMb("VmRSS:");
        // Percent of one core over ten seconds, without and then with three kept ready.
        const auto cpuPercent = [] {
            const double before = cpuSeconds();
            runFor(10s);
            return (cpuSeconds() - before) * 10.0;
        };
        const double playingCpu = cpuPercent();
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
        const double preparedCpu = cpuPercent();
        state.counters["playing_cpu_pct"] = playingCpu;
        state.counters["three_prepared_cpu_pct"] = preparedCpu;
        state.counters["added_cpu_pct"] = preparedCpu - playingCpu;
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
            std::vector<double> times;
            for (int i = 0; i <= kSwitches / 2; ++i) {
                player.play(tone, {{tv, true}});
                if (mode != "unprepared" &&
                    !runUntil([&] { return player.keeper.ready(tv); }, kWaitLimit))
                    continue;
                // The first start of the engine counts for nothing.
                if (const auto start = player.play(tv); start && i > 0)
                    times.push_back(msBetween(*start, *player.restarted));
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
