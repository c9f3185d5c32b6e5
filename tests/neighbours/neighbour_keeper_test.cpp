// Neighbouring channels kept ready against a real Icecast server: what its listeners' count
// shows of the connections the program makes, and the engine playing a ready channel, MP3 or
// Ogg, its line with headers or without, through the connection already open.
#include "neighbours/neighbour_keeper.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "platform/stream_address.h"
#include "player/mpv_player.h"
#include "support/stream_servers_suite.h"
#include "testkit/stream_servers.h"

namespace qova::neighbours {
namespace {

constexpr int kWaitMs = 15000;

class NeighbourKeeperTest : public testing::ToneServersSuite<-30, -10> {
  protected:
    void SetUp() override {
        ToneServersSuite::SetUp();
        if (IsSkipped())
            return;
        on.enabled = true;
    }
    static bool listenersBecome(const std::string& mount, int count) {
        return QTest::qWaitFor([&] { return servers->listeners(mount) == count; }, kWaitMs);
    }

    playback::NeighbourConditions on;
};

TEST_F(NeighbourKeeperTest,
       AReadyChannelPlaysThroughItsOpenConnectionAndAFailingOneChangesNothing) {
    NeighbourKeeper keeper(player::kEngineUserAgent);
    keeper.setConditions(on);
    player::MpvPlayer player({false, "null"});
    player.routeAddress = [&](const std::string& address) { return keeper.route(address); };
    player.play(servers->icecastToneUrl(-30));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.state() == player::MpvPlayer::State::Playing; },
                                kWaitMs));

    // A server that refuses: not ready, unsaid. The louder tone comes with headers of its line,
    // and an Ogg station is kept from its header pages on.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const std::string refusing = "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/";
    closed.close();
    const std::string tone = platform::addressWithHeaders(servers->icecastToneUrl(-10),
                                                          {{"Referer", "http://127.0.0.1/"}});
    const std::string ogg = servers->icecastOggUrl();
    QSignalSpy failures(&player, &player::MpvPlayer::playbackFailed);
    keeper.channelChanged({{tone, false}, {refusing, false}, {ogg, false}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.ready(tone) && keeper.ready(ogg); }, kWaitMs));
    EXPECT_TRUE(listenersBecome("/tone-10.mp3", 1));
    EXPECT_TRUE(listenersBecome("/live.ogg", 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return keeper.prepared() == 2; }, kWaitMs))
        << "the failing one is let go";
    EXPECT_EQ(keeper.route(refusing), refusing);
    EXPECT_EQ(player.state(), player::MpvPlayer::State::Playing);

    // Next: the engine opens the ready channel on loopback; the station sees no new listener.
    player.play(tone);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return player.state() == player::MpvPlayer::State::Playing && keeper.handedOver() == 1;
        },
        kWaitMs))
        << player.path();
    EXPECT_TRUE(listenersBecome("/tone-30.mp3", 0));
    EXPECT_EQ(servers->listeners("/tone-10.mp3"), 1);
    EXPECT_EQ(keeper.prepared(), 1);
    // And the Ogg station, from the pages held.
    player.play(ogg);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return player.state() == player::MpvPlayer::State::Playing && keeper.handedOver() == 2;
        },
        kWaitMs))
        << player.path();
    EXPECT_TRUE(listenersBecome("/tone-10.mp3", 0)) << "the handed-over connection went with it";
    EXPECT_EQ(servers->listeners("/live.ogg"), 1);
    const double start = player.position();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.position() > start + 1; }, kWaitMs));
    EXPECT_TRUE(failures.isEmpty());

    // Played again later, a channel no longer ready is opened as ever.
    player.play(servers->icecastToneUrl(-30));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return player.state() == player::MpvPlayer::State::Playing &&
                   player.path() == servers->icecastToneUrl(-30);
        },
        kWaitMs));
    EXPECT_EQ(keeper.handedOver(), 2);
    EXPECT_TRUE(listenersBecome("/live.ogg", 0));
}

TEST_F(NeighbourKeeperTest, NoConnectionOffAndEachLetGoWhenAwayMeteredOrIdle) {
    NeighbourKeeper keeper(player::kEngineUserAgent);
    const std::vector<playback::NeighbourChannel> tone{{servers->icecastToneUrl(-10), false}};
    keeper.channelChanged(tone);
    EXPECT_EQ(keeper.prepared(), 0) << "off: not a single connection";
    EXPECT_EQ(servers->listeners("/tone-10.mp3"), 0);

    keeper.setConditions(on);
    EXPECT_TRUE(listenersBecome("/tone-10.mp3", 1));
    for (bool playback::NeighbourConditions::*away :
         {&playback::NeighbourConditions::minimised, &playback::NeighbourConditions::onBattery,
          &playback::NeighbourConditions::metered}) {
        playback::NeighbourConditions conditions = on;
        conditions.*away = true;
        keeper.setConditions(conditions);
        EXPECT_TRUE(listenersBecome("/tone-10.mp3", 0));
        keeper.setConditions(on);
        EXPECT_TRUE(listenersBecome("/tone-10.mp3", 1));
    }

    keeper.setIdleLimit(std::chrono::milliseconds(500));
    keeper.channelChanged(tone);
    EXPECT_TRUE(listenersBecome("/tone-10.mp3", 0)) << "let go after the idle time";
    keeper.channelChanged(tone);
    EXPECT_TRUE(listenersBecome("/tone-10.mp3", 1)) << "a channel change makes ready again";
}

}  // namespace
}  // namespace qova::neighbours
