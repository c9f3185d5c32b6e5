#include "testkit/test_media.h"

#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <stdexcept>

namespace qova::testkit {
namespace {

constexpr int kMetaInterval = 4096;
constexpr qint64 kMaxRequestHead = 64 * 1024;

std::string runFfmpeg(QStringList arguments) {
    arguments = QStringList{"-nostdin", "-hide_banner", "-loglevel", "error", "-y"} + arguments;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("/usr/bin/ffmpeg"), arguments);
    const bool done = ffmpeg.waitForFinished(20000);
    if (!done)
        ffmpeg.kill();
    if (!done || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return "ffmpeg failed: " + ffmpeg.readAllStandardError().toStdString();
    return {};
}

}  // namespace

const TestMedia& TestMedia::get() {
    static const TestMedia media;
    return media;
}

TestMedia::TestMedia() {
    error_ =
        runFfmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x180:rate=25:duration=1", "-f", "lavfi",
                   "-i", "sine=frequency=440:duration=1", "-c:v", "libx264", "-preset", "ultrafast",
                   "-c:a", "aac", "-movflags", "+faststart", QString::fromStdString(clip())});
    error_ += runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "libmp3lame",
                         QString::fromStdString(tone())});
}

const HlsSegments& HlsSegments::get() {
    static const HlsSegments segments;
    return segments;
}

HlsSegments::HlsSegments() {
    error_ = runFfmpeg({"-f",
                        "lavfi",
                        "-i",
                        "testsrc2=size=320x180:rate=25:duration=6",
                        "-f",
                        "lavfi",
                        "-i",
                        "sine=frequency=440:duration=6",
                        "-c:v",
                        "libx264",
                        "-preset",
                        "ultrafast",
                        "-g",
                        "25",
                        "-c:a",
                        "aac",
                        "-f",
                        "hls",
                        "-hls_time",
                        "1",
                        "-hls_list_size",
                        "0",
                        "-hls_segment_filename",
                        QString::fromStdString(folder_.file("seg%d.ts")),
                        QString::fromStdString(folder_.file("index.m3u8"))});
}

std::string HlsSegments::segment(int index) const {
    return folder_.read("seg" + std::to_string(index) + ".ts").value_or("");
}

IcyStation::IcyStation(QByteArray audio, QByteArray title)
    : audio_(std::move(audio)), title_(std::move(title)) {
    if (!server_.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot listen on 127.0.0.1");
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { answer(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

std::string IcyStation::url() const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/stream";
}

void IcyStation::answer(QTcpSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    if (!socket->peek(kMaxRequestHead).contains("\r\n\r\n")) {
        if (socket->bytesAvailable() >= kMaxRequestHead)
            socket->abort();
        return;
    }
    socket->setProperty("answered", true);
    socket->write(
        "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Loopback FM\r\nicy-metaint: " +
        QByteArray::number(kMetaInterval) + "\r\n\r\n");
    QByteArray block = "StreamTitle='" + title_ + "';";
    block.append(QByteArray((16 - block.size() % 16) % 16, '\0'));
    for (qsizetype at = 0; at < audio_.size(); at += kMetaInterval) {
        const QByteArray chunk = audio_.mid(at, kMetaInterval);
        socket->write(chunk);
        if (chunk.size() == kMetaInterval)
            socket->write(QByteArray(1, static_cast<char>(block.size() / 16)) + block);
    }
    socket->disconnectFromHost();
}

}  // namespace qova::testkit
