// A station kept ready, against stations of this test's own: what is held is the latest, dropped
// a whole ICY block or Ogg page at a time; the title the station gave only at first reaches
// whoever takes the stream over; an Ogg stream handed over plays in the real engine; an https
// station is met over TLS and asked with the headers its channel's line gives.
#include "neighbours/warm_stream.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "platform/stream_address.h"
#include "player/mpv_player.h"
#include "stream/relay_test_support.h"
#include "testkit/streams/numbered_station.h"
#include "testkit/streams/tls_front.h"
#include "testkit/temp_folder.h"
#include "testkit/test_media.h"

namespace qova::neighbours {
namespace {

using stream::test::EngineStandIn;
using testkit::streams::NumberedStation;

constexpr int kWaitMs = 10000;
constexpr int kMetaint = 1000;
constexpr int kBlocks = 300;
const QByteArray kTitle = "StreamTitle='First';";

/// Answers every listener with a head of this type and the body at once, then holds the
/// connection open, as a live station does.
class Station {
  public:
    Station(QByteArray head, QByteArray body) : head_(std::move(head)), body_(std::move(body)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server_.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (socket->readAll().contains("\r\n\r\n"))
                    socket->write("HTTP/1.0 200 OK\r\n" + head_ + "\r\n" + body_);
            });
        });
    }
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/live";
    }

  private:
    QByteArray head_;
    QByteArray body_;
    QTcpServer server_;
};

/// kBlocks blocks of sound, each of one numbered byte, the title in the first alone.
Station numberedStation(const QByteArray& type, const QByteArray& metaint = "1000",
                        const QByteArray& more = {}) {
    QByteArray title = kTitle;
    title.append(QByteArray((16 - title.size() % 16) % 16, '\0'));
    QByteArray body;
    for (int i = 0; i < kBlocks; ++i) {
        body += QByteArray(kMetaint, static_cast<char>(i % 256));
        body += i == 0 ? QByteArray(1, static_cast<char>(title.size() / 16)) + title
                       : QByteArray(1, '\0');
    }
    return Station("Content-Type: " + type + "\r\nicy-metaint: " + metaint + "\r\n" + more, body);
}

TEST(WarmStream, HandsOverTheLatestSoundWithTheTitleItWasGivenFirst) {
    // A body sent as it is, which is no chunked body.
    const Station station =
        numberedStation("audio/mpeg", "1000", "Transfer-Encoding: identity\r\n");
    WarmStream stream(station.url(), "libmpv");
    QSignalSpy ended(&stream, &WarmStream::ended);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream.ready(); }, kWaitMs));
    // Until all the station sent has come, and the oldest is dropped.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return stream.received() >= qint64{kBlocks} * kMetaint; }, kWaitMs));
    EXPECT_LE(stream.held(), WarmStream::kHeldBytes);
    const std::string local = stream.handOver();
    ASSERT_EQ(local.rfind("http://127.0.0.1:", 0), 0u) << local;
    EXPECT_TRUE(stream.handOver().empty()) << "once only";

    std::optional<EngineStandIn> engine(std::in_place, local);
    const QByteArray got =
        QByteArray::fromStdString(engine->body(WarmStream::kHeldBytes - 2 * (kMetaint + 1)));
    EXPECT_TRUE(QByteArray::fromStdString(engine->received()).contains("icy-metaint: 1000"));
    // A whole block first: the sound of a late one, the first block's title in its metadata.
    ASSERT_GT(got.size(), kMetaint + 64);
    const auto first = static_cast<unsigned char>(got[0]);
    EXPECT_GT(first, 100) << "the oldest sound was dropped";
    EXPECT_EQ(got.left(kMetaint), QByteArray(kMetaint, static_cast<char>(first)));
    EXPECT_TRUE(got.mid(kMetaint + 1, kTitle.size()) == kTitle);
    // The next block follows whole, its own metadata empty.
    EXPECT_EQ(static_cast<unsigned char>(got[kMetaint + 1 + 32]), (first + 1) % 256);
    EXPECT_LE(got.size(), WarmStream::kHeldBytes) << "what is held is bounded";
    EXPECT_TRUE(ended.isEmpty());
    engine.reset();
    EXPECT_TRUE(ended.wait(kWaitMs)) << "let go with the engine";
}

