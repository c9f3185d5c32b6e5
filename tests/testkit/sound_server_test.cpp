// The private sound servers the tests hear players through: two at once, as tests running in
// parallel have them, each sink hearing only what is played into it, told by its tone; and
// their clients, in the test and in the programs it starts, leave nothing in the home folder.
#include "testkit/sound_server.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <filesystem>
#include <list>
#include <vector>

#include "testkit/temp_folder.h"

namespace qova::testkit {
namespace {

using Clock = SinkMonitor::Clock;
constexpr const char* kMpv = "/usr/bin/mpv";

/// The mpv program playing an endless tone into a sink, until it goes.
class Tone {
  public:
    Tone(const SoundServer& server, const std::string& sink, int hz) {
        QStringList args = {QStringLiteral("--no-config"), QStringLiteral("--really-quiet"),
                            QStringLiteral("--vo=null"),
                            QStringLiteral("av://lavfi:sine=frequency=%1").arg(hz)};
        for (const std::string& argument : server.programArguments(sink))
            args << QString::fromStdString(argument);
        process_.start(QString::fromLatin1(kMpv), args);
    }
    ~Tone() {
        process_.kill();
        process_.waitForFinished(3000);
    }

  private:
    QProcess process_;
};

TEST(SoundServerTest, TwoAtOnceEachSinkHearsOnlyWhatIsPlayedIntoIt) {
    std::string why;
    if (!SoundServer::available(&why))
        GTEST_SKIP() << "no sound server: " << why;
    if (::access(kMpv, X_OK) != 0)
        GTEST_SKIP() << "no mpv program to play tones with";
    const TempFolder home;
    const QByteArray userHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path()));
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", userHome); });
    SoundServer one({"left", "right"});
    SoundServer other;
    EXPECT_NE(one.address(), other.address());
    const std::vector<int> tones = {1000, 440, 2500};
    std::list<SinkMonitor> ears;
    ears.emplace_back(one, "left");
    ears.emplace_back(one, "right");
    ears.emplace_back(other, "qova");
    const auto start = Clock::now();
    const Tone left(one, "left", tones[0]), right(one, "right", tones[1]),
        elsewhere(other, "qova", tones[2]);

    // Each heard its own tone, and heard it still once all three played: a sink that got
    // another's sound too would have heard a mixture, which is no one tone.
    Clock::time_point allPlaying = start;
    auto hz = tones.begin();
    for (const SinkMonitor& ear : ears) {
        std::optional<Clock::time_point> heard;
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return (heard = ear.toneStart(*hz, start)).has_value(); }, 10000))
            << *hz << " Hz never heard";
        allPlaying = std::max(allPlaying, heard.value_or(allPlaying));
        ++hz;
    }
    hz = tones.begin();
    for (const SinkMonitor& ear : ears) {
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return ear.toneStart(*hz, allPlaying).has_value(); }, 10000))
            << *hz << " Hz drowned";
        for (const int another : tones) {
            if (another != *hz) {
                EXPECT_FALSE(ear.toneStart(another, start)) << another << " Hz beside " << *hz;
            }
        }
        ++hz;
    }
    EXPECT_TRUE(std::filesystem::is_empty(home.path()))
        << "a sound client wrote in the home folder";
}

}  // namespace
}  // namespace qova::testkit
