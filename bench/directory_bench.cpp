// Speed of the channel directory on a large list, through the real main window offscreen:
// from the directory page's completion to the country list filled and the tree shown, and the
// rebuild of the tree for a country of 5,000 channels.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <clocale>
#include <fstream>

#include "platform/player_probe.h"
#include "qt/qt_tree_view.h"
#include "ui/frm_main.h"

namespace {

constexpr int kLines = 200000;
constexpr int kCountries = 250;
constexpr int kBigCountryChannels = 5000;
constexpr const char* kBigCountry = "Bigland";

class AlwaysThere : public qova::platform::PlayerProbe {
  public:
    qova::platform::ProbeResult probePlayerControl(const std::string&) override {
        return qova::platform::ProbeResult::Object;
    }
};

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
    Fixture() {
        const std::string folder = dir.path().toStdString();
        std::ofstream(folder + "/directory.txt", std::ios::binary) << makeDirectory();
        std::ofstream(folder + "/Config.txt", std::ios::binary)
            << "URLTXT=file://" << folder << "/directory.txt\r\n";
        qova::ui::FrmMainOptions options;
        options.programFolder = folder;
        options.site.address = "http://127.0.0.1:9";
        options.probe = std::make_unique<AlwaysThere>();
        options.audioOutput = "null";
        window = std::make_unique<qova::ui::FrmMain>(std::move(options));
        window->load();
        window->show();
        if (!QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, 60000)) {
            throw std::runtime_error("the directory was never loaded");
        }
    }
    QTemporaryDir dir;
    std::unique_ptr<qova::ui::FrmMain> window;
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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as the program's main() does, for libmpv
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
