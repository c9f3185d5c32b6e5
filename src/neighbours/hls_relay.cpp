#include "neighbours/hls_relay.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include "platform/text.h"

namespace qova::neighbours {
namespace {

// A server that sends nothing for this long is not waited for; an engine connection that asks
// for nothing, or takes nothing, for this long is closed.
constexpr int kSilenceLimitMs = 15000;
// What is read from the server ahead of an engine that does not take it.
constexpr qint64 kAheadBytes = 256 * 1024;
const QByteArray kPlaylistType = QByteArrayLiteral("application/vnd.apple.mpegurl");

QByteArray headerValue(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

/// A request for the server as the engine would make it.
QNetworkRequest serverRequest(const QUrl& url, const QByteArray& userAgent) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(kSilenceLimitMs);
    return request;
}

QByteArray statusHead(int status, const QByteArray& contentType, qint64 length,
                      const QByteArray& range = {}) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + (status < 300 ? " OK" : " Error");
    if (!contentType.isEmpty())
        head += "\r\nContent-Type: " + contentType;
    if (length >= 0)
        head += "\r\nContent-Length: " + QByteArray::number(length);
    if (!range.isEmpty())
        head += "\r\nContent-Range: " + range;
    return head + "\r\nConnection: close\r\n\r\n";
}

/// A playlist served, or 502 when it cannot be.
void writePlaylist(QTcpSocket* socket, const std::optional<QByteArray>& body) {
    if (!body)
        return static_cast<void>(socket->write(statusHead(502, {}, 0)));
    socket->write(statusHead(200, kPlaylistType, body->size()));
    socket->write(*body);
}

/// The last part of an address's path, kept at the end of the relay's address so that what the
/// engine reads of a name (its extension) stays as it was.
QByteArray lastName(const QUrl& url) {
    QByteArray name = url.fileName(QUrl::FullyEncoded).toUtf8().right(64);
    for (char& c : name) {
        if (!platform::isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '-' &&
            c != '_')
            c = '_';
    }
    return name.isEmpty() ? QByteArray("_") : name;
}

}  // namespace

QNetworkReply* fetchWhole(QNetworkAccessManager& network, const QUrl& url,
                          const QByteArray& userAgent, qsizetype limit, bool playlist,
                          QObject* context, std::function<void(std::optional<Fetched>)> done) {
    QNetworkReply* reply = network.get(serverRequest(url, userAgent));
    reply->setParent(context);
    auto body = std::make_shared<QByteArray>();
    auto refused = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::readyRead, context, [=] {
        if (*refused)
            return;
        *body += reply->readAll();
        *refused = body->size() > limit ||
                   (playlist && !looksLikeHlsPlaylist(std::string_view(
                                    body->constData(), static_cast<std::size_t>(body->size()))));
        // Not from within its own signal, which the reply is still sending.
        if (*refused)
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    });
    QObject::connect(
        reply, &QNetworkReply::finished, context, [reply, body, refused, done = std::move(done)] {
            reply->deleteLater();
            if (*refused || reply->error() != QNetworkReply::NoError ||
                reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
                return done(std::nullopt);
            *body += reply->readAll();
            done(Fetched{*body, reply->rawHeader("Content-Type"), reply->url()});
        });
    return reply;
}

HlsRelay::HlsRelay(QNetworkAccessManager& network, QByteArray userAgent, QObject* parent)
    : QObject(parent), network_(network), userAgent_(std::move(userAgent)) {
    secret_ = QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                  .rightJustified(kSecretLength, '0');
    connect(&server_, &QTcpServer::newConnection, this, &HlsRelay::accept);
}

HlsRelay::~HlsRelay() {
    // Nothing of a connection may call back while it goes: each is silenced, then stopped, its
    // reply from the server first, before the sockets would go with the QObject.
    for (QTcpSocket* socket : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly)) {
        socket->disconnect();
        for (QNetworkReply* reply : socket->findChildren<QNetworkReply*>()) {
            reply->disconnect();
            reply->abort();
            delete reply;
        }
        socket->abort();
        delete socket;
    }
}

bool HlsRelay::listen() {
    return server_.listen(QHostAddress::LocalHost, 0);
}

std::string HlsRelay::localAddress(const std::string& address, HlsReference kind) const {
    return relayAddress(server_.serverPort(), secret_, address, kind);
}

