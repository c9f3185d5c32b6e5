#pragma once

// What the benchmarks of the real window share: a window on a program folder of its own, and
// the run from the start of the directory's download to its countries shown.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/player_probe.h"
#include "player/mpv_engine.h"
#include "stall_meter.h"
#include "ui/frm_main.h"

namespace bench_support {

/// The player is there: the benchmarks measure the directory, not the engine's probe.
class AlwaysThere : public qova::platform::PlayerProbe {
  public:
    qova::platform::ProbeResult probePlayerControl(const std::string&) override {
        return qova::platform::ProbeResult::Object;
    }
};

/// A main window, not yet loaded, on a program folder whose Config.txt names the address.
inline std::unique_ptr<qova::ui::FrmMain> windowOn(const QString& folder,
                                                   const std::string& address) {
    std::ofstream(QDir(folder).filePath("Config.txt").toStdString(), std::ios::binary)
        << "URLTXT=" << address << "\r\n";
    qova::ui::FrmMainOptions options;
    options.programFolder = folder.toStdString();
    options.site.address = "http://127.0.0.1:9";
    options.probe = std::make_unique<AlwaysThere>();
    options.audioOutput = "null";
    return std::make_unique<qova::ui::FrmMain>(std::move(options));
}

/// A window loaded and shown on a directory kept in its program folder; it throws when the
/// directory is not shown within a minute.
inline std::unique_ptr<qova::ui::FrmMain> windowShowing(const QTemporaryDir& folder,
                                                        const std::string& directory) {
    const QString path = folder.filePath(QStringLiteral("directory.txt"));
    std::ofstream(path.toStdString(), std::ios::binary) << directory;
    auto window = windowOn(folder.path(), "file://" + path.toStdString());
    window->load();
    window->show();
    if (!QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, 60000))
        throw std::runtime_error("the directory was never loaded");
    return window;
}

/// Each iteration a new window loads the directory at the address, timed from the load to the
/// countries shown; max_stall_ms is the longest the Qt thread was held up in any of them. A run
/// that shows fewer than minCountries countries (TV and radio together) is an error.
inline void downloadedAndShown(benchmark::State& state, const std::string& address,
                               int minCountries) {
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir program;
        auto window = windowOn(program.path(), address);
        window->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        StallMeter meter;
        window->load();
        // Not QTest::qWaitFor: it sleeps between turns, which would count as stalls.
        QElapsedTimer waited;
        waited.start();
        while (window->countryList()->count() == 0 && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto& known = window->logic().state();
        if (known.colVideoCountries.count() + known.colRadioCountries.count() < minCountries) {
            state.SkipWithError("the directory was never shown");
            break;
        }
        longest = std::max(longest, meter.longestMs());
        state.PauseTiming();
        window.reset();  // waits for Channel.txt to land
        state.ResumeTiming();
    }
    state.counters["max_stall_ms"] = longest;
}

/// The benchmarks' main: the windows offscreen unless a display is asked for.
inline int runOffscreen(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The public channel sources are never asked by a benchmark.
    for (const char* source : {"QOVA_RADIO_API", "QOVA_TV_API"}) {
        if (!qEnvironmentVariableIsSet(source))
            qputenv(source, "http://127.0.0.1:9");
    }
    QApplication app(argc, argv);
    qova::player::prepareProcess();  // as the program's main() does
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench_support
