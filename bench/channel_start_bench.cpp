// A channel start taken apart, through a timing relay in front of each loopback server: the
// player's time before it connects, the server's time to its answer head and to the first byte
// of the body, and the player's time from that byte to the start of playback. For a switch from
// another channel on the running engine and for a first start on an idle one; through the
// window (a click in the tree) and through a bare libmpv with its default options, in turns.
// own_ms is the player's own share: before connecting plus after the first body byte. Beside
// them the mpv program, kept running and switched over its IPC socket, timed at the same point
// (the first restart of playback, as each tells it).
#include <benchmark/benchmark.h>
#include <mpv/client.h>

#include <QComboBox>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <map>
#include <memory>

#include "mpv_program.h"
#include "playback_support.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "qt/qt_tree_view.h"
#include "testkit/loopback_http_server.h"
#include "testkit/stream_servers.h"
#include "testkit/streams/timing_proxy.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"
#include "window_runs.h"

namespace {

using namespace qova::bench;
using qova::testkit::streams::TimingProxy;

enum class Kind { Mp3, Ogg, Hls, Rtsp, Burst };
const char* const kNames[] = {"Mp3", "Ogg", "Hls", "Rtsp", "Burst"};
constexpr int kKinds = 5;

/// The servers, each behind a relay; the burst relay passes half a second of the MP3 stream
/// (128 kb/s) at once and then holds it to real time.
struct Servers {
    qova::testkit::StreamServers streams;
    std::map<Kind, std::unique_ptr<TimingProxy>> relays;
    std::map<Kind, std::string> urls;

    Servers() {
        const auto add = [&](Kind kind, const std::string& url, std::size_t burst,
                             std::size_t rate) {
            const std::uint16_t port = qova::testkit::loopbackPort(url);
            relays[kind] = std::make_unique<TimingProxy>(TimingProxy::Options{port, burst, rate});
            std::string relayed = url;
            relayed.replace(relayed.find(std::to_string(port)), std::to_string(port).size(),
                            std::to_string(relays[kind]->port()));
            urls[kind] = relayed;
        };
        add(Kind::Mp3, streams.icecastMp3Url(), 0, 0);
        add(Kind::Ogg, streams.icecastOggUrl(), 0, 0);
        add(Kind::Hls, streams.hlsUrl(), 0, 0);
        add(Kind::Rtsp, streams.rtspUrl(), 0, 0);
        add(Kind::Burst, streams.icecastMp3Url(), 8000, 16000);
    }
};

Servers* servers(benchmark::State& state) {
    static std::unique_ptr<Servers> made;
    static std::string why;
    if (!made && why.empty()) {
        try {
            if (!qova::testkit::StreamServers::available(&why))
                throw std::runtime_error(why);
            made = std::make_unique<Servers>();
        } catch (const std::exception& e) {
            why = e.what();
        }
    }
    if (!made)
        state.SkipWithError(("the streaming servers cannot run here: " + why).c_str());
    return made.get();
}

struct Phases {
    double beforeConnect = 0, toHead = 0, toBody = 0, afterBody = 0, total = 0;
};

/// The phases of the start begun at `start`, from the connections the relay saw since it was
/// cleared: the first for the connect, the first that carried a body for the rest.
std::optional<Phases> phases(const TimingProxy& relay, Clock::time_point start,
                             Clock::time_point restarted) {
    const auto seen = relay.connections();
    const auto body = std::find_if(seen.begin(), seen.end(), [](const auto& connection) {
        return connection.headSent && connection.firstBodyByte;
    });
    if (body == seen.end())
        return std::nullopt;
    return Phases{msBetween(start, seen.front().accepted),
                  msBetween(seen.front().accepted, *body->headSent),
                  msBetween(*body->headSent, *body->firstBodyByte),
                  msBetween(*body->firstBodyByte, restarted), msBetween(start, restarted)};
}

/// libmpv with its defaults, silent.
class DefaultMpv {
  public:
    DefaultMpv() : handle_(mpv_create()) {
        mpv_set_option_string(handle_, "ao", "null");
        mpv_set_option_string(handle_, "vo", "null");
        // For trying options on the bare engine: QOVA_BENCH_MPV_OPTIONS="name=value,...".
        const QByteArray extra = qgetenv("QOVA_BENCH_MPV_OPTIONS");
        for (const QByteArray& option : extra.split(',')) {
            const qsizetype eq = option.indexOf('=');
            if (eq > 0)
                mpv_set_option_string(handle_, option.left(eq).constData(),
                                      option.mid(eq + 1).constData());
        }
        mpv_initialize(handle_);
    }
    ~DefaultMpv() { mpv_terminate_destroy(handle_); }
    /// Loads the address in place of what plays; the time of the first restart of playback.
    std::optional<Clock::time_point> play(const std::string& url) {
        const char* args[] = {"loadfile", url.c_str(), "replace", nullptr};
        mpv_command(handle_, args);
        const auto deadline = Clock::now() + kWaitLimit;
        while (Clock::now() < deadline) {
            const mpv_event* event = mpv_wait_event(handle_, 0.5);
            if (event->event_id == MPV_EVENT_PLAYBACK_RESTART)
                return Clock::now();
        }
        return std::nullopt;
    }
    void stop() {
        const char* args[] = {"stop", nullptr};
        mpv_command(handle_, args);
        std::this_thread::sleep_for(kSettle);
    }

