#include "testkit/loopback_http_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

namespace qova::testkit {
namespace {

// A request head larger than this is not from a well-behaved client; its connection is dropped.
constexpr qsizetype kMaxRequestHead = 64 * 1024;

QByteArray toBytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

}  // namespace

QByteArray LoopbackHttpServer::head(int status, const QByteArray& contentType,
                                    qsizetype contentLength, const QByteArray& extraHeaders) const {
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                      "\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(contentLength) +
                      "\r\nConnection: " + (keepAlive_ ? "keep-alive" : "close") + "\r\n" +
                      extraHeaders + "\r\n";
    return text;
}

LoopbackHttpServer::LoopbackHttpServer() {
    if (!server_.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("cannot listen on 127.0.0.1: " +
                                 server_.errorString().toStdString());
    }
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { acceptPending(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    server_.close();
    // Cut the connections quietly, so that no handler of ours runs while the server is going.
    for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) {
        QObject::disconnect(socket, nullptr, nullptr, nullptr);
        socket->abort();
        delete socket;
    }
}

quint16 LoopbackHttpServer::port() const {
    return server_.serverPort();
}

std::string LoopbackHttpServer::url(const std::string& path) const {
    const std::string slash = (!path.empty() && path.front() == '/') ? "" : "/";
    return "http://127.0.0.1:" + std::to_string(port()) + slash + path;
}

void LoopbackHttpServer::serve(const std::string& path, const std::string& body,
                               const std::string& contentType, int status) {
    routes_[path] = Route{Answer::Serve, toBytes(body), toBytes(contentType), status, {}, 0, {}};
}

void LoopbackHttpServer::redirect(const std::string& path, const std::string& location,
                                  int status) {
    routes_[path] = Route{Answer::Redirect, {}, "text/plain", status, toBytes(location), 0, {}};
}

void LoopbackHttpServer::hang(const std::string& path) {
    routes_[path] = Route{Answer::Hang, {}, {}, 0, {}, 0, {}};
}

void LoopbackHttpServer::cutOff(const std::string& path, const std::string& body,
                                const std::string& contentType) {
    routes_[path] = Route{Answer::CutOff, toBytes(body), toBytes(contentType), 200, {}, 0, {}};
}

void LoopbackHttpServer::stall(const std::string& path, const std::string& body,
                               const std::string& contentType) {
    routes_[path] = Route{Answer::Stall, toBytes(body), toBytes(contentType), 200, {}, 0, {}};
}

void LoopbackHttpServer::endless(const std::string& path, const std::string& pattern,
                                 const std::string& contentType) {
    routes_[path] = Route{Answer::Endless, toBytes(pattern), toBytes(contentType), 200, {}, 0, {}};
}

void LoopbackHttpServer::trickle(const std::string& path, const std::string& pattern,
                                 const std::string& contentType, int bytesPerSecond,
                                 const std::string& extraHeaders) {
    routes_[path] = Route{Answer::Trickle, toBytes(pattern),     toBytes(contentType), 200, {},
                          bytesPerSecond,  toBytes(extraHeaders)};
}

void LoopbackHttpServer::startTrickle(QTcpSocket* socket, const std::string& path,
                                      const Route& route) {
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + route.contentType + "\r\n" +
                  route.extraHeaders + "\r\n");
    constexpr int kTickMs = 100;
    QByteArray chunk;
    const qsizetype chunkSize = std::max(1, route.bytesPerSecond / (1000 / kTickMs));
    while (chunk.size() < chunkSize)
        chunk += route.body.isEmpty() ? QByteArray("x") : route.body;
    chunk.truncate(chunkSize);
    // Goes with the socket; stops by itself after its limit.
    auto* ticks = new QTimer(socket);
    auto left = std::make_shared<int>(kTrickleLimitMs / kTickMs);
    QObject::connect(ticks, &QTimer::timeout, socket, [this, socket, path, chunk, left] {
        if (--*left < 0 || socket->state() != QAbstractSocket::ConnectedState) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(chunk);
        bytesSent_[path] += chunk.size();
    });
    ticks->start(kTickMs);
}

qint64 LoopbackHttpServer::bytesSent(const std::string& path) const {
    const auto found = bytesSent_.find(path);
    return found == bytesSent_.end() ? 0 : found->second;
}

void LoopbackHttpServer::sendMore(QTcpSocket* socket, const std::string& path,
                                  const QByteArray& chunk) {
    // A little ahead of what the client has taken, never more: what it does not read stays
    // unsent, and the whole stream is bounded.
    qint64& sent = bytesSent_[path];
    while (socket->state() == QAbstractSocket::ConnectedState &&
           socket->bytesToWrite() < 4 * chunk.size() && sent < kEndlessLimit) {
        socket->write(chunk);
        sent += chunk.size();
    }
    if (sent >= kEndlessLimit)
        socket->disconnectFromHost();
}

int LoopbackHttpServer::requestCount(const std::string& path) const {
    const auto found = requestCounts_.find(path);
    return found == requestCounts_.end() ? 0 : found->second;
}

std::string LoopbackHttpServer::lastRequestHead(const std::string& path) const {
    const auto found = lastHeads_.find(path);
    return found == lastHeads_.end() ? std::string() : found->second;
}

int LoopbackHttpServer::openConnections() const {
    int open = 0;
    for (const QTcpSocket* socket : server_.findChildren<QTcpSocket*>())
        open += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    return open;
}

void LoopbackHttpServer::acceptPending() {
    // Bounded by the connections the system has already accepted.
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        auto connection = std::make_shared<Connection>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [this, socket, connection] { readRequest(socket, *connection); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readRequest(socket, *connection);
    }
    // A client may close one connection and open the next before this thread has heard of the
    // close: each socket is asked before it is counted.
    for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->waitForReadyRead(0);
    }
    peak_ = std::max(peak_, openConnections());
}

