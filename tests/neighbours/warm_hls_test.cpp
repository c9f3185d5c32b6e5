// Picture channels over HLS kept warm, against a loopback server of fixed playlists and real
// segments that counts what is asked of it, and the real engine playing what was handed over.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include "neighbours/neighbour_keeper.h"
#include "neighbours/warm_hls.h"
#include "player/mpv_player.h"
#include "testkit/loopback_http_server.h"
#include "testkit/test_media.h"

namespace qova::neighbours {
namespace {

constexpr int kWaitMs = 15000;
constexpr int kSegments = testkit::HlsSegments::kCount;

class WarmHlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const testkit::HlsSegments& media = testkit::HlsSegments::get();
        if (!media.error().empty())
            GTEST_SKIP() << media.error();
        // A live playlist (no end) of six segments; the engine starts at the fourth. The
        // master's poorer variant has segments of its own, for the engine's first look.
        for (const std::string variant : {"live", "low"}) {
            std::string playlist =
                "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n"
                "#EXT-X-MEDIA-SEQUENCE:0\n";
            for (int i = 0; i < kSegments; ++i) {
                const std::string name = "seg" + std::to_string(i) + ".ts";
                playlist += "#EXTINF:1.000000,\n" + name + "\n";
                server.serve("/" + variant + "/" + name, media.segment(i), "video/mp2t");
            }
            server.serve("/" + variant + "/index.m3u8", playlist, "application/vnd.apple.mpegurl");
        }
        server.serve("/master.m3u8",
                     "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=200000\nlow/index.m3u8\n"
                     "#EXT-X-STREAM-INF:BANDWIDTH=900000\n" +
                         server.url("/live/index.m3u8") + "\n",
                     "application/vnd.apple.mpegurl");
        // Within the bytes a playlist may have, but five times that handed over.
        std::string huge = "#EXTM3U\n";
        for (int i = 0; i < 45000; ++i)
            huge += "#EXT-X-MAP:URI=\"i.mp4\"\n";
        server.serve("/huge/index.m3u8", huge + "#EXTINF:1,\na.ts\n");
        on.enabled = true;
    }
    /// How often each segment of the live variant was asked for, first to last.
    std::vector<int> segmentRequests() const {
        std::vector<int> counts;
        for (int i = 0; i < kSegments; ++i)
            counts.push_back(server.requestCount("/live/seg" + std::to_string(i) + ".ts"));
        return counts;
    }
    static playback::NeighbourChannel pictures(const std::string& address) {
        return {address, true};
    }
    bool handedOverPlays(NeighbourKeeper& keeper, player::MpvPlayer& player,
                         const std::string& address) {
        player.routeAddress = [&](const std::string& to) { return keeper.route(to); };
        player.play(address);
        return QTest::qWaitFor(
            [&] {
                return player.state() == player::MpvPlayer::State::Playing &&
                       keeper.handedOver() == 1;
            },
            kWaitMs);
    }

    testkit::LoopbackHttpServer server;
    playback::NeighbourConditions on;
};