  private:
    mpv_handle* handle_;
};

class Window {
  public:
    explicit Window(const Servers& s) {
        std::string page;
        for (int k = 0; k < kKinds; ++k) {
            page += std::string("Test|Radio|") + kNames[k] + "|" + s.urls.at(static_cast<Kind>(k)) +
                    "|EN\n";
        }
        http_.serve("/channels.txt", page);
        window_ = bench_support::windowOn(QString::fromStdString(folder_.path()),
                                          http_.url("/channels.txt"));
        folder_.write("Player.html", "\r\n");
        window_->load();
        window_->show();
        runUntil([&] { return window_->countryList()->count() > 0; }, kWaitLimit);
        window_->logic().imgRadio_Click();
        QComboBox* list = window_->countryList();
        list->setCurrentIndex(list->findText(QStringLiteral("Test")));
        emit list->activated(list->currentIndex());
    }
    /// Clicks the channel's node; the time of the first restart of playback.
    std::optional<Clock::time_point> play(Kind kind) {
        QTreeWidget* tree = window_->channelTree();
        QTreeWidgetItem* node = tree->topLevelItem(static_cast<int>(kind));
        // A click on the node already chosen chooses nothing: a first start comes from none.
        if (tree->currentItem() == node)
            tree->setCurrentItem(nullptr);
        std::optional<Clock::time_point> restarted;
        auto& player = window_->playerArea().player();
        const auto connection =
            QObject::connect(&player, &qova::player::MpvPlayer::playbackRestarted,
                             [&] { restarted = restarted.value_or(Clock::now()); });
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
        runUntil([&] { return restarted.has_value(); }, kWaitLimit);
        QObject::disconnect(connection);
        return restarted;
    }
    void stop() {
        window_->findChild<QPushButton*>(QStringLiteral("cmdStopButton"))->click();
        runUntil([&] { return window_->playerArea().player().idle(); }, kWaitLimit);
        runFor(kSettle);
    }

  private:
    qova::testkit::LoopbackHttpServer http_;
    qova::testkit::TempFolder folder_;
    std::unique_ptr<qova::ui::FrmMain> window_;
};

/// Args: the stream (Kind), 1 for a switch from another channel, 0 for a first start.
void ChannelStart(benchmark::State& state) {
    Servers* s = servers(state);
    if (s == nullptr)
        return;
    const auto kind = static_cast<Kind>(state.range(0));
    const bool switching = state.range(1) == 1;
    // Switches go between the two Icecast mounts as a listener zaps; the others come from MP3.
    const Kind from = kind == Kind::Mp3 ? Kind::Ogg : Kind::Mp3;
    static std::unique_ptr<Window> window;
    if (!window)
        window = std::make_unique<Window>(*s);
    DefaultMpv mpv;
    static std::unique_ptr<MpvProgram> program;
    if (!program)
        program = std::make_unique<MpvProgram>();
    const int players = program->running() ? 3 : 2;
    // One entry point for the three: the window, the bare engine, the program.
    const auto play = [&](int player, Kind what) {
        return player == 0   ? window->play(what)
               : player == 1 ? mpv.play(s->urls.at(what))
                             : program->play(s->urls.at(what));
    };
    TimingProxy& relay = *s->relays.at(kind);
    window->stop();
    std::map<std::string, std::vector<double>> ours, theirs, program_runs;
    const auto record = [&](auto& into, const Phases& p) {
        into["before_connect_ms"].push_back(p.beforeConnect);
        into["to_head_ms"].push_back(p.toHead);
        into["to_body_ms"].push_back(p.toBody);
        into["after_body_ms"].push_back(p.afterBody);
        into["own_ms"].push_back(p.beforeConnect + p.afterBody);
        into["total_ms"].push_back(p.total);
    };
    for (auto _ : state) {
        for (int player = 0; player < players; ++player) {
            if (switching) {
                if (!play(player, from))
                    continue;
                runFor(std::chrono::milliseconds(500));
            } else {
                player == 0 ? window->stop() : player == 1 ? mpv.stop() : program->stop();
            }
            relay.clear();
            const auto start = Clock::now();
            const auto restarted = play(player, kind);
            const auto p = restarted ? phases(relay, start, *restarted) : std::nullopt;
            if (!p) {
                static const char* const kPlayers[] = {"the window", "libmpv", "the mpv program"};
                const std::string why =
                    std::string(kPlayers[player]) +
                    (restarted ? " was not seen to connect" : " never started it");
                state.SkipWithError(why.c_str());
                return;
            }
            record(player == 0 ? ours : player == 1 ? theirs : program_runs, *p);
        }
        runFor(kSettle);
    }
    for (const auto& [name, values] : ours)
        state.counters[name] = median(values);
    state.counters["libmpv_before_connect_ms"] = median(theirs["before_connect_ms"]);
    state.counters["libmpv_after_body_ms"] = median(theirs["after_body_ms"]);
    state.counters["libmpv_own_ms"] = median(theirs["own_ms"]);
    state.counters["libmpv_total_ms"] = median(theirs["total_ms"]);
    state.counters["vs_libmpv"] = median(ours["total_ms"]) / median(theirs["total_ms"]);
    if (!program_runs.empty()) {
        state.counters["mpv_total_ms"] = median(program_runs["total_ms"]);
        state.counters["vs_mpv"] = median(ours["total_ms"]) / median(program_runs["total_ms"]);
    }
}
BENCHMARK(ChannelStart)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1, 0}})
    ->ArgNames({"stream", "switch"})
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench_support::runOffscreen(argc, argv);
}