TEST(WarmStream, OggVorbisOpusAndFlacPlayInTheEngineFromTheirLatestPages) {
    const testkit::TempFolder folder;
    // Each after the last, as one chained stream: what is handed over is of the last chain.
    QByteArray chained;
    // Noise takes an encoder's whole rate, a tone a lossless one's fair share: forty seconds are
    // several times what is held.
    const std::pair<const char*, const char*> encodings[] = {{"libvorbis", "anoisesrc=d=40:a=0.1"},
                                                             {"libopus", "anoisesrc=d=40:a=0.1"},
                                                             {"flac", "sine=d=40"}};
    for (const auto& [codec, input] : encodings) {
        const std::string name = std::string(codec) + ".ogg";
        ASSERT_EQ(testkit::runFfmpeg({"-f", "lavfi", "-i", input, "-ac", "2", "-c:a", codec, "-b:a",
                                      "96k", QString::fromStdString(folder.file(name))}),
                  "");
        const QByteArray ogg = QByteArray::fromStdString(folder.read(name).value_or(""));
        ASSERT_GT(ogg.size(), 3 * WarmStream::kHeldBytes);
        chained += ogg;
        const Station station("Content-Type: audio/ogg\r\n", chained);
        WarmStream stream(station.url(), "libmpv");
        ASSERT_TRUE(QTest::qWaitFor([&] { return stream.received() > chained.size(); }, kWaitMs));
        ASSERT_TRUE(stream.ready()) << codec;
        EXPECT_LT(stream.held(), 2 * WarmStream::kHeldBytes) << "headers and the latest pages";

        player::MpvPlayer player({false, "null"});
        QSignalSpy failures(&player, &player::MpvPlayer::playbackFailed);
        player.play(stream.handOver());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return player.state() == player::MpvPlayer::State::Playing; }, kWaitMs))
            << codec;
        const double start = player.position();
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.position() > start + 1; }, kWaitMs))
            << codec << " plays on";
        EXPECT_TRUE(failures.isEmpty()) << codec;
    }
}

TEST(WarmStream, AnHttpsStationIsMetOverTlsWithTheHeadersOfItsLine) {
    NumberedStation::Options options;
    options.framesPerSecond = 383;
    options.burstFrames = 100;
    NumberedStation station(options);
    testkit::streams::TlsFront front(station.port());
    const std::string line = platform::addressWithHeaders(front.url("/numbered.mp3"),
                                                          {{"User-Agent", "Test Radio/1.0"},
                                                           {"Referer", "https://example.org/radio"},
                                                           {"Origin", "https://example.org"}});
    ASSERT_TRUE(WarmStream::keepable(line));
    WarmStream stream(line, "libmpv");
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream.ready(); }, kWaitMs));
    EXPECT_EQ(front.handshakes(), 1);
    const std::vector<std::string> requests = station.requests();
    ASSERT_EQ(requests.size(), 1u);
    for (const char* header : {"GET /numbered.mp3 ", "User-Agent: Test Radio/1.0\r\n",
                               "Referer: https://example.org/radio\r\n",
                               "Origin: https://example.org\r\n", "Icy-MetaData: 1\r\n"})
        EXPECT_NE(requests[0].find(header), std::string::npos) << requests[0];
    EXPECT_EQ(requests[0].find("libmpv"), std::string::npos) << "the line's own agent alone";

    // Plain on loopback, the station's frames in order.
    EngineStandIn engine(stream.handOver());
    const std::string audio = stream::test::withoutMetadata(
        engine.body(200 * NumberedStation::kFrameBytes), options.metaint);
    const std::vector<std::uint64_t> frames = NumberedStation::framesIn(audio);
    ASSERT_GT(frames.size(), 150u);
    for (std::size_t i = 1; i < frames.size(); ++i)
        ASSERT_EQ(frames[i], frames[i - 1] + 1);
}

TEST(WarmStream, WhatNoDecoderJoinsHalfwayIsNeverReady) {
    // Ogg with ICY metadata amid its pages, no sound at all, and blocks of no length one can
    // trust (read as none, the metadata would pass for sound).
    for (const auto& [type, metaint] :
         {std::pair<QByteArray, QByteArray>{"application/ogg", "1000"},
          {"text/html", "1000"},
          {"audio/mpeg", "1000x"},
          {"audio/mpeg", "99999999999999999999"}}) {
        const Station station = numberedStation(type, metaint);
        WarmStream stream(station.url(), "libmpv");
        QSignalSpy ended(&stream, &WarmStream::ended);
        EXPECT_TRUE(ended.wait(kWaitMs)) << type.constData() << " " << metaint.constData();
        EXPECT_FALSE(stream.ready());
        EXPECT_TRUE(stream.handOver().empty());
    }
    WarmStream refused("http://127.0.0.1:9/", "libmpv");
    EXPECT_TRUE(QSignalSpy(&refused, &WarmStream::ended).wait(kWaitMs));

    EXPECT_TRUE(WarmStream::keepable("https://example.org/"));
    EXPECT_FALSE(WarmStream::keepable("https://example.org/", false)) << "the engine's own TLS";
    EXPECT_FALSE(WarmStream::keepable("http://user:pw@example.org/"));
    EXPECT_FALSE(WarmStream::keepable("rtsp://example.org/live"));
    EXPECT_FALSE(WarmStream::keepable(
        platform::addressWithHeaders("http://example.org/", {{"Cookie", "id=1"}})));
}

}  // namespace
}  // namespace qova::neighbours
