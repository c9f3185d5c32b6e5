#pragma once

#include <QThread>
#include <atomic>
#include <cstdint>
#include <string>

#include "testkit/temp_folder.h"

namespace qova::testkit::streams {

class TlsFrontWorker;

/// An https server on 127.0.0.1 in front of a plain one on 127.0.0.1, as a station behind a TLS
/// terminator: each listener is greeted with TLS under a self-signed certificate for 127.0.0.1
/// and localhost, made for it with `openssl`, and its bytes pass both ways unchanged, so that a
/// station whose every byte is known is heard over https just the same.
///
/// Runs on a thread of its own; ends with the front or after ten minutes, and holds at most 32
/// listeners.
class TlsFront {
  public:
    explicit TlsFront(std::uint16_t backendPort);
    ~TlsFront();
    TlsFront(const TlsFront&) = delete;
    TlsFront& operator=(const TlsFront&) = delete;

    std::uint16_t port() const { return port_; }
    /// https://127.0.0.1:<port><path>
    std::string url(const std::string& path) const;
    /// The certificate the front shows (PEM), for whoever is to trust it.
    std::string certificateFile() const { return folder_.file("cert.pem"); }
    /// How many listeners finished the handshake.
    int handshakes() const;

  private:
    TempFolder folder_;
    QThread thread_;
    TlsFrontWorker* worker_;
    std::atomic<int> handshakes_{0};
    std::uint16_t port_ = 0;
};

}  // namespace qova::testkit::streams
