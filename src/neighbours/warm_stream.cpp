#include "neighbours/warm_stream.h"

#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>

#include "neighbours/ogg_pages.h"
#include "platform/stream_address.h"
#include "stream/station_answer.h"
#include "stream/station_target.h"
#include "stream/stream_relay.h"

namespace qova::neighbours {
namespace {

// A station that has not answered by then is not waited for.
constexpr int kAnswerLimitMs = 10000;

QByteArray mediaType(QByteArray type) {
    type = type.trimmed().toLower();
    if (const qsizetype semicolon = type.indexOf(';'); semicolon >= 0)
        type = type.left(semicolon).trimmed();
    return type;
}

bool soundAnyDecoderJoins(const QByteArray& type) {
    return type == "audio/mpeg" || type == "audio/mp3" || type == "audio/x-mpeg" ||
           type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac";
}

// Whatever the type says, the first page decides: OggPages takes nothing else.
bool oggSound(const QByteArray& type) {
    return type == "application/ogg" || type == "audio/ogg" || type == "audio/x-ogg" ||
           type == "audio/opus" || type == "audio/vorbis";
}

}  // namespace

bool WarmStream::keepable(const std::string& line, bool https) {
    const platform::StreamAddress split = platform::splitHeaders(line);
    const auto target = stream::stationTarget(split.address);
    // Cookies go only to the host they name (see MpvPlayer::relaying), not to a loopback address.
    const bool cookies = std::any_of(split.headers.begin(), split.headers.end(),
                                     [](const auto& header) { return header.first == "Cookie"; });
    return target && (https || !target->tls) && !cookies &&
           stream::StreamRelay::relays(split.address);
}

WarmStream::WarmStream(const std::string& line, const std::string& userAgent, QObject* parent)
    : QObject(parent) {
    const platform::StreamAddress split = platform::splitHeaders(line);
    const auto target = stream::stationTarget(split.address);
    if (!target || !keepable(line)) {
        QMetaObject::invokeMethod(this, &WarmStream::end, Qt::QueuedConnection);
        return;
    }
    // As the engine asks: the station answers a ready channel as it answers the player, the
    // line's own headers included.
    QByteArray agent = QByteArray::fromStdString(userAgent);
    QByteArray others;
    for (const auto& [name, value] : split.headers) {
        if (name == "User-Agent")
            agent = QByteArray::fromStdString(value);
        else
            others += QByteArray::fromStdString(name + ": " + value + "\r\n");
    }
    request_ = "GET " + target->pathAndQuery + " HTTP/1.0\r\nHost: " + target->authority +
               "\r\nUser-Agent: " + agent + "\r\nAccept: */*\r\n" + others +
               "Icy-MetaData: 1\r\nConnection: close\r\n\r\n";
    stream::whenStationReady(&station_, target->tls, this, [this] { station_.write(request_); });
    connect(&station_, &QTcpSocket::readyRead, this, &WarmStream::readStation);
    connect(&station_, &QTcpSocket::disconnected, this, &WarmStream::end);
    connect(&station_, &QTcpSocket::errorOccurred, this, [this] {
        if (station_.error() != QAbstractSocket::RemoteHostClosedError)
            end();
    });
    QTimer::singleShot(kAnswerLimitMs, this, [this] {
        if (!headRead_)
            end();
    });
    stream::connectToStation(&station_, *target);
}

WarmStream::~WarmStream() {
    station_.disconnect(this);
    station_.abort();
    if (engine_)
        engine_->abort();
}

void WarmStream::readStation() {
    QByteArray bytes = station_.readAll();
    received_ += bytes.size();
    if (served_) {
        if (engine_)
            engine_->write(bytes);
        return;
    }
    if (!headRead_) {
        head_ += bytes;
        if (!readHead())
            return;
        bytes = std::exchange(head_, QByteArray());
        const qsizetype end = bytes.indexOf("\r\n\r\n") + 4;
        head_ = bytes.left(end);
        bytes = bytes.mid(end);
    }
    hold(bytes);
    if (!ready_ && !ended_ && soundHeld() >= kReadyBytes) {
        ready_ = true;
        emit becameReady();
    }
}

bool WarmStream::readHead() {
    const qsizetype end = head_.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head_.size() > kHeadLimit)
            this->end();
        return false;
    }
    // Read as the relay reads it: a junk or oversized metaint, or a chunked body, is no answer.
    const stream::StationAnswer answer =
        stream::readStationAnswer(std::string_view(head_.constData(), end));
    const QByteArray type = mediaType(QByteArray::fromStdString(answer.contentType));
    // Blocks longer than all that is held could not be dropped whole; metadata amid Ogg pages
    // would have to be taken out of them and put back.
    const bool ogg = oggSound(type);
    if (!answer.taped || !(ogg || soundAnyDecoderJoins(type)) ||
        answer.metaint > std::size_t{kHeldBytes} || (ogg && answer.metaint > 0)) {
        this->end();
        return false;
    }
    headRead_ = true;
    metaint_ = static_cast<qsizetype>(answer.metaint);
    audioLeft_ = metaint_;
    if (ogg)
        ogg_ = std::make_unique<OggPages>(kHeldBytes);
    return true;
}

