#include "testkit/streams/timing_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qova::testkit::streams {
namespace {

constexpr int kPollMs = 20;
constexpr auto kIdleLimit = std::chrono::seconds(30);
constexpr std::size_t kMaxOpen = 256;
constexpr std::size_t kMaxConnections = 1000000;
constexpr std::size_t kSentKept = 65536;

int connectLoopbackPort(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

TimingProxy::TimingProxy(Options options) : options_(options) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0)
            ::close(listener_);
        throw std::runtime_error("timing proxy: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread(&TimingProxy::acceptLoop, this);
}

TimingProxy::~TimingProxy() {
    stopping_ = true;
    acceptor_.join();
    for (Worker& worker : workers_)
        worker.thread.join();
    ::close(listener_);
}

std::vector<TimingProxy::Connection> TimingProxy::connections() const {
    const std::lock_guard lock(mutex_);
    return {connections_.begin() + static_cast<std::ptrdiff_t>(cleared_), connections_.end()};
}

void TimingProxy::clear() {
    const std::lock_guard lock(mutex_);
    cleared_ = connections_.size();
    for (Connection& connection : connections_)
        std::string().swap(connection.sent);
}

void TimingProxy::note(std::size_t index, std::optional<Clock::time_point> Connection::*field) {
    const auto now = Clock::now();
    const std::lock_guard lock(mutex_);
    auto& slot = connections_[index].*field;
    if (!slot)
        slot = now;
}

void TimingProxy::keep(std::size_t index, const char* data, std::size_t size) {
    const std::lock_guard lock(mutex_);
    std::string& sent = connections_[index].sent;
    sent.append(data, std::min(size, kSentKept - std::min(kSentKept, sent.size())));
}

void TimingProxy::acceptLoop() {
    // Bounded by the relay's life and the number of connections it takes.
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, kPollMs) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // Threads of connections that ended are joined, so that a long run keeps few.
        std::erase_if(workers_, [](Worker& worker) {
            if (!*worker.done)
                return false;
            worker.thread.join();
            return true;
        });
        std::size_t index = 0;
        {
            const std::lock_guard lock(mutex_);
            if (connections_.size() >= kMaxConnections || workers_.size() >= kMaxOpen) {
                ::close(client);
                continue;
            }
            index = connections_.size();
            connections_.push_back(Connection{Clock::now(), {}, {}, {}, {}});
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back(Worker{std::thread([this, client, index, done] {
                                      relay(client, index);
                                      *done = true;
                                  }),
                                  done});
    }
}

void TimingProxy::relay(int client, std::size_t index) {
    const int upstream = connectLoopbackPort(options_.upstreamPort);
    if (upstream < 0) {
        ::close(client);
        return;
    }
    const int on = 1;
    ::setsockopt(upstream, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::string head;  // the answer's head until it is complete
    bool headDone = false;
    std::size_t bodySent = 0;  // for pacing
    Clock::time_point bodyStart;
    auto lastByte = Clock::now();
    char buffer[16384];
    // Bounded: ends with either side's close, the relay's stop or a long silence.
    while (!stopping_ && Clock::now() - lastByte < kIdleLimit) {
        pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        const bool paced =
            headDone && options_.bytesPerSecond > 0 && bodySent >= options_.burstBytes;
        std::size_t allowed = sizeof buffer;
        if (paced) {
            const double seconds = std::chrono::duration<double>(Clock::now() - bodyStart).count();
            const auto due =
                options_.burstBytes +
                static_cast<std::size_t>(seconds * static_cast<double>(options_.bytesPerSecond));
            allowed = due > bodySent ? std::min(allowed, due - bodySent) : 0;
            if (allowed == 0)
                fds[1].events = 0;  // nothing is due yet: leave the server's bytes waiting
        } else if (headDone && options_.bytesPerSecond > 0) {
            allowed = std::min(allowed, options_.burstBytes - bodySent);
        }
        if (::poll(fds, 2, kPollMs) < 0)
            break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            note(index, &Connection::requested);
            keep(index, buffer, static_cast<std::size_t>(n));
            if (!sendAll(upstream, buffer, static_cast<std::size_t>(n)))
                break;
            lastByte = Clock::now();
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(upstream, buffer, allowed, 0);
            if (n <= 0)
                break;
            std::size_t offset = 0;
            const auto size = static_cast<std::size_t>(n);
            if (!headDone) {
                head.append(buffer, size);
                const std::size_t end = head.find("\r\n\r\n");
                if (end == std::string::npos && head.size() < 65536) {
                    if (!sendAll(client, buffer, size))
                        break;
                    lastByte = Clock::now();
                    continue;
                }
                headDone = true;
                const std::size_t headBytes = end == std::string::npos ? head.size() : end + 4;
                offset = size - (head.size() - headBytes);
                if (!sendAll(client, buffer, offset))
                    break;
                note(index, &Connection::headSent);
                bodyStart = Clock::now();
            }
            if (offset < size) {
                if (!sendAll(client, buffer + offset, size - offset))
                    break;
                note(index, &Connection::firstBodyByte);
                bodySent += size - offset;
            }
            lastByte = Clock::now();
        }
    }
    ::close(upstream);
    ::close(client);
}

}  // namespace qova::testkit::streams
