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
        if (!runUntil([&] { return w.player().timePos() > 0.5; }, kWaitLimit)) {
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

constexpr const char* kA11yService = "org.a11y.atspi.Registry";
constexpr const char* kA11yRoot = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

struct A11yObject {
    QString service;
    QString path;
};

/// Where the desktop says whether accessibility is on and where its bus is.
const A11yObject kA11yLauncher{QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus")};

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

QDBusMessage setAccessibility(bool on) {
    QDBusConnection session = QDBusConnection::sessionBus();
    return a11yCall(session, kA11yLauncher, "org.freedesktop.DBus.Properties", "Set",
                    {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                     QVariant::fromValue(QDBusVariant(on))});
}

/// The desktop's accessibility, turned on as a screen reader does, and a connection to its bus;
/// both undone when it goes, so that the benchmarks after it run as before.
class ScreenReader {
  public:
    ScreenReader() {
        const QDBusMessage enabled = setAccessibility(true);
        QDBusConnection session = QDBusConnection::sessionBus();
        const QDBusMessage address = a11yCall(session, kA11yLauncher, "org.a11y.Bus", "GetAddress");
        if (enabled.type() != QDBusMessage::ReplyMessage ||
            address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty()) {
            why_ = "no accessibility bus (at-spi2-core): " + enabled.errorMessage() +
                   address.errorMessage();
            return;
        }
        bus_ = QDBusConnection::connectToBus(address.arguments().front().toString(), kName);
        if (!bus_->isConnected())
            why_ = QStringLiteral("cannot connect to the accessibility bus");
    }
    ~ScreenReader() {
        bus_.reset();
        QDBusConnection::disconnectFromBus(kName);
        setAccessibility(false);
    }
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    /// Empty when connected.
    const QString& why() const { return why_; }
    QDBusConnection& bus() { return *bus_; }

  private:
    static inline const QString kName = QStringLiteral("bench-screen-reader");
    std::optional<QDBusConnection> bus_;
    QString why_;
};

/// The first forty objects of the program's tree, breadth first (its windows, the menus, the
/// controls): their children and names, each call timed alone, as a screen reader waits for
/// each.
Round walk(QDBusConnection& bus, const A11yObject& program, int& calls) {
    Round round;
    const auto timed = [&](auto call) {
        ++calls;
        const auto start = Clock::now();
        auto result = call();
        round.longestMs = std::max(round.longestMs, msBetween(start, Clock::now()));
        return result;
    };
    std::vector<A11yObject> next{program};
    for (std::size_t i = 0; i < next.size() && i < 40; ++i) {
        if (i > 0) {
            const bool named = !timed([&] { return a11yName(bus, next[i]); }).isNull();
            round.answered = round.answered && named;
        }
        for (const A11yObject& child : timed([&] { return a11yChildren(bus, next[i]); }))
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
    ScreenReader reader;
    if (!reader.why().isEmpty()) {
        state.SkipWithError(reader.why().toStdString().c_str());
        return;
    }
    // The program joins the accessibility bus when it learns that accessibility is on; the
    // registry then lists it by its name. A first walk, untimed, makes the accessible objects.
    std::optional<A11yObject> program;
    std::atomic<bool> found{false};
    std::thread look([&] {
        const auto deadline = Clock::now() + kWaitLimit;
        while (!program && Clock::now() < deadline) {
            for (const A11yObject& candidate : a11yChildren(
                     reader.bus(),
                     {QString::fromLatin1(kA11yService), QString::fromLatin1(kA11yRoot)})) {
                if (a11yName(reader.bus(), candidate) == QCoreApplication::applicationName())
                    program = candidate;
            }
            std::this_thread::sleep_for(50ms);
        }
        int untimed = 0;
        if (program)
            walk(reader.bus(), *program, untimed);
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
        askWhileVideoPlays(state, *w, [&] { return walk(reader.bus(), *program, calls); });
    if (answers) {
        reportAnswers(state, *answers);
        state.counters["calls"] = calls;
    }
}
BENCHMARK(AccessibilityAnswerWhileVideoPlays)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
