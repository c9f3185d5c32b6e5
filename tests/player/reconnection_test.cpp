// Streams that break while they play, against the real servers on loopback: Icecast stopped and
// started again, stopped for good, stopped while the player tries again, and an HLS writer that
// stops writing. The player area with the real media engine, silent.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/browser_recorder.h"
#include "support/stream_servers_suite.h"
#include "testkit/stream_servers.h"

namespace qova::player {
namespace {

constexpr int kWaitLimitMs = 30000;

std::string playerPage(const std::string& address) {
    return "about:<object classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA>"
           "<param name=\"src\" value=\"" +
           address + "\" /></object>";
}

class ReconnectionTest : public testing::StreamServersSuite<true, true, false> {
  protected:
    void TearDown() override {
        // The next test finds the servers as the first did.
        if (servers != nullptr && servers->listeners("/live.mp3") < 0)
            servers->startIcecast();
    }

    /// A player area with the given waits between tries and stall limit (the player's own
    /// when empty and 0).
    std::unique_ptr<PlayerView> view(std::vector<int> waits = {}, int stallLimitMs = 0) {
        PlayerViewOptions options{"null", false, std::move(waits), stallLimitMs};
        auto made = std::make_unique<PlayerView>(nullptr, options);
        made->resize(552, 342);
        made->show();
        return made;
    }
    /// Waits until the area plays, with nothing to say: a try that was under way has come
    /// through.
    static bool playing(PlayerView& area) {
        return QTest::qWaitFor(
            [&] {
                return area.player().state() == platform::MediaPlayer::State::Playing &&
                       area.statusText().isEmpty();
            },
            kWaitLimitMs);
    }
    static bool says(PlayerView& area, const std::string& text) {
        return QTest::qWaitFor([&] { return area.statusText().toStdString() == text; },
                               kWaitLimitMs);
    }
    /// Keeps the event loop turning for a time the scenario itself sets (a server's downtime).
    static void pass(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QTest::qWait(50);
    }
};

TEST_F(ReconnectionTest, AStreamWhoseServerRestartsIsPlayedAgainWithOneListener) {
    auto area = view();
    QSignalSpy failures(&area->player(), &MpvPlayer::playbackFailed);
    area->navigate(playerPage(servers->icecastMp3Url()));
    ASSERT_TRUE(playing(*area));
    // The server counts its listener once it has served it for a moment.
    ASSERT_TRUE(QTest::qWaitFor([&] { return servers->listeners("/live.mp3") == 1; }, 5000));

    servers->stopIcecast();
    ASSERT_TRUE(says(*area, "Reconnecting... (1 of 5)"));
    // Between the tries the player is still on its way, not stopped.
    EXPECT_NE(area->player().state(), platform::MediaPlayer::State::Stopped);
    pass(3000);
    servers->startIcecast();
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(playing(*area)) << area->statusText().toStdString();
    std::printf("[ measured ] played again %lld ms after the server was back\n",
                static_cast<long long>(back.elapsed()));
    EXPECT_TRUE(area->statusText().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return servers->listeners("/live.mp3") == 1; }, 5000));
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(ReconnectionTest, AServerThatStaysDownEndsInTheMessageAfterTheFifthTry) {
    auto area = view({100, 100, 100, 100, 100});
    QSignalSpy tries(&area->player(), &MpvPlayer::reconnecting);
    area->navigate(playerPage(servers->icecastMp3Url()));
    ASSERT_TRUE(playing(*area));
    servers->stopIcecast();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return area->player().state() == platform::MediaPlayer::State::Stopped; },
        kWaitLimitMs));
    EXPECT_EQ(tries.count(), 5);
    EXPECT_EQ(tries.last().at(0).toInt(), 5);
    EXPECT_TRUE(area->statusText().startsWith(QStringLiteral("The stream cannot be played: ")))
        << area->statusText().toStdString();
}

TEST_F(ReconnectionTest, StopWhileTryingEndsTheTries) {
    auto area = view({300, 300, 300, 300, 300});
    QSignalSpy tries(&area->player(), &MpvPlayer::reconnecting);
    area->navigate(playerPage(servers->icecastMp3Url()));
    ASSERT_TRUE(playing(*area));
    servers->stopIcecast();
    // The tries follow each other quickly; any of them will do, however late this loop turns.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tries.isEmpty(); }, kWaitLimitMs));
    area->navigate("about:blank");  // the stop button's page
    ASSERT_TRUE(QTest::qWaitFor([&] { return area->player().idle(); }, kWaitLimitMs));
    const int triesAtStop = tries.count();
    servers->startIcecast();
    // Longer than every try that was left would have taken.
    pass(5 * 300 + 1000);
    EXPECT_EQ(tries.count(), triesAtStop);
    EXPECT_EQ(servers->listeners("/live.mp3"), 0);
    EXPECT_EQ(area->player().state(), platform::MediaPlayer::State::Stopped);
}

TEST_F(ReconnectionTest, AnHlsWriterThatStopsGivesBufferingThenATryAndPlaysWhenItGoesOn) {
    auto area = view({}, 3000);
    QSignalSpy buffering(&area->player(), &MpvPlayer::buffering);
    QSignalSpy tries(&area->player(), &MpvPlayer::reconnecting);
    area->navigate(playerPage(servers->hlsUrl()));
    ASSERT_TRUE(playing(*area));
    servers->pauseHls(true);
    const bool buffered = QTest::qWaitFor([&] { return !tries.isEmpty(); }, kWaitLimitMs);
    servers->pauseHls(false);
    ASSERT_TRUE(buffered);
    ASSERT_FALSE(buffering.isEmpty());
    EXPECT_TRUE(buffering.first().at(0).toBool());
    EXPECT_TRUE(playing(*area)) << area->statusText().toStdString();
}

}  // namespace
}  // namespace qova::player
