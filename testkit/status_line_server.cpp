#include "testkit/status_line_server.h"

#include <QTcpSocket>

namespace qova::testkit {
namespace {

// A request head is short; a client that sends more is not one this server serves.
constexpr qint64 kMaxHeadBytes = 64 * 1024;

}  // namespace

StatusLineServer::StatusLineServer(QByteArray statusLine) : statusLine_(std::move(statusLine)) {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray head = socket->peek(kMaxHeadBytes);
                if (!head.contains("\r\n\r\n") && head.size() < kMaxHeadBytes)
                    return;
                socket->readAll();
                socket->write(statusLine_ + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        }
    });
}

std::string StatusLineServer::url() const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/live";
}

}  // namespace qova::testkit
