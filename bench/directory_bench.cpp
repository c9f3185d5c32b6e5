// Speed of the channel directory on a large list, through the real main window offscreen:
// from the directory page's completion to the country list filled and the tree shown, the
// rebuild of the tree for a country of 5,000 channels, and the whole way from the start of the
// download to the countries shown, with the longest time the Qt thread was held up on the way
// (max_stall_ms: the longest gap between two turns of its event loop); and the country list
// filled with 100,000 countries.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <clocale>
#include <fstream>

#include "platform/player_probe.h"
#include "qt/qt_combo_box.h"
#include "qt/qt_tree_view.h"
#include "stall_meter.h"
#include "testkit/streams/stream_processes.h"
#include "ui/frm_main.h"
#include "window_runs.h"

namespace {

constexpr int kLines = 200000;
constexpr int kCountries = 250;
constexpr int kBigCountryChannels = 5000;
constexpr const char* kBigCountry = "Bigland";

/// A directory of 200,000 lines: 250 countries in both categories, one of them with 5,000
/// video channels, stream addresses of about 100 characters.
std::string makeDirectory() {
    std::string text;
    text.reserve(static_cast<std::size_t>(kLines) * 150);
    for (int i = 0; i < kLines; ++i) {
        const bool big = i % (kLines / kBigCountryChannels) == 0;
        const std::string country = big ? std::string(kBigCountry)
                                        : "Country " + std::to_string((i / 3) % (kCountries - 1));
        const char* category = (big || i % 3 != 0) ? "Video" : "Radio";
        text += country;
        text += '|';
        text += category;
        text += "|Channel " + std::to_string(i) + "|";
        text += "http://streams.example.invalid/live/broadcast/high-quality/channel-" +
                std::to_string(1000000 + i) + "/index-playlist-main.mp4|EN\n";
    }
    return text;
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<qova::ui::FrmMain> window = bench_support::windowShowing(dir, makeDirectory());
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void DirectoryCompleteToCountriesShown(benchmark::State& state) {
    Fixture& f = fixture();
    auto& logic = f.window->logic();
    for (auto _ : state) {
        state.PauseTiming();
        // Each run starts as the first of a program: no country known yet.
        logic.state().colVideoCountries = {};
        logic.state().colRadioCountries = {};
        logic.state().strFavorites.clear();
        state.ResumeTiming();
        logic.wbDownload_DocumentComplete();
        QCoreApplication::processEvents();
        f.window->channelTree()->viewport()->repaint();
    }
    state.counters["countries"] = f.window->countryList()->count() - 1;
    state.counters["video"] = logic.state().colVideoCountries.count();
    state.counters["radio"] = logic.state().colRadioCountries.count();
}
BENCHMARK(DirectoryCompleteToCountriesShown)->Unit(benchmark::kMillisecond)->MinTime(3);

void CountryRebuildOf5000Channels(benchmark::State& state) {
    Fixture& f = fixture();
    QComboBox* list = f.window->countryList();
    const int big = list->findText(QString::fromLatin1(kBigCountry));
    const int other = list->findText(QStringLiteral("Country 7"));
    bool toBig = true;
    for (auto _ : state) {
        // Alternate, so that every run replaces a full tree.
        const int index = toBig ? big : other;
        list->setCurrentIndex(index);
        emit list->activated(index);
        QCoreApplication::processEvents();
        f.window->channelTree()->viewport()->repaint();
        toBig = !toBig;
    }
    list->setCurrentIndex(big);
    emit list->activated(big);
    state.counters["channels"] = f.window->channelTree()->topLevelItemCount();
}
BENCHMARK(CountryRebuildOf5000Channels)->Unit(benchmark::kMillisecond)->MinTime(3);

/// Arg 0: the directory as plain text; 1: as an HTML page of one paragraph per line.
void DirectoryDownloadedStoredAndShown(benchmark::State& state) {
    const bool html = state.range(0) == 1;
    QTemporaryDir served;
    {
        const std::string text = makeDirectory();
        if (html) {
            std::string page = "<html><head><title>Channels</title></head><body>";
            std::size_t start = 0;
            for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
                 start = end + 1)
                page += "<p>" + text.substr(start, end - start) + "</p>\n";
            std::ofstream(served.filePath("directory.html").toStdString())
                << page << "</body></html>";
        } else {
            std::ofstream(served.filePath("directory.txt").toStdString()) << text;
        }
    }
    // On a thread of its own, so that serving costs the Qt thread nothing.
    qova::testkit::streams::FileServer server(served.path().toStdString(), "/");
    const std::string address = "http://127.0.0.1:" + std::to_string(server.port()) +
                                (html ? "/directory.html" : "/directory.txt");
    bench_support::downloadedAndShown(state, address, kCountries);
}
BENCHMARK(DirectoryDownloadedStoredAndShown)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

/// The sorted country list, shown, filled with 100,000 distinct countries in the order a directory
/// gives them: Arg 0, in one call; Arg 1, one entry at a time, for comparison (each entry costs a
/// search of its place and a model update of its own).
void CountryListFilled(benchmark::State& state) {
    const bool oneCall = state.range(0) == 0;
    const int count = 100000;
    std::vector<std::string> countries;
    for (int i = 0; i < count; ++i)
        countries.push_back("Country " + std::to_string((i * 7919) % count));
    QComboBox widget;
    const auto grey = qova::platform::Colour::rgb(204, 204, 204);
    qova::qt::QtComboBox list(&widget, true, grey, qova::platform::Colour::rgb(76, 76, 76));
    widget.show();
    for (auto _ : state) {
        if (oneCall) {
            list.fill(countries);
        } else {
            list.clear();
            for (const std::string& country : countries)
                list.addItem(country);
        }
        list.insertItem(0, "Select Country");
        list.setListIndex(0);
        QCoreApplication::processEvents();
        widget.repaint();
    }
    state.counters["countries"] = list.count() - 1;
}
BENCHMARK(CountryListFilled)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return bench_support::runOffscreen(argc, argv);
}
