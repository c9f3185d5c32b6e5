// Speed of the discover window's lists through the real main window offscreen, against a
// loopback stand-in of the radio station database and of the TV playlist tree: from "Add radio
// stations" to a country's 500 stations in the tree, with the longest time the Qt thread was
// held up on the way (max_stall_ms); and a cold start with 20,000 discovered TV channels and
// 5,000 stations kept from an earlier run, from the load to the country lists filled, beside
// the same start without them.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "stall_meter.h"
#include "testkit/loopback_http_server.h"
#include "ui/frm_discover.h"
#include "ui/frm_main.h"
#include "window_runs.h"

namespace {

using qova::testkit::LoopbackHttpServer;

const char* const kRadioCountries[] = {"DE", "AT", "CH", "FR", "IT"};
const char* const kTvCountries[] = {"DE", "AT", "CH", "FR", "IT", "ES", "NL", "BE", "PL", "SE"};

/// Stations as the database gives them for a country: about 900 bytes each.
std::string makeStations(const std::string& code, int stations) {
    std::string text = "[";
    for (int i = 0; i < stations; ++i) {
        char id[40];
        std::snprintf(id, sizeof id, "%08x-0000-4000-8000-%012d", static_cast<unsigned>(i),
                      static_cast<int>(code[0]) * 100 + code[1]);
        const std::string n = std::to_string(i);
        text +=
            std::string(i > 0 ? "," : "") + R"({"changeuuid":")" + id + R"(","stationuuid":")" +
            id + R"(","serveruuid":null,"name":"Station )" + n + " " + code +
            R"(","url":"http://streams.example.invalid/)" + code + "/" + n +
            R"(","url_resolved":"http://streams.example.invalid/)" + code + "/" + n +
            R"(.mp3","homepage":"https://example.invalid/","favicon":"https://example.invalid/)" +
            n + R"(.png","tags":"pop,rock,news","country":"Somewhere","countrycode":")" + code +
            R"(","iso_3166_2":null,"state":"","language":"german,english","languagecodes":"de,en",)"
            R"("votes":12,"lastchangetime":"2024-01-01 00:00:00","codec":"MP3","bitrate":128,)"
            R"("hls":0,"lastcheckok":1,"lastchecktime":"2024-01-01 00:00:00","clickcount":)" +
            std::to_string(10000 - i) + R"(,"clicktrend":0,"has_extended_info":false})";
    }
    return text + "]";
}

/// A country's TV playlist as the playlist tree writes it.
std::string makeTvList(const std::string& code, int channels) {
    std::string text = "#EXTM3U x-tvg-url=\"https://epg.example.invalid/guide.xml\"\n";
    for (int i = 0; i < channels; ++i) {
        const std::string n = std::to_string(i);
        text += "#EXTINF:-1 tvg-id=\"Channel" + n + "." + code +
                "@SD\" tvg-logo=\"https://logos.example.invalid/" + n +
                ".png\" group-title=\"General;News\",Channel " + n + " " + code + " (720p)\n";
        text += "https://streams.example.invalid/" + code + "/" + n + "/index.m3u8\n";
    }
    return text;
}

void pointAt(const std::string& radio, const std::string& tv) {
    qputenv("QOVA_RADIO_API", QByteArray::fromStdString(radio));
    qputenv("QOVA_TV_API", QByteArray::fromStdString(tv));
}

/// A directory of 10,000 channels in 100 countries, kept in the folder.
std::string directoryIn(const QTemporaryDir& folder) {
    const std::string path = folder.filePath(QStringLiteral("directory.txt")).toStdString();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 10000; ++i) {
        out << "Country " << i % 100 << (i % 3 == 0 ? "|Radio|" : "|Video|") << "Channel " << i
            << "|http://streams.example.invalid/" << i << ".mp3|EN\r\n";
    }
    return "file://" + path;
}

