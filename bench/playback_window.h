// The main window the playback benchmarks share, on a 10,000-line directory and the loopback
// streaming servers of the tests, and what several of them need of it.
#pragma once

#include <benchmark/benchmark.h>

#include <QMessageBox>
#include <QTimer>
#include <QTreeWidgetItem>
#include <memory>
#include <string>
#include <vector>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "testkit/loopback_http_server.h"
#include "testkit/stream_servers.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"

namespace qova::bench {

inline constexpr const char* kShippedPlayerPage =
    "<html><body bgcolor=\"black\" style=\"overflow:hidden;margin:0;padding:0\"></body></html>";
inline constexpr const char* kInfoPage =
    "<html><head><title>Info</title></head><body><p>Programme information.</p></body></html>";

enum class Stream { Mp3, Hls };

/// 10,000 lines in both categories, stream addresses of about 100 characters.
std::string makeDirectory();

/// Answers a modal message box as a user would, so that none can hold a run up; slow enough
/// not to disturb the timings.
class MessageCloser {
  public:
    MessageCloser();
    const std::vector<std::string>& seen() const { return seen_; }

  private:
    QTimer timer_;
    std::vector<std::string> seen_;
};

/// The main window on a program folder whose directory (10,000 lines, and the test channels
/// when the servers run) comes from a loopback server, as the program's does from its site.
class LoadedWindow {
  public:
    explicit LoadedWindow(qova::testkit::StreamServers* streams);

    qova::ui::FrmMain& window() { return *window_; }
    qova::player::MpvPlayer& player() { return window_->playerArea().player(); }
    const MessageCloser& messages() const { return messages_; }

    /// The stream's node in the tree, after choosing its category and the test country.
    QTreeWidgetItem* showNode(Stream stream);

    void click(QTreeWidgetItem* node);

    /// The stop button, then until the engine is idle and the connection has gone.
    bool stop();

  private:
    MessageCloser messages_;
    qova::testkit::LoopbackHttpServer http_;
    qova::testkit::TempFolder folder_;
    std::unique_ptr<qova::ui::FrmMain> window_;
};

/// The servers, started at the first call; null where they cannot run (see skipWithoutServers).
qova::testkit::StreamServers* servers();
std::string streamUrl(Stream stream);
/// The window, made at the first call and kept for the benchmarks after; null (and the
/// benchmark skipped) when it cannot be made.
LoadedWindow* loadedWindow(benchmark::State& state);
/// The window and the servers go, while the application still exists.
void releaseLoadedWindow();
/// Skips the benchmark, saying why, where the servers cannot run.
bool skipWithoutServers(benchmark::State& state);
/// Skips it also where the mpv program is not installed.
bool skipWithoutMpvProgram(benchmark::State& state);
void addSpread(benchmark::State& state, const std::vector<double>& ms);

}  // namespace qova::bench
