#pragma once

#include <QObject>
#include <set>
#include <string>

#include "platform/stream_checker.h"

class QNetworkAccessManager;

namespace qova::web {

/// Checks channels over Qt's network stack, as the player would open them but reading only
/// their first bytes: HTTP(S) streams, HLS playlists with one segment, RTSP by a DESCRIBE, and
/// local files, looked at but never opened. Redirects are followed by hand, on the web alone; a
/// channel's headers go to its own host only. Every check ends by itself within its time limit.
class NetworkStreamChecker : public QObject, public platform::StreamChecker {
    Q_OBJECT
  public:
    /// userAgent is the one the player sends to a channel that names none.
    NetworkStreamChecker(QObject* parent, std::string userAgent, int timeLimitMs = 5000);
    ~NetworkStreamChecker() override;

    void check(const std::string& address, bool localFileAllowed,
               std::function<void(Result)> done) override;
    void cancelAll() override;

  private:
    class Probe;

    QNetworkAccessManager* network_;
    // The checks under way; each takes itself out when it goes.
    std::set<Probe*> probes_;
    std::string userAgent_;
    int timeLimitMs_;
};

}  // namespace qova::web