void AddRadioStationsToTheTree(benchmark::State& state) {
    const int stations = static_cast<int>(state.range(0));
    LoopbackHttpServer radio;
    radio.serve("/json/countries", R"([{"name":"Germany","iso_3166_1":"DE","stationcount":500}])",
                "application/json");
    radio.serve("/json/stations/bycountrycodeexact/DE", makeStations("DE", stations),
                "application/json");
    pointAt(radio.url("/"), qova::testkit::closedPortUrl());
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir program;
        auto window = bench_support::windowOn(program.path(), directoryIn(program));
        window->load();
        window->show();
        if (!QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, 60000)) {
            state.SkipWithError("the directory was never shown");
            break;
        }
        window->findChild<QAction*>(QStringLiteral("mnuDiscover"))->trigger();
        qova::ui::FrmDiscover& discover = *window->discoverWindow();
        QComboBox* chooser = discover.countries();
        // The database's countries come with their counts.
        if (!QTest::qWaitFor(
                [&] {
                    return chooser->itemText(chooser->findData(QStringLiteral("DE")))
                        .contains(QStringLiteral("stations"));
                },
                10000)) {
            state.SkipWithError("the database's countries never came");
            break;
        }
        chooser->setCurrentIndex(chooser->findData(QStringLiteral("DE")));
        auto* add = discover.findChild<QPushButton*>(QStringLiteral("cmdAddRadio"));
        QComboBox* countries = window->countryList();
        state.ResumeTiming();
        StallMeter meter;
        add->click();
        QElapsedTimer waited;
        waited.start();
        // The person looks for the country in Radio once it is listed, and chooses it.
        window->logic().imgRadio_Click();
        while (countries->findText(QStringLiteral("Germany")) < 0 && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const int germany = countries->findText(QStringLiteral("Germany"));
        countries->setCurrentIndex(germany);
        window->logic().cmbCountry_Click();
        QCoreApplication::processEvents();
        longest = std::max(longest, meter.longestMs());
        state.PauseTiming();
        if (window->logic().channels().colChannels().size() != static_cast<std::size_t>(stations)) {
            state.SkipWithError("the stations were never shown");
            break;
        }
        window.reset();
        state.ResumeTiming();
    }
    state.counters["max_stall_ms"] = longest;
}
BENCHMARK(AddRadioStationsToTheTree)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A program folder whose lists were added and fetched from the stand-ins once.
class KeptLists {
  public:
    KeptLists() {
        LoopbackHttpServer radio;
        LoopbackHttpServer tv;
        for (const char* code : kRadioCountries)
            radio.serve(std::string("/json/stations/bycountrycodeexact/") + code,
                        makeStations(code, 1000), "application/json");
        for (const char* code : kTvCountries) {
            const std::string lower = QString::fromLatin1(code).toLower().toStdString();
            tv.serve("/countries/" + lower + ".m3u", makeTvList(code, 2000), "audio/x-mpegurl");
        }
        pointAt(radio.url("/"), tv.url("/"));
        directory_ = directoryIn(folder_);
        auto window = bench_support::windowOn(folder_.path(), directory_);
        window->load();
        window->findChild<QAction*>(QStringLiteral("mnuDiscover"))->trigger();
        qova::ui::FrmDiscover& discover = *window->discoverWindow();
        const auto add = [&](const char* code, const char* button) {
            discover.countries()->setCurrentIndex(
                discover.countries()->findData(QString::fromLatin1(code)));
            discover.findChild<QPushButton*>(QString::fromLatin1(button))->click();
        };
        for (const char* code : kRadioCountries)
            add(code, "cmdAddRadio");
        for (const char* code : kTvCountries)
            add(code, "cmdAddTv");
        (void)QTest::qWaitFor(
            [&] {
                std::size_t channels = 0;
                for (const auto& list : window->logic().addedLists().lists())
                    channels += list.channels;
                return channels == 25000;
            },
            120000);
        std::size_t channels = 0;
        for (const auto& list : window->logic().addedLists().lists())
            channels += list.channels;
        if (channels != 25000)
            throw std::runtime_error("the lists were never fetched");
        window.reset();
        // From now on the sources are gone, as on a train.
        pointAt(qova::testkit::closedPortUrl(), qova::testkit::closedPortUrl());
    }
    const QTemporaryDir& folder() const { return folder_; }
    const std::string& directory() const { return directory_; }

  private:
    QTemporaryDir folder_;
    std::string directory_;
};

/// Each iteration a new window starts in the folder, timed from the load to the countries
/// shown; with the lists, or with ChannelLists.txt set aside.
void ColdStart(benchmark::State& state) {
    static KeptLists kept;
    const bool withLists = state.range(0) != 0;
    const QString lists = QDir(kept.folder().path()).filePath(QStringLiteral("ChannelLists.txt"));
    const QString aside = lists + QStringLiteral(".aside");
    if (!withLists)
        QFile::rename(lists, aside);
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = bench_support::windowOn(kept.folder().path(), kept.directory());
        window->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        StallMeter meter;
        window->load();
        QElapsedTimer waited;
        waited.start();
        while (window->countryList()->count() == 0 && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        longest = std::max(longest, meter.longestMs());
        state.PauseTiming();
        const std::size_t added = window->logic().state().strAddedChannels.size();
        if (window->countryList()->count() == 0 || (withLists != (added > 0))) {
            state.SkipWithError("the countries were never shown");
            break;
        }
        window.reset();
        state.ResumeTiming();
    }
    if (!withLists)
        QFile::rename(aside, lists);
    state.counters["max_stall_ms"] = longest;
}
BENCHMARK(ColdStart)
    ->ArgName("discovered_lists")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench_support::runOffscreen(argc, argv);
}
