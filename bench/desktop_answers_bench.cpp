// How long the window keeps a desktop waiting while video plays: a media-key applet reading the
// player over the session bus, and a screen reader walking the window's accessible objects over
// the desktop's accessibility bus (AT-SPI, at-spi2-core, which a private session bus starts on
// demand). Run under dbus-run-session and a display, as the other playback benchmarks.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "playback_support.h"
#include "playback_window.h"
#include "stall_meter.h"

namespace {

using namespace qova::bench;

/// How a desktop's questions to the window were answered while video played.
struct Answers {
    double longestMs = 0.0;
    int asked = 0;
    int answered = 0;
    double stallMs = 0.0;
};

/// One round of a desktop's questions: the longest wait of one of its calls, or nothing when one
/// was not answered.
using AskRound = std::function<std::optional<double>()>;

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
        if (!runUntil([&] { return w.player().timePos() > 0.5; }, kWaitLimit)) {
            state.SkipWithError("the HLS stream never played");
            return std::nullopt;
        }
        std::atomic<bool> done{false};
        const StallMeter meter;
        std::thread desktop([&] {
            for (int i = 0; i < 100; ++i) {
                const std::optional<double> longest = ask();
                answers.answered += longest ? 1 : 0;
                ++answers.asked;
                answers.longestMs = std::max(answers.longestMs, longest.value_or(0.0));
                std::this_thread::sleep_for(50ms);
            }
            done = true;
        });
        runUntil([&] { return done.load(); }, 60s);
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
        return answered ? std::optional(msBetween(start, Clock::now())) : std::nullopt;
    });
    QDBusConnection::disconnectFromBus(connection);
    if (answers)
        reportAnswers(state, *answers);
}
BENCHMARK(MprisAnswerWhileVideoPlays)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// What a screen reader asks.

constexpr const char* kA11yService = "org.a11y.atspi.Registry";
constexpr const char* kA11yRoot = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

struct A11yObject {
    QString service;
    QString path;
};

QDBusMessage a11yCall(QDBusConnection& bus, const A11yObject& object, const char* interface,
                      const char* method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        object.service, object.path, QString::fromLatin1(interface), QString::fromLatin1(method));
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, 10000);
}

std::vector<A11yObject> a11yChildren(QDBusConnection& bus, const A11yObject& object) {
    const QDBusMessage reply = a11yCall(bus, object, kAccessible, "GetChildren");
    std::vector<A11yObject> children;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return children;
    const auto list = reply.arguments().front().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        A11yObject child;
        QDBusObjectPath path;
        list.beginStructure();
        list >> child.service >> path;
        list.endStructure();
        child.path = path.path();
        children.push_back(child);
    }
    list.endArray();
    return children;
}

QString a11yName(QDBusConnection& bus, const A11yObject& object) {
    const QDBusMessage reply = a11yCall(bus, object, "org.freedesktop.DBus.Properties", "Get",
                                        {QString::fromLatin1(kAccessible), QStringLiteral("Name")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().front().value<QDBusVariant>().variant().toString();
}

/// Turns the desktop's accessibility on, as a screen reader does, and connects to its bus.
std::optional<QDBusConnection> accessibilityBus(QString* why) {
    QDBusConnection session = QDBusConnection::sessionBus();
    const A11yObject launcher{QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus")};
    const QDBusMessage enabled =
        a11yCall(session, launcher, "org.freedesktop.DBus.Properties", "Set",
                 {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                  QVariant::fromValue(QDBusVariant(true))});
    const QDBusMessage address = a11yCall(session, launcher, "org.a11y.Bus", "GetAddress");
    if (enabled.type() != QDBusMessage::ReplyMessage ||
        address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty()) {
        *why = "no accessibility bus (at-spi2-core): " + enabled.errorMessage() +
               address.errorMessage();
        return std::nullopt;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address.arguments().front().toString(),
                                                        QStringLiteral("bench-screen-reader"));
    if (!bus.isConnected()) {
        *why = "cannot connect to the accessibility bus";
        return std::nullopt;
    }
    return bus;
}

/// The longest wait of a screen reader's query while video plays: the program's tree of
/// accessible objects walked, one call at a time.
void AccessibilityAnswerWhileVideoPlays(benchmark::State& state) {
    LoadedWindow* w = windowOnSessionBus(state);
    if (w == nullptr)
        return;
    QString why;
    std::optional<QDBusConnection> bus = accessibilityBus(&why);
    if (!bus) {
        state.SkipWithError(why.toStdString().c_str());
        return;
    }
    // The program joins the accessibility bus when it learns that accessibility is on; the
    // registry then lists it by its name.
    std::optional<A11yObject> program;
    std::atomic<bool> found{false};
    std::thread look([&] {
        const auto deadline = Clock::now() + kWaitLimit;
        while (!found && Clock::now() < deadline) {
            for (const A11yObject& candidate : a11yChildren(
                     *bus, {QString::fromLatin1(kA11yService), QString::fromLatin1(kA11yRoot)})) {
                if (a11yName(*bus, candidate) == QCoreApplication::applicationName()) {
                    program = candidate;
                    found = true;
                }
            }
            std::this_thread::sleep_for(50ms);
        }
        found = true;
    });
    runUntil([&] { return found.load(); }, kWaitLimit + 5s);
    look.join();
    if (!program) {
        state.SkipWithError("the program never appeared on the accessibility bus");
        return;
    }
    int calls = 0;
    const auto answers = askWhileVideoPlays(state, *w, [&]() -> std::optional<double> {
        double longest = 0.0;
        // Each call timed alone: the walk is many questions, each a screen reader waits for.
        const auto timed = [&](auto call) {
            ++calls;
            const auto start = Clock::now();
            auto result = call();
            longest = std::max(longest, msBetween(start, Clock::now()));
            return result;
        };
        // The first forty objects of the program's tree, breadth first: its windows, the
        // menus, the controls.
        std::vector<A11yObject> next{*program};
        bool answered = true;
        for (std::size_t i = 0; i < next.size() && i < 40; ++i) {
            if (i > 0)
                answered = answered && !timed([&] { return a11yName(*bus, next[i]); }).isNull();
            for (const A11yObject& child : timed([&] { return a11yChildren(*bus, next[i]); }))
                next.push_back(child);
        }
        answered = answered && next.size() > 1;
        return answered ? std::optional(longest) : std::nullopt;
    });
    QDBusConnection::disconnectFromBus(QStringLiteral("bench-screen-reader"));
    if (answers) {
        reportAnswers(state, *answers);
        state.counters["calls"] = calls;
    }
}
BENCHMARK(AccessibilityAnswerWhileVideoPlays)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