TEST_F(WarmHlsTest, TheStartSegmentIsKeptWarmAndTheEnginePlaysItFromMemory) {
    NeighbourKeeper keeper(player::kEngineUserAgent);
    keeper.setConditions(on);
    const std::string master = server.url("/master.m3u8");
    keeper.channelChanged({pictures(master)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.ready(master); }, kWaitMs));
    EXPECT_EQ(server.requestCount("/master.m3u8"), 1);
    EXPECT_EQ(server.requestCount("/low/index.m3u8"), 0) << "only the variant the engine plays";
    EXPECT_EQ(segmentRequests(), (std::vector<int>{0, 0, 0, 1, 0, 0}));

    player::MpvPlayer player({false, "null"});
    QSignalSpy failures(&player, &player::MpvPlayer::playbackFailed);
    ASSERT_TRUE(handedOverPlays(keeper, player, master)) << player.path();
    ASSERT_NE(keeper.handedOverPictures(), nullptr);
    const HlsRelay* relay = keeper.handedOverPictures()->relay();
    ASSERT_NE(relay, nullptr);
    // The engine goes on through the relay to the server for what comes after.
    ASSERT_TRUE(QTest::qWaitFor([&] { return segmentRequests()[4] == 1; }, kWaitMs));
    EXPECT_EQ(segmentRequests()[3], 1) << "the warm segment came from memory";
    EXPECT_EQ(server.requestCount("/master.m3u8"), 1) << server.lastRequestHead("/master.m3u8");
    EXPECT_GE(relay->answeredFromMemory(), 3) << "master, media playlist, segment";
    EXPECT_EQ(keeper.prepared(), 0);
    EXPECT_TRUE(failures.isEmpty());

    // What passes on comes byte for byte; only addresses with the relay's secret lead anywhere,
    // and a request is bounded.
    const QUrl passing(QString::fromStdString(
        relay->localAddress(server.url("/live/seg0.ts"), HlsReference::Media)));
    const auto ask = [&](const QByteArray& request) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(passing.port()));
        socket.write(request);
        QByteArray answer;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            kWaitMs))
            << "the relay closes every connection it answered";
        return answer + socket.readAll();
    };
    const QByteArray path = passing.path(QUrl::FullyEncoded).toUtf8();
    const QByteArray body = ask("GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(body.startsWith("HTTP/1.1 200"));
    EXPECT_TRUE(body.endsWith(QByteArray::fromStdString(testkit::HlsSegments::get().segment(0))));
    EXPECT_EQ(segmentRequests()[0], 1);
    QByteArray wrong = path;
    wrong[1] = wrong[1] == 'a' ? 'b' : 'a';
    EXPECT_TRUE(ask("GET " + wrong + " HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404"));
    EXPECT_EQ(ask("GET " + path + " HTTP/1.1\r\nX: " + QByteArray(HlsRelay::kRequestLimit, 'x') +
                  "\r\n\r\n"),
              QByteArray());
    EXPECT_EQ(segmentRequests()[0], 1);
    const QUrl huge(QString::fromStdString(
        relay->localAddress(server.url("/huge/index.m3u8"), HlsReference::Playlist)));
    EXPECT_TRUE(ask("GET " + huge.path(QUrl::FullyEncoded).toUtf8() + " HTTP/1.1\r\n\r\n")
                    .startsWith("HTTP/1.1 502"))
        << "a playlist that would grow beyond its bound";
}

