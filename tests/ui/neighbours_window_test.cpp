// Neighbouring channels kept ready through the real window: three Icecast stations in a tree,
// each a tone of its own frequency, the next channel taken as the media keys take it, and
// stand-ins of UPower and NetworkManager on a private session bus (the test runs under
// dbus-run-session). What the program connects to is read from Icecast's count of listeners;
// what it sounds, from the monitor of a private sound server's null sink.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <chrono>

#include "neighbours/neighbour_keeper.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/fake_system_services.h"
#include "support/main_window.h"
#include "support/stream_servers_suite.h"
#include "testkit/loopback_http_server.h"
#include "testkit/sound_server.h"
#include "testkit/stream_servers.h"

namespace qova::ui {
namespace {

constexpr int kWaitMs = 15000;
// The tone of each station, told apart by ear.
constexpr int kQuietHz = 440;
constexpr int kMiddleHz = 1000;

class NeighboursWindowTest : public testing::ServersSuite {
  protected:
    static void SetUpTestSuite() {
        testkit::StreamServers::Options options;
        options.hls = options.rtsp = false;
        options.toneLevelsDbfs = {-30, -20, -10};
        options.toneFrequenciesHz = {kQuietHz, kMiddleHz, 1800};
        startServers(options);
    }
    void SetUp() override {
        ServersSuite::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(system.error().toStdString(), "");
        directory.serve("/channels.txt",
                        "Test|Radio|Quiet|" + servers->icecastToneUrl(-30) + "|EN\n" +
                            "Test|Radio|Middle|" + servers->icecastToneUrl(-20) + "|EN\n" +
                            "Test|Radio|Loud|" + servers->icecastToneUrl(-10) + "|EN\n");
        folder.write("Config.txt", "URLTXT=" + directory.url("/channels.txt") + "\r\n");
        folder.write("Player.html", "shipped page\r\n");
    }
    void TearDown() override {
        window.reset();
        ear.reset();
        sound.reset();
        qunsetenv("PULSE_SERVER");
    }
    /// The window on the test's directory, its sound to this output.
    void open(const std::string& audioOutput) {
        FrmMainOptions options = testing::windowOptions(folder);
        options.powerOnSessionBus = true;
        options.audioOutput = audioOutput;
        window = testing::startWindow(std::move(options));
        window->findChild<QPushButton*>(QStringLiteral("imgRadio"))->click();
        ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("Test")));
    }

    /// Icecast's listeners of each tone, "-30" to "-10", become these.
    static bool listeners(int quiet, int middle, int loud) {
        const auto count = [](int level) {
            return servers->listeners("/tone" + std::to_string(level) + ".mp3");
        };
        return QTest::qWaitFor(
            [&] { return count(-30) == quiet && count(-20) == middle && count(-10) == loud; },
            kWaitMs);
    }
    bool playsThrough(const std::string& what) {
        player::MpvPlayer& player = window->playerArea().player();
        return QTest::qWaitFor(
            [&] {
                return player.state() == player::MpvPlayer::State::Playing &&
                       player.path().find(what) != std::string::npos;
            },
            kWaitMs);
    }
    void trigger(const char* action) {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }

    testing::FakeSystemServices system;
    testkit::LoopbackHttpServer directory;
    testkit::TempFolder folder;
    // Before the window, which plays into it until it goes.
    std::unique_ptr<testkit::SoundServer> sound;
    std::unique_ptr<testkit::SinkMonitor> ear;
    std::unique_ptr<FrmMain> window;
};

