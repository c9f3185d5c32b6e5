// How long the window keeps a desktop waiting while video plays: a media-key applet reading the
// player over the session bus, and a screen reader walking the window's accessible objects over
// the desktop's accessibility bus (AT-SPI, at-spi2-core, which a private session bus starts on
// demand). Run under dbus-run-session and a display, as the other playback benchmarks.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "playback_support.h"
#include "playback_window.h"
#include "stall_meter.h"
#include "testkit/screen_reader.h"

namespace {

using namespace qova::bench;

/// How a desktop's questions to the window were answered while video played.
struct Answers {
    double longestMs = 0.0;
    int asked = 0;
    int answered = 0;
    double stallMs = 0.0;
};

/// One round of a desktop's questions: the longest wait of one of its calls, answered or not,
/// and whether every call was answered.
struct Round {
    double longestMs = 0.0;
    bool answered = true;
};
using AskRound = std::function<Round()>;

/// While a 640x360 HLS channel plays, `ask` runs a hundred rounds, 50 ms apart, from a thread of
/// its own with a bus connection of its own, so that only the window's answers are timed.
std::optional<Answers> askWhileVideoPlays(benchmark::State& state, LoadedWindow& w,
                                          const AskRound& ask) {
    QTreeWidgetItem* node = w.showNode(Stream::Hls);
    if (node == nullptr) {
        state.SkipWithError("no HLS node in the tree");
        return std::nullopt;
    }
    Answers answers;
    for (auto _ : state) {
        w.click(node);
        if (!runUntil(
                [&] { return w.player().state() == qova::platform::MediaPlayer::State::Playing; },
                kWaitLimit)) {
            state.SkipWithError("the HLS stream never played");
            w.stop();
            return std::nullopt;
        }
        std::atomic<bool> done{false};
        const StallMeter meter;
        std::thread desktop([&] {
            for (int i = 0; i < 100; ++i) {
                const Round round = ask();
                answers.answered += round.answered ? 1 : 0;
                ++answers.asked;
                answers.longestMs = std::max(answers.longestMs, round.longestMs);
                std::this_thread::sleep_for(50ms);
            }
            done = true;
        });
        // The window answers only while its event loop runs, and every call gives up after 10 s.
        while (!runUntil([&] { return done.load(); }, 60s)) {
        }
        desktop.join();
        answers.stallMs = meter.longestMs();
        w.stop();
    }
    return answers;
}

void reportAnswers(benchmark::State& state, const Answers& answers) {
    state.counters["max_stall_ms"] = answers.stallMs;
    state.counters["longest_ms"] = answers.longestMs;
    state.counters["asked"] = answers.asked;
    state.counters["answered"] = answers.answered;
}

LoadedWindow* windowOnSessionBus(benchmark::State& state) {
    if (skipWithoutServers(state))
        return nullptr;
    if (!QDBusConnection::sessionBus().isConnected()) {
        state.SkipWithError("no session bus: run the benchmarks under dbus-run-session");
        return nullptr;
    }
    return loadedWindow(state);
}

/// The longest wait of a desktop reading the player's PlaybackStatus over the session bus.
void MprisAnswerWhileVideoPlays(benchmark::State& state) {
    LoadedWindow* w = windowOnSessionBus(state);
    if (w == nullptr)
        return;
    const QString connection = QStringLiteral("bench-desktop");
    const auto answers = askWhileVideoPlays(state, *w, [&] {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
        QDBusMessage get = QDBusMessage::createMethodCall(
            QStringLiteral("org.mpris.MediaPlayer2.qova"),
            QStringLiteral("/org/mpris/MediaPlayer2"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("PlaybackStatus");
        const auto start = Clock::now();
        const bool answered =
            bus.call(get, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
        return Round{msBetween(start, Clock::now()), answered};
    });
    QDBusConnection::disconnectFromBus(connection);
    if (answers)
        reportAnswers(state, *answers);
}
BENCHMARK(MprisAnswerWhileVideoPlays)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// What a screen reader asks.

using qova::testkit::AccessibleObject;
using qova::testkit::ScreenReader;

/// The first forty objects of the program's tree, breadth first (its windows, the menus, the
/// controls): their children and names, each call timed alone, as a screen reader waits for
/// each.
Round walk(ScreenReader& reader, const AccessibleObject& program, int& calls) {
    Round round;
    const auto timed = [&](auto call) {
        ++calls;
        const auto start = Clock::now();
        auto result = call();
        round.longestMs = std::max(round.longestMs, msBetween(start, Clock::now()));
        return result;
    };
    std::vector<AccessibleObject> next{program};
    for (std::size_t i = 0; i < next.size() && i < 40; ++i) {
        if (i > 0) {
            const bool named = !timed([&] { return reader.name(next[i]); }).isNull();
            round.answered = round.answered && named;
        }
        for (const AccessibleObject& child : timed([&] { return reader.children(next[i]); }))
            next.push_back(child);
    }
    round.answered = round.answered && next.size() > 1;
    return round;
}

/// The longest wait of a screen reader's query while video plays.
void AccessibilityAnswerWhileVideoPlays(benchmark::State& state) {
    LoadedWindow* w = windowOnSessionBus(state);
    if (w == nullptr)
        return;
    ScreenReader reader(QStringLiteral("bench-screen-reader"));
    if (!reader.why().isEmpty()) {
        state.SkipWithError(reader.why().toStdString().c_str());
        return;
    }
    // A first walk, untimed, makes the accessible objects.
    std::optional<AccessibleObject> program;
    std::atomic<bool> found{false};
    std::thread look([&] {
        program =
            reader.application(QCoreApplication::applicationName(),
                               static_cast<int>(std::chrono::milliseconds(kWaitLimit).count()));
        int untimed = 0;
        if (program)
            walk(reader, *program, untimed);
        found = true;
    });
    while (!runUntil([&] { return found.load(); }, 60s)) {
    }
    look.join();
    if (!program) {
        state.SkipWithError("the program never appeared on the accessibility bus");
        return;
    }
    int calls = 0;
    const auto answers =
        askWhileVideoPlays(state, *w, [&] { return walk(reader, *program, calls); });
    if (answers) {
        reportAnswers(state, *answers);
        state.counters["calls"] = calls;
    }
}
BENCHMARK(AccessibilityAnswerWhileVideoPlays)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