TEST_F(WarmHlsTest, AMovingLiveChannelCostsASegmentEveryFewReloadsAndOutlastsAFailedOne) {
    // A live window of six that moves on by one each time the channel reloads it; segment n
    // has the pictures of segment n % 6, so that the engine meets them in order where it starts.
    const auto publish = [&](int first, int status = 200) {
        std::string playlist =
            "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(first) +
            "\n";
        for (int n = first; n < first + kSegments; ++n) {
            const std::string name = "seg" + std::to_string(n) + ".ts";
            playlist += "#EXTINF:1.000000,\n" + name + "\n";
            server.serve("/moving/" + name, testkit::HlsSegments::get().segment(n % kSegments),
                         "video/mp2t");
        }
        server.serve("/moving/index.m3u8", playlist, "application/vnd.apple.mpegurl", status);
    };
    const auto asked = [&](int n) {
        return server.requestCount("/moving/seg" + std::to_string(n) + ".ts");
    };
    const auto reloads = [&] { return server.requestCount("/moving/index.m3u8"); };
    const std::string moving = server.url("/moving/index.m3u8");
    publish(0);
    NeighbourKeeper keeper(player::kEngineUserAgent);
    keeper.setConditions(on);
    keeper.channelChanged({pictures(moving)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.ready(moving); }, kWaitMs));
    // Each reload taken, the window moves on; once the server fails the next one instead.
    int first = 0;
    for (const bool fail : {false, false, true, false, false, false, false}) {
        const int before = reloads();
        ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() > before; }, kWaitMs));
        EXPECT_TRUE(keeper.ready(moving)) << "at reload " << before;
        fail ? publish(first, 503) : publish(++first);
    }
    // The segment held is renewed only once the server no longer lists it.
    int segments = 0;
    for (int n = 0; n < 2 * kSegments; ++n)
        segments += asked(n);
    EXPECT_EQ(segments, 2) << "against " << reloads() << " playlists";
    EXPECT_EQ(asked(3) + asked(7), 2);

    player::MpvPlayer player({false, "null"});
    QSignalSpy failures(&player, &player::MpvPlayer::playbackFailed);
    ASSERT_TRUE(handedOverPlays(keeper, player, moving)) << player.path();
    // From the segment held on, the rest from the server as it lists them now.
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked(10) == 1; }, kWaitMs));
    EXPECT_EQ(asked(7), 1) << "the segment held came from memory";
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(WarmHlsTest, VideoTooHoldsTheLiveWindowAndTheEngineFindsItAllInMemory) {
    on.videoToo = true;
    NeighbourKeeper keeper(player::kEngineUserAgent);
    keeper.setConditions(on);
    const std::string live = server.url("/live/index.m3u8");
    keeper.channelChanged({pictures(live)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.ready(live); }, kWaitMs));
    EXPECT_EQ(segmentRequests(), (std::vector<int>{0, 0, 0, 1, 1, 1}));

    player::MpvPlayer player({false, "null"});
    ASSERT_TRUE(handedOverPlays(keeper, player, live)) << player.path();
    ASSERT_NE(keeper.handedOverPictures(), nullptr);
    const HlsRelay* relay = keeper.handedOverPictures()->relay();
    // The engine reads the whole window, and more only once the playlist says there is more.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return server.requestCount("/live/index.m3u8") > 1; }, kWaitMs));
    EXPECT_EQ(segmentRequests(), (std::vector<int>{0, 0, 0, 1, 1, 1}));
    EXPECT_GE(relay->answeredFromMemory(), 4) << "the playlist and three segments";

    // Turned off, the relay still serves the engine; played elsewhere, it is let go with
    // everything it had open.
    keeper.setConditions({});
    EXPECT_NE(keeper.handedOverPictures(), nullptr);
    player.play(server.url("/low/index.m3u8"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return keeper.handedOverPictures() == nullptr; }, kWaitMs));
}

TEST_F(WarmHlsTest, OffOrFailingNothingIsReadyAndNothingStaysOpen) {
    NeighbourKeeper keeper(player::kEngineUserAgent);
    const std::string live = server.url("/live/index.m3u8");
    keeper.channelChanged({pictures(live)});
    EXPECT_EQ(keeper.prepared(), 0) << "off: not a single connection";

    // Missing, a radio stream rather than a playlist, a port nobody listens on; then a playlist
    // whose segment is missing, and one too big to hand over.
    server.endless("/radio", "\xFF\xFB\x90\x64", "audio/mpeg");
    server.serve("/broken/index.m3u8", "#EXTM3U\n#EXTINF:1,\ngone.ts\n");
    QSignalSpy readiness(&keeper, &NeighbourKeeper::becameReady);
    keeper.setConditions(on);
    keeper.channelChanged({pictures(server.url("/missing.m3u8")), pictures(server.url("/radio")),
                           pictures(testkit::closedPortUrl())});
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.prepared() == 0; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitMs))
        << "an endless answer is not read on";
    keeper.channelChanged(
        {pictures(server.url("/broken/index.m3u8")), pictures(server.url("/huge/index.m3u8"))});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return server.requestCount("/broken/gone.ts") == 1; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.prepared() == 0; }, kWaitMs));
    EXPECT_EQ(server.requestCount("/huge/a.ts"), 0) << "a playlist the relay could not serve";
    EXPECT_EQ(keeper.route(server.url("/broken/index.m3u8")), server.url("/broken/index.m3u8"));
    EXPECT_TRUE(readiness.isEmpty());

    // Ready, then turned off: let go, nothing left open.
    keeper.channelChanged({pictures(live)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return keeper.ready(live); }, kWaitMs));
    keeper.setConditions({});
    EXPECT_EQ(keeper.prepared(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitMs));
}

}  // namespace
}  // namespace qova::neighbours
