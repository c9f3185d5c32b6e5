#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "testkit/streams/stream_processes.h"

namespace qova::testkit::streams {
namespace {

namespace fs = std::filesystem;

// More connections than a few players and probes make at once are refused.
constexpr std::size_t kMaxConnections = 32;
constexpr std::size_t kMaxRequestHead = 16 * 1024;
constexpr int kSocketTimeoutSeconds = 5;

std::string contentType(const fs::path& file) {
    const std::string extension = file.extension().string();
    if (extension == ".m3u8")
        return "application/vnd.apple.mpegurl";
    if (extension == ".ts")
        return "video/mp2t";
    if (extension == ".m4s" || extension == ".mp4")
        return "video/mp4";
    if (extension == ".txt")
        return "text/plain; charset=utf-8";
    if (extension == ".html")
        return "text/html; charset=utf-8";
    return "application/octet-stream";
}

bool sendAll(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    // Bounded by the size; each send waits at most the socket's send timeout.
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string answerHead(int status, const std::string& reason, const std::string& type,
                       std::size_t length) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(length) +
           "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
}

}  // namespace

FileServer::FileServer(fs::path dir, std::string prefix, std::chrono::seconds lifetime)
    : dir_(std::move(dir)), prefix_(std::move(prefix)), lifetime_(lifetime) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool ok =
        listener_ >= 0 && ::pipe2(wake_, O_CLOEXEC) == 0 &&
        ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(listener_, 16) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (!ok) {
        for (const int fd : {listener_, wake_[0], wake_[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
        throw std::runtime_error("the HLS file server cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FileServer::~FileServer() {
    stopping_ = true;
    const char wake = 1;
    if (::write(wake_[1], &wake, 1) < 0) {
        // The acceptor still notices stopping_ within its poll interval.
    }
    acceptor_.join();
    std::lock_guard lock(mutex_);
    for (Worker& worker : workers_)
        ::shutdown(worker.socket, SHUT_RDWR);
    for (Worker& worker : workers_) {
        worker.thread.join();
        ::close(worker.socket);
    }
    workers_.clear();
    for (const int fd : {listener_, wake_[0], wake_[1]})
        ::close(fd);
}

void FileServer::joinFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (*it->done) {
            it->thread.join();
            ::close(it->socket);
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void FileServer::acceptLoop() {
    const auto end = Clock::now() + lifetime_;
    while (!stopping_ && Clock::now() < end) {
        pollfd wanted[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = ::poll(wanted, 2, 500);
        std::lock_guard lock(mutex_);
        joinFinished();
        if (ready <= 0)
            continue;
        if (wanted[1].revents != 0)
            break;
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        if (workers_.size() >= kMaxConnections) {
            ::close(socket);
            continue;
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        // The worker never closes its socket: the owner does after joining it, so that a
        // shutdown() from the destructor cannot hit a number the system gave to someone else.
        workers_.push_back(Worker{std::thread([this, socket, done] {
                                      serveAndHangUp(socket);
                                      *done = true;
                                  }),
                                  socket, done});
    }
}

void FileServer::serve(int socket) const {
    const timeval timeout{kSocketTimeoutSeconds, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    std::string head;
    // Bounded by the head's size; each recv waits at most the receive timeout.
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestHead &&
           !stopping_) {
        char chunk[2048];
        const ssize_t n = ::recv(socket, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        head.append(chunk, static_cast<std::size_t>(n));
    }
    std::istringstream requestLine(head.substr(0, head.find("\r\n")));
    std::string method, target;
    requestLine >> method >> target;
    target = target.substr(0, target.find('?'));
    if (method != "GET" && method != "HEAD") {
        sendAll(socket, answerHead(405, "Method Not Allowed", "text/plain", 0));
        return;
    }
    // Only plain names directly in the folder: nothing above it, nothing hidden.
    const std::string name = target.rfind(prefix_, 0) == 0 ? target.substr(prefix_.size()) : "";
    std::ifstream file;
    std::error_code ignored;
    if (!name.empty() && name.find('/') == std::string::npos && name.front() != '.' &&
        fs::is_regular_file(dir_ / name, ignored))
        file.open(dir_ / name, std::ios::binary);
    if (!file.is_open()) {
        const std::string body = "not found\n";
        sendAll(socket, answerHead(404, "Not Found", "text/plain", body.size()) +
                            (method == "GET" ? body : ""));
        return;
    }
    std::ostringstream content;
    content << file.rdbuf();
    const std::string body = content.str();
    if (sendAll(socket, answerHead(200, "OK", contentType(name), body.size())) && method == "GET")
        sendAll(socket, body);
}

void FileServer::serveAndHangUp(int socket) const {
    serve(socket);
    // The client learns the answer is complete now; the number is freed later, after join.
    ::shutdown(socket, SHUT_RDWR);
}

}  // namespace qova::testkit::streams
