#include "stream/station_target.h"

#include <QUrl>

namespace qova::stream {

std::optional<StationTarget> stationTarget(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    const bool tls = url.scheme() == QLatin1String("https");
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && !tls) || url.host().isEmpty() ||
        !url.userInfo().isEmpty())
        return std::nullopt;
    StationTarget target;
    target.host = url.host();
    target.tls = tls;
    target.port = static_cast<quint16>(url.port(tls ? 443 : 80));
    target.authority = url.authority(QUrl::FullyEncoded).toUtf8();
    target.pathAndQuery = url.path(QUrl::FullyEncoded).toUtf8();
    if (target.pathAndQuery.isEmpty())
        target.pathAndQuery = "/";
    if (url.hasQuery())
        target.pathAndQuery += "?" + url.query(QUrl::FullyEncoded).toUtf8();
    return target;
}

void connectToStation(QSslSocket* socket, const StationTarget& target) {
    if (target.tls) {
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        socket->connectToHostEncrypted(target.host, target.port, target.host);
    } else {
        socket->connectToHost(target.host, target.port);
    }
}

}  // namespace qova::stream
