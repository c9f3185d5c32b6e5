#include "playback_window.h"

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <stdexcept>

#include "playback_support.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "qt/qt_tree_view.h"

namespace qova::bench {
namespace {

using testkit::StreamServers;

constexpr int kDirectoryLines = 10000;
constexpr int kCountries = 120;

std::unique_ptr<StreamServers> gServers;
std::string gServersWhy;
bool gServersTried = false;
std::unique_ptr<LoadedWindow> gWindow;

}  // namespace

std::string makeDirectory() {
    std::string text;
    text.reserve(static_cast<std::size_t>(kDirectoryLines) * 150);
    for (int i = 0; i < kDirectoryLines; ++i) {
        text += "Country " + std::to_string((i / 3) % kCountries);
        text += i % 3 == 0 ? "|Radio|" : "|Video|";
        text += "Channel " + std::to_string(i) + "|";
        text += "http://streams.example.invalid/live/broadcast/high-quality/channel-" +
                std::to_string(1000000 + i) + "/index-playlist-main.mp4|EN\n";
    }
    return text;
}

MessageCloser::MessageCloser() {
    timer_.setInterval(250);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen_.push_back(box->text().toStdString());
            box->reject();
        }
    });
    timer_.start();
}

LoadedWindow::LoadedWindow(StreamServers* streams) {
    std::string test;
    if (streams != nullptr) {
        test = "Test|Radio|Mp3 Tone|" + streams->icecastMp3Url() + "|EN\n" +
               "Test|Video|Hls Card|" + streams->hlsUrl() + "|EN\n";
    }
    http_.serve("/channels.txt", makeDirectory() + test);
    http_.serve("/info3.html", kInfoPage, "text/html");
    folder_.write("Config.txt", "URLTXT=" + http_.url("/channels.txt") + "\r\n");
    folder_.write("Player.html", kShippedPlayerPage);
    ui::FrmMainOptions options;
    options.programFolder = folder_.path();
    options.site.address = "http://127.0.0.1:" + std::to_string(http_.port());
    options.audioOutput = "null";
    window_ = std::make_unique<ui::FrmMain>(std::move(options));
    window_->load();
    window_->show();
    if (!runUntil([&] { return window_->countryList()->count() > 0; }, kWaitLimit))
        throw std::runtime_error("the directory was never shown");
}

QTreeWidgetItem* LoadedWindow::showNode(Stream stream) {
    const char* button = stream == Stream::Mp3 ? "imgRadio" : "imgTV";
    if (auto* category = window_->findChild<QPushButton*>(QString::fromLatin1(button)))
        category->click();
    QComboBox* list = window_->countryList();
    const int index = list->findText(QStringLiteral("Test"));
    if (index < 0)
        return nullptr;
    list->setCurrentIndex(index);
    emit list->activated(index);
    QCoreApplication::processEvents();
    const QString name =
        stream == Stream::Mp3 ? QStringLiteral("Mp3 Tone") : QStringLiteral("Hls Card");
    const auto found = window_->channelTree()->findItems(name, Qt::MatchExactly);
    return found.size() == 1 ? found[0] : nullptr;
}

void LoadedWindow::click(QTreeWidgetItem* node) {
    QTreeWidget* tree = window_->channelTree();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
}

bool LoadedWindow::stop() {
    if (auto* button = window_->findChild<QPushButton*>(QStringLiteral("cmdStopButton")))
        button->click();
    const bool idle = runUntil([&] { return player().idle(); }, kWaitLimit);
    runFor(kSettle);
    return idle;
}

StreamServers* servers() {
    if (!gServersTried) {
        gServersTried = true;
        if (StreamServers::available(&gServersWhy)) {
            try {
                gServers = std::make_unique<StreamServers>();
            } catch (const std::exception& e) {
                gServersWhy = e.what();
            }
        }
    }
    return gServers.get();
}

std::string streamUrl(Stream stream) {
    return stream == Stream::Mp3 ? gServers->icecastMp3Url() : gServers->hlsUrl();
}

LoadedWindow* loadedWindow(benchmark::State& state) {
    if (!gWindow) {
        try {
            gWindow = std::make_unique<LoadedWindow>(servers());
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return nullptr;
        }
    }
    return gWindow.get();
}

void addSpread(benchmark::State& state, const std::vector<double>& ms) {
    state.counters["median_ms"] = median(ms);
    state.counters["min_ms"] = *std::min_element(ms.begin(), ms.end());
    state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
}

bool skipWithoutServers(benchmark::State& state) {
    if (servers() != nullptr)
        return false;
    const std::string why = "the streaming servers cannot run here: " + gServersWhy;
    state.SkipWithError(why.c_str());
    return true;
}

bool skipWithoutMpvProgram(benchmark::State& state) {
    if (skipWithoutServers(state))
        return true;
    if (::access(kMpvProgram, X_OK) == 0)
        return false;
    state.SkipWithError("the mpv program is not installed (scripts/install-deps.sh)");
    return true;
}

void releaseLoadedWindow() {
    gWindow.reset();
    gServers.reset();
}

}  // namespace qova::bench