void LoopbackHttpServer::garbage(const std::string& path) {
    Route route;
    route.answer = Answer::Garbage;
    routes_[path] = route;
}

void LoopbackHttpServer::readRequest(QTcpSocket* socket, Connection& connection) {
    // A connection carries one request, unless kept alive: a hanging one never ends.
    if (connection.answered) {
        socket->readAll();
        return;
    }
    connection.head += socket->readAll();
    // Bounded by the bytes read: every pass takes one request's head off the front.
    qsizetype end = 0;
    while (!connection.answered && (end = connection.head.indexOf("\r\n\r\n")) >= 0) {
        const QByteArray received = connection.head.left(end + 4);
        connection.head.remove(0, end + 4);
        connection.answered = true;
        const QList<QByteArray> requestLine = received.left(received.indexOf("\r\n")).split(' ');
        if (requestLine.size() < 3) {
            socket->write(head(400, "text/plain", 0));
            socket->disconnectFromHost();
            return;
        }
        QByteArray target = requestLine[1];
        const qsizetype query = target.indexOf('?');
        if (query >= 0)
            target.truncate(query);
        lastHeads_[target.toStdString()] = received.toStdString();
        connection.answered = !answer(socket, target.toStdString());
    }
    if (!connection.answered && connection.head.size() > kMaxRequestHead) {
        connection.answered = true;
        socket->abort();
        socket->deleteLater();
    }
}

bool LoopbackHttpServer::answer(QTcpSocket* socket, const std::string& path) {
    ++requestCounts_[path];
    const auto found = routes_.find(path);
    if (found == routes_.end()) {
        const QByteArray body = "Not found";
        socket->write(head(404, "text/plain", body.size()) + body);
        if (keepAlive_)
            return true;
        socket->disconnectFromHost();
        return false;
    }
    const Route& route = found->second;
    switch (route.answer) {
        case Answer::Serve:
            // The socket buffers what the network cannot take yet; large bodies go out as the
            // client reads them.
            socket->write(head(route.status, route.contentType, route.body.size()));
            socket->write(route.body);
            if (keepAlive_)
                return true;
            break;
        case Answer::Redirect:
            socket->write(
                head(route.status, route.contentType, 0, "Location: " + route.location + "\r\n"));
            if (keepAlive_)
                return true;
            break;
        case Answer::Hang:
            return false;
        case Answer::Trickle:
            startTrickle(socket, path, route);
            return false;
        case Answer::Garbage: {
            static constexpr char kNoise[] = "\x7f\x00\xff garbage, no status line\r\n\r\n\x01\x02";
            socket->write(QByteArray(kNoise, sizeof kNoise - 1));
        } break;
        case Answer::Endless: {
            QByteArray chunk;
            while (chunk.size() < 1024 * 1024)
                chunk += route.body.isEmpty() ? QByteArray("x") : route.body;
            socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + route.contentType + "\r\n\r\n");
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket,
                             [this, socket, path, chunk] { sendMore(socket, path, chunk); });
            sendMore(socket, path, chunk);
            return false;
        }
        case Answer::CutOff:
        case Answer::Stall:
            socket->write(head(route.status, route.contentType, route.body.size()));
            socket->write(route.body.left(route.body.size() / 2));
            if (route.answer == Answer::Stall)
                return false;
            break;
    }
    socket->disconnectFromHost();
    return false;
}

std::string closedPortUrl() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    const quint16 port = probe.serverPort();
    probe.close();
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

}  // namespace qova::testkit