void WarmStream::hold(const QByteArray& bytes) {
    if (ogg_) {
        if (!ogg_->feed(bytes.constData(), bytes.size()))
            end();
        return;
    }
    if (metaint_ == 0) {
        if (!bytes.isEmpty()) {
            blocks_.push_back(bytes);
            held_ += bytes.size();
        }
        dropOld();
        return;
    }
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (!inMeta_) {
            const qsizetype take = std::min(audioLeft_, bytes.size() - at);
            partial_.append(bytes.mid(at, take));
            at += take;
            audioLeft_ -= take;
            inMeta_ = audioLeft_ == 0;
            metaLeft_ = -1;
            continue;
        }
        if (metaLeft_ < 0) {
            const auto length = static_cast<unsigned char>(bytes[at++]);
            partial_.append(static_cast<char>(length));
            metaLeft_ = qsizetype{length} * 16;
        } else {
            const qsizetype take = std::min(metaLeft_, bytes.size() - at);
            partial_.append(bytes.mid(at, take));
            at += take;
            metaLeft_ -= take;
        }
        if (metaLeft_ == 0) {
            held_ += partial_.size();
            blocks_.push_back(std::exchange(partial_, QByteArray()));
            inMeta_ = false;
            audioLeft_ = metaint_;
        }
    }
    dropOld();
}

qsizetype WarmStream::soundHeld() const {
    return ogg_ ? ogg_->sound() : held_ + partial_.size();
}

qsizetype WarmStream::held() const {
    return ogg_ ? ogg_->held() : held_ + partial_.size();
}

void WarmStream::dropOld() {
    while (held_ > kHeldBytes && blocks_.size() > 1) {
        const QByteArray& oldest = blocks_.front();
        if (metaint_ > 0 && oldest.size() > metaint_ && oldest[metaint_] != 0)
            lastTitle_ = oldest.mid(metaint_);
        held_ -= oldest.size();
        blocks_.pop_front();
    }
}

std::string WarmStream::handOver() {
    if (!ready() || ended_)
        return {};
    const QByteArray token = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    if (!local_.listen(QHostAddress::LocalHost, 0))
        return {};
    handedOver_ = true;
    // An engine that never comes (it failed before it connected) leaves no station connected.
    QTimer::singleShot(kAnswerLimitMs, this, [this] {
        if (!served_)
            end();
    });
    const QByteArray path = "/ready/" + token;
    connect(&local_, &QTcpServer::newConnection, this, [this, path] {
        while (QTcpSocket* socket = local_.nextPendingConnection()) {
            if (engine_) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            socket->setParent(this);
            engine_ = socket;
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request, path] {
                if (request->endsWith("\r\n\r\n") || !engine_)
                    return;
                *request += socket->readAll();
                if (request->size() > kHeadLimit ||
                    (request->size() > 4 && !request->startsWith("GET " + path)))
                    return end();
                if (request->contains("\r\n\r\n")) {
                    request->resize(request->indexOf("\r\n\r\n") + 4);
                    serveEngine();
                }
            });
            connect(socket, &QTcpSocket::disconnected, this, &WarmStream::end);
        }
    });
    return "http://127.0.0.1:" + std::to_string(local_.serverPort()) + path.toStdString();
}

void WarmStream::serveEngine() {
    local_.close();
    engine_->write(head_);
    if (ogg_)
        engine_->write(ogg_->takeAll());
    // The first block carries the title the engine would otherwise wait for until it changes.
    bool first = true;
    for (QByteArray& block : blocks_) {
        if (first && metaint_ > 0 && !lastTitle_.isEmpty() && block.size() == metaint_ + 1 &&
            block[metaint_] == 0)
            block = block.left(metaint_) + lastTitle_;
        first = false;
        engine_->write(block);
    }
    engine_->write(partial_);
    blocks_.clear();
    partial_.clear();
    held_ = 0;
    served_ = true;
    // From now on what the station sends goes straight on.
    readStation();
}

void WarmStream::end() {
    if (std::exchange(ended_, true))
        return;
    station_.abort();
    if (engine_)
        engine_->disconnectFromHost();
    emit ended();
}

}  // namespace qova::neighbours
