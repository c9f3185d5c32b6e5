#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qova::testkit::streams {

/// A TCP relay on 127.0.0.1 in front of another loopback server, on threads of its own, that
/// notes for every connection when it was accepted, when the client's request arrived, and when
/// the server's answer head and its first body byte went on to the client. It can also hold the
/// body back to a steady rate after a first burst, as a server with a small burst does.
///
/// Every thread ends with the relay; a connection is let go after 30 s without a byte either way.
/// At most 256 connections are relayed at once, a million in all.
class TimingProxy {
  public:
    using Clock = std::chrono::steady_clock;
    struct Options {
        std::uint16_t upstreamPort = 0;
        /// With a rate: bytes of the answer's body passed at once, then bytesPerSecond.
        std::size_t burstBytes = 0;
        std::size_t bytesPerSecond = 0;
    };
    struct Connection {
        Clock::time_point accepted;
        std::optional<Clock::time_point> requested;
        std::optional<Clock::time_point> headSent;
        std::optional<Clock::time_point> firstBodyByte;
        /// What the client sent, up to its first 64 KiB.
        std::string sent;
    };

    explicit TimingProxy(Options options);
    ~TimingProxy();
    TimingProxy(const TimingProxy&) = delete;
    TimingProxy& operator=(const TimingProxy&) = delete;

    std::uint16_t port() const { return port_; }
    /// The connections since the last clear, in the order they were accepted.
    std::vector<Connection> connections() const;
    void clear();

  private:
    void acceptLoop();
    void relay(int client, std::size_t index);
    void note(std::size_t index, std::optional<Clock::time_point> Connection::*field);
    void keep(std::size_t index, const char* data, std::size_t size);

    Options options_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<Connection> connections_;
    std::size_t cleared_ = 0;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Worker> workers_;
    std::thread acceptor_;
};

}  // namespace qova::testkit::streams
