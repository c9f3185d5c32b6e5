#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <string>

namespace qova::testkit {

/// An HTTP server on 127.0.0.1 that answers every request with a status line of its own words
/// ("HTTP/1.1 503 <b>Busy</b>") and no body, as a server may say anything there. Answers from
/// the test's event loop.
class StatusLineServer {
  public:
    explicit StatusLineServer(QByteArray statusLine);
    std::string url() const;

  private:
    QTcpServer server_;
    QByteArray statusLine_;
};

}  // namespace qova::testkit
