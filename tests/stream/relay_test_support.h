#pragma once

// What the tests of the relay share: a sink that keeps what the tape passed on, an engine's
// stand-in that reads a relayed address as libmpv does, and the waits on them.

#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "stream/stream_relay.h"
#include "stream/stream_tape.h"

namespace qova::stream::test {

// What waits for something that must come; only a fault makes it run out.
constexpr int kGenerousMs = 20000;

/// Keeps what the tape passed on; filled on the relay's thread, read on the test's.
class TapeCollector : public AudioSink {
  public:
    void audio(const char* data, std::size_t size, std::uint64_t offset) override {
        const std::lock_guard lock(mutex_);
        if (offset != audio_.size())
            gaps_ = true;
        audio_.append(data, size);
    }
    void titleChanged(const std::string& title, std::uint64_t offset) override {
        const std::lock_guard lock(mutex_);
        titles_.emplace_back(title, offset);
    }
    std::string audio() const {
        const std::lock_guard lock(mutex_);
        return audio_;
    }
    std::vector<std::pair<std::string, std::uint64_t>> titles() const {
        const std::lock_guard lock(mutex_);
        return titles_;
    }
    bool gaps() const {
        const std::lock_guard lock(mutex_);
        return gaps_;
    }

  private:
    mutable std::mutex mutex_;
    std::string audio_;
    std::vector<std::pair<std::string, std::uint64_t>> titles_;
    bool gaps_ = false;
};

/// Routes the address and returns what the engine is to open.
inline std::string routed(StreamRelay& relay, const std::string& address, bool newChannel) {
    std::string to;
    relay.route(address, newChannel, [&to](const std::string& address_) { to = address_; });
    [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return !to.empty(); }, kGenerousMs)); }();
    return to;
}

/// Asks for an address as the engine does (with ICY metadata) and keeps what comes.
class EngineStandIn {
  public:
    explicit EngineStandIn(const std::string& address) {
        const QUrl url(QString::fromStdString(address));
        socket_.connectToHost(url.host(), static_cast<quint16>(url.port(80)));
        socket_.write("GET " + url.path().toUtf8() +
                      " HTTP/1.1\r\nHost: " + url.authority().toUtf8() +
                      "\r\nUser-Agent: libmpv\r\nIcy-MetaData: 1\r\nConnection: close\r\n\r\n");
    }
    /// Waits until this much of the body came or the connection ended; returns the body.
    const std::string& body(std::size_t bytes) {
        // What the caller checks of the body says what was missing.
        (void)QTest::qWaitFor(
            [&] {
                read();
                return bodyStart() != std::string::npos && received_.size() - bodyStart() >= bytes;
            },
            kGenerousMs);
        body_ = bodyStart() == std::string::npos ? std::string() : received_.substr(bodyStart());
        return body_;
    }
    const std::string& received() {
        read();
        return received_;
    }
    bool closed() { return socket_.state() == QAbstractSocket::UnconnectedState; }
    void close() { socket_.abort(); }

  private:
    void read() { received_ += socket_.readAll().toStdString(); }
    std::size_t bodyStart() const {
        const auto end = received_.find("\r\n\r\n");
        return end == std::string::npos ? end : end + 4;
    }
    QTcpSocket socket_;
    std::string received_;
    std::string body_;
};

/// A station's body without its ICY metadata blocks, read without the relay's reader.
inline std::string withoutMetadata(const std::string& body, std::size_t metaint) {
    std::string audio;
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t take = std::min(metaint, body.size() - at);
        audio.append(body, at, take);
        at += take;
        if (at < body.size())
            at += 1 + static_cast<unsigned char>(body[at]) * std::size_t{16};
    }
    return audio;
}

}  // namespace qova::stream::test