std::string HlsRelay::relayAddress(quint16 port, const QByteArray& secret,
                                   const std::string& address, HlsReference kind) {
    const QUrl url(QString::fromStdString(address));
    const QByteArray encoded = QByteArray::fromStdString(address).toBase64(
        QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return "http://127.0.0.1:" + std::to_string(port) + "/" + secret.toStdString() +
           (kind == HlsReference::Playlist ? "/p/" : "/m/") + encoded.toStdString() + "/" +
           lastName(url).toStdString();
}

void HlsRelay::hold(const std::string& address, Fetched answer, HlsReference kind) {
    held_[address] = Held{std::move(answer), kind};
}

std::optional<QByteArray> HlsRelay::served(const Fetched& playlist, quint16 port,
                                           const QByteArray& secret) {
    const auto rewritten = rewrittenPlaylist(
        std::string_view(playlist.body.constData(), static_cast<std::size_t>(playlist.body.size())),
        playlist.url.toString(QUrl::FullyEncoded).toStdString(),
        [&](const std::string& to, HlsReference as) { return relayAddress(port, secret, to, as); });
    if (!rewritten)
        return std::nullopt;
    return QByteArray::fromStdString(*rewritten);
}

bool HlsRelay::servable(const Fetched& playlist) {
    // The longest port and secret any relay has.
    return served(playlist, 65535, QByteArray(kSecretLength, 'f')).has_value();
}

void HlsRelay::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        if (open_ >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        auto* silence = new QTimer(socket);
        silence->setSingleShot(true);
        silence->start(kSilenceLimitMs);
        connect(silence, &QTimer::timeout, socket, &QTcpSocket::abort);
        auto head = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, head] {
            if (head->endsWith("\r\n\r\n"))
                return static_cast<void>(socket->readAll());
            *head += socket->read(kRequestLimit + 1 - head->size());
            if (const qsizetype end = head->indexOf("\r\n\r\n"); end >= 0) {
                head->truncate(end + 4);
                answer(socket, *head);
            } else if (head->size() > kRequestLimit) {
                socket->abort();
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, silence, [silence] { silence->start(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --open_;
            socket->deleteLater();
        });
    }
}

void HlsRelay::answer(QTcpSocket* socket, const QByteArray& head) {
    ++requests_;
    emit asked();
    // GET /<secret>/<p|m>/<the server's address, base64url>/<its last name> HTTP/1.1
    const QList<QByteArray> request = head.left(head.indexOf("\r\n")).split(' ');
    const QList<QByteArray> parts =
        request.size() == 3 ? request[1].split('/') : QList<QByteArray>();
    if (request.value(0) != "GET" || parts.size() != 5 || parts[1] != secret_ ||
        (parts[2] != "p" && parts[2] != "m")) {
        socket->write(statusHead(404, {}, 0));
        return socket->disconnectFromHost();
    }
    const auto decoded = QByteArray::fromBase64Encoding(
        parts[3], QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    const std::string address = decoded.decoded.toStdString();
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    if (!decoded || !url.isValid() || url.scheme() != QLatin1String("http")) {
        socket->write(statusHead(404, {}, 0));
        return socket->disconnectFromHost();
    }
    const HlsReference kind = parts[2] == "p" ? HlsReference::Playlist : HlsReference::Media;
    const QByteArray range = headerValue(head, "range");
    if (kind == HlsReference::Media) {
        // The engine has read its playlists (some twice, as it looks before it opens) and begun
        // on the media: what it asks of a playlist from now on is a reload, as new as the
        // server has it.
        std::erase_if(held_,
                      [](const auto& held) { return held.second.kind == HlsReference::Playlist; });
    }
    const auto held = held_.find(address);
    if (held == held_.end() || !(range.isEmpty() || range == "bytes=0-"))
        return passOn(socket, url, kind, head);
    ++fromMemory_;
    if (held->second.kind == HlsReference::Playlist) {
        writePlaylist(socket, served(held->second.answer, server_.serverPort(), secret_));
    } else {
        // Once: a segment asked for again is fetched as the engine would.
        const Fetched answer = std::move(held->second.answer);
        held_.erase(held);
        socket->write(statusHead(200, answer.contentType, answer.body.size()));
        socket->write(answer.body);
    }
    socket->disconnectFromHost();
}

void HlsRelay::passOn(QTcpSocket* socket, const QUrl& url, HlsReference kind,
                      const QByteArray& head) {
    QByteArray agent = headerValue(head, "user-agent");
    if (agent.isEmpty())
        agent = userAgent_;
    if (kind == HlsReference::Playlist) {
        QPointer<QTcpSocket> engine(socket);
        fetchWhole(network_, url, agent, static_cast<qsizetype>(kMaxPlaylistBytes), true, socket,
                   [this, engine](std::optional<Fetched> fetched) {
                       if (!engine)
                           return;
                       writePlaylist(engine, fetched
                                                 ? served(*fetched, server_.serverPort(), secret_)
                                                 : std::nullopt);
                       engine->disconnectFromHost();
                   });
        return;
    }
    QNetworkRequest request = serverRequest(url, agent);
    if (const QByteArray range = headerValue(head, "range"); !range.isEmpty())
        request.setRawHeader("Range", range);
    QNetworkReply* reply = network_.get(request);
    reply->setParent(socket);
    reply->setReadBufferSize(kAheadBytes);
    auto headSent = std::make_shared<bool>(false);
    const auto sendHead = [reply, socket, headSent] {
        if (std::exchange(*headSent, true))
            return;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            socket->write(statusHead(502, {}, 0));
            return;
        }
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        socket->write(statusHead(status.toInt(), reply->rawHeader("Content-Type"),
                                 length.isValid() ? length.toLongLong() : -1,
                                 reply->rawHeader("Content-Range")));
    };
    const auto pump = [reply, socket, sendHead] {
        if (!reply->isOpen())
            return socket->disconnectFromHost();
        if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() &&
            !reply->isFinished())
            return;
        sendHead();
        while (socket->bytesToWrite() < kAheadBytes && reply->bytesAvailable() > 0)
            socket->write(reply->read(kAheadBytes));
        if (reply->isFinished() && reply->bytesAvailable() == 0)
            socket->disconnectFromHost();
    };
    connect(reply, &QNetworkReply::metaDataChanged, socket, pump);
    connect(reply, &QNetworkReply::readyRead, socket, pump);
    connect(reply, &QNetworkReply::finished, socket, pump);
    connect(socket, &QTcpSocket::bytesWritten, reply, pump);
    connect(socket, &QTcpSocket::disconnected, reply, &QNetworkReply::abort);
}

}  // namespace qova::neighbours