TEST_F(NeighboursWindowTest, NextIsReadyLetGoWhenMeteredOrMinimisedAndOffMakesNoConnection) {
    open("null");
    testing::clickNode(*window, 0);
    ASSERT_TRUE(playsThrough("/tone-30.mp3"));
    // The next channel of the tree is made ready; there is no previous one.
    ASSERT_TRUE(listeners(1, 1, 0));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->neighbourKeeper().ready(servers->icecastToneUrl(-20)); }, kWaitMs));

    // Next, as the media keys and Ctrl+Down take it: the ready connection is the one heard.
    trigger("mnuNext");
    ASSERT_TRUE(playsThrough("/tone-20.mp3"));
    EXPECT_EQ(window->neighbourKeeper().handedOver(), 1);
    // Now the next, and the previous which is also the one played before: each once.
    EXPECT_TRUE(listeners(1, 1, 1));

    system.setMetered(1);
    EXPECT_TRUE(listeners(0, 1, 0)) << "let go on a metered connection";
    system.setMetered(2);
    EXPECT_TRUE(listeners(1, 1, 1));
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(listeners(0, 1, 0)) << "let go while minimised";
    window->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(listeners(1, 1, 1));

    // Off: let go at once, and the next channel is opened as ever, with nothing beside it.
    trigger("mnuPrepareNeighbours");
    EXPECT_TRUE(listeners(0, 1, 0));
    trigger("mnuNext");
    ASSERT_TRUE(playsThrough("/tone-10.mp3"));
    EXPECT_TRUE(listeners(0, 0, 1));
    EXPECT_EQ(window->neighbourKeeper().handedOver(), 1) << "off, nothing is handed over";
    window.reset();
    const std::string settings = folder.read("settings.ini").value_or("");
    EXPECT_NE(settings.find("prepareNeighbours=0"), std::string::npos) << settings;
    EXPECT_NE(settings.find("equalLoudness=1"), std::string::npos)
        << "the default of a new settings file is kept with it";
}

TEST_F(NeighboursWindowTest, VideoChannelsTooFollowsTheNeighbourItemAndIsKept) {
    open("null");
    const auto items = [&] {
        return std::pair{window->findChild<QAction*>(QStringLiteral("mnuPrepareNeighbours")),
                         window->findChild<QAction*>(QStringLiteral("mnuPrepareVideoNeighbours"))};
    };
    auto [neighbours, video] = items();
    ASSERT_TRUE(neighbours && video);
    const QList<QAction*> menu =
        qobject_cast<QMenu*>(video->associatedObjects().value(0))->actions();
    EXPECT_EQ(menu.indexOf(video), menu.indexOf(neighbours) + 1);
    EXPECT_EQ(video->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+V")));
    EXPECT_FALSE(video->isChecked()) << "off by default";
    EXPECT_TRUE(video->isEnabled());

    trigger("mnuPrepareVideoNeighbours");
    EXPECT_TRUE(window->neighbourKeeper().conditions().videoToo);
    trigger("mnuPrepareNeighbours");
    EXPECT_FALSE(video->isEnabled()) << "nothing to prepare whole while nothing is prepared";

    window.reset();
    FrmMainOptions options = testing::windowOptions(folder);
    options.powerOnSessionBus = true;
    window = testing::startWindow(std::move(options));
    std::tie(neighbours, video) = items();
    EXPECT_FALSE(neighbours->isChecked());
    EXPECT_TRUE(video->isChecked()) << "kept across a restart";
    EXPECT_FALSE(video->isEnabled());
    trigger("mnuPrepareNeighbours");
    EXPECT_TRUE(video->isEnabled());
}

TEST_F(NeighboursWindowTest, NextSoundsTheReadyChannelHandedOver) {
    std::string why;
    if (!testkit::SoundServer::available(&why))
        GTEST_SKIP() << why;
    sound = std::make_unique<testkit::SoundServer>();
    ear = std::make_unique<testkit::SinkMonitor>(*sound, sound->sinks().front());
    // The engine's sound output finds the server as every PulseAudio client does.
    qputenv("PULSE_SERVER", QByteArray::fromStdString(sound->address()));
    open("pulse");
    using Clock = std::chrono::steady_clock;
    const auto clicked = Clock::now();
    testing::clickNode(*window, 0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ear->toneStart(kQuietHz, clicked).has_value(); }, kWaitMs))
        << "the first channel is never heard";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->neighbourKeeper().ready(servers->icecastToneUrl(-20)); }, kWaitMs));

    const auto next = Clock::now();
    trigger("mnuNext");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ear->toneStart(kMiddleHz, next).has_value(); }, kWaitMs))
        << "the next channel is never heard";
    EXPECT_EQ(window->neighbourKeeper().handedOver(), 1) << "heard from a new connection";
    EXPECT_TRUE(playsThrough("/tone-20.mp3"));
    EXPECT_TRUE(listeners(1, 1, 1)) << "the station of the channel heard counts one listener";
}

}  // namespace
}  // namespace qova::ui
