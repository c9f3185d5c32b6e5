#pragma once

#include <QByteArray>
#include <QObject>
#include <QSslSocket>
#include <QString>
#include <optional>
#include <string>

namespace qova::stream {

/// Where a station's address leads: the server to connect to, over TLS or not, and what a
/// request to it names.
struct StationTarget {
    QString host;
    quint16 port = 80;
    bool tls = false;
    /// As written in the address, which is what the engine would send as Host.
    QByteArray authority;
    QByteArray pathAndQuery;
};

/// The target of an http:// or https:// address without credentials; nothing otherwise.
std::optional<StationTarget> stationTarget(const std::string& address);

/// Connects to the station: TLS when its address says https, named to the server by its host
/// (SNI). Its certificate is taken as the engine takes it, unchecked (libmpv's tls-verify is off
/// by default and the player leaves it so): whatever speaks to a station for the engine is
/// neither more nor less trusting than the engine would be on its own.
void connectToStation(QSslSocket* socket, const StationTarget& target);

/// Calls `slot` once the station may be spoken to: connected, and over TLS its handshake done.
template <typename Slot>
void whenStationReady(QSslSocket* socket, bool tls, QObject* context, Slot slot) {
    if (tls)
        QObject::connect(socket, &QSslSocket::encrypted, context, slot);
    else
        QObject::connect(socket, &QSslSocket::connected, context, slot);
}

}  // namespace qova::stream
