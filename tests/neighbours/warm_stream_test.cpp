// A station kept ready, against a station of this test's own whose sound is numbered block by
// block: what is held is the latest, dropped a whole ICY block at a time, and the title the
// station gave only at first reaches whoever takes the stream over.
#include "neighbours/warm_stream.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace qova::neighbours {
namespace {

constexpr int kWaitMs = 10000;
constexpr int kMetaint = 1000;
constexpr int kBlocks = 300;
const QByteArray kTitle = "StreamTitle='First';";

/// Answers every listener with this head and, for a sound stream, kBlocks numbered blocks, the
/// title in the first alone; then holds the connection open, as a live station does.
class Station {
  public:
    explicit Station(QByteArray type) : type_(std::move(type)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server_.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + type_ +
                              "\r\nicy-metaint: " + QByteArray::number(kMetaint) + "\r\n\r\n");
                QByteArray title = kTitle;
                title.append(QByteArray((16 - title.size() % 16) % 16, '\0'));
                for (int i = 0; i < kBlocks; ++i) {
                    socket->write(QByteArray(kMetaint, static_cast<char>(i % 256)));
                    socket->write(i == 0
                                      ? QByteArray(1, static_cast<char>(title.size() / 16)) + title
                                      : QByteArray(1, '\0'));
                }
            });
        });
    }
    std::string url() const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/live";
    }

  private:
    QByteArray type_;
    QTcpServer server_;
};

TEST(WarmStream, HandsOverTheLatestSoundWithTheTitleItWasGivenFirst) {
    Station station("audio/mpeg");
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

    const QUrl url(QString::fromStdString(local));
    QTcpSocket engine;
    engine.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url.port()));
    ASSERT_TRUE(engine.waitForConnected(kWaitMs));
    engine.write("GET " + url.path().toUtf8() + " HTTP/1.1\r\nIcy-MetaData: 1\r\n\r\n");
    QByteArray got;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            got += engine.readAll();
            return got.size() >= WarmStream::kHeldBytes - 2 * (kMetaint + 1);
        },
        kWaitMs));
    const qsizetype body = got.indexOf("\r\n\r\n") + 4;
    ASSERT_GT(body, 4);
    EXPECT_TRUE(got.left(body).contains("icy-metaint: 1000"));
    // A whole block first: the sound of a late one, the first block's title in its metadata.
    const auto first = static_cast<unsigned char>(got[body]);
    EXPECT_GT(first, 100) << "the oldest sound was dropped";
    EXPECT_EQ(got.mid(body, kMetaint), QByteArray(kMetaint, static_cast<char>(first)));
    EXPECT_TRUE(got.mid(body + kMetaint + 1, kTitle.size()) == kTitle);
    // The next block follows whole, its own metadata empty.
    EXPECT_EQ(static_cast<unsigned char>(got[body + kMetaint + 1 + 32]), (first + 1) % 256);
    EXPECT_LE(got.size() - body, WarmStream::kHeldBytes) << "what is held is bounded";
    EXPECT_TRUE(ended.isEmpty());
    engine.disconnectFromHost();
    EXPECT_TRUE(ended.wait(kWaitMs)) << "let go with the engine";
}

TEST(WarmStream, WhatNoDecoderJoinsHalfwayIsNeverReady) {
    for (const char* type : {"application/ogg", "text/html"}) {
        Station station(type);
        WarmStream stream(station.url(), "libmpv");
        QSignalSpy ended(&stream, &WarmStream::ended);
        EXPECT_TRUE(ended.wait(kWaitMs)) << type;
        EXPECT_FALSE(stream.ready());
        EXPECT_TRUE(stream.handOver().empty());
    }
    WarmStream refused("http://127.0.0.1:9/", "libmpv");
    QSignalSpy ended(&refused, &WarmStream::ended);
    EXPECT_TRUE(ended.wait(kWaitMs));
    EXPECT_FALSE(WarmStream::keepable("https://example.org/"));
    EXPECT_FALSE(WarmStream::keepable("http://user:pw@example.org/"));
}

}  // namespace
}  // namespace qova::neighbours
