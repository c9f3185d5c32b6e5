#include "testkit/streams/stream_processes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "testkit/stream_servers.h"

namespace qova::testkit {
namespace streams {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStopGrace = 2s;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int connectLoopback(std::uint16_t port, Clock::time_point deadline) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    pollfd wanted{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (errno != EINPROGRESS || ::poll(&wanted, 1, remainingMs(deadline)) <= 0 ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string fileTail(const fs::path& file, std::size_t bytes = 1500) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    return text.size() > bytes ? "..." + text.substr(text.size() - bytes) : text;
}

}  // namespace

bool waitUntil(Clock::time_point deadline, std::chrono::milliseconds step,
               const std::function<bool()>& done) {
    // Bounded by the deadline: at most one more call after it passed.
    while (true) {
        if (done())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(step, deadline - Clock::now()));
    }
}

std::uint16_t freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    const bool ok = fd >= 0 &&
                    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw std::runtime_error("cannot find a free port on 127.0.0.1");
    return ntohs(address.sin_port);
}

bool canConnect(std::uint16_t port) {
    const int fd = connectLoopback(port, Clock::now() + 1s);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool rtspAnswerComplete(const std::string& answer) {
    const auto headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return false;
    std::string head = answer.substr(0, headEnd);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto field = head.find("\ncontent-length:");
    const std::size_t length =
        field == std::string::npos ? 0 : std::strtoul(head.c_str() + field + 16, nullptr, 10);
    return answer.size() >= headEnd + 4 + length;
}

ChildProcess::ChildProcess(std::string name, std::vector<std::string> args,
                           const SpawnOptions& options)
    : name_(std::move(name)), log_(options.log) {
    // Everything the child needs is made before fork: after it, only plain system calls.
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int logFd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    const bool pipesOk = (!options.stdinPipe || ::pipe2(in, O_CLOEXEC) == 0) &&
                         (!options.stdoutPipe || ::pipe2(out, O_CLOEXEC) == 0);
    const pid_t parent = ::getpid();
    if (logFd >= 0 && nullFd >= 0 && pipesOk)
        pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        if (options.uid && (::setgroups(0, nullptr) != 0 || ::setgid(options.gid) != 0 ||
                            ::setuid(*options.uid) != 0))
            ::_exit(126);
        // Set after the change of user, which would clear it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(125);
        ::dup2(options.stdinPipe ? in[0] : nullFd, STDIN_FILENO);
        ::dup2(options.stdoutPipe ? out[1] : logFd, STDOUT_FILENO);
        ::dup2(logFd, STDERR_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid_ > 0)
        ::setpgid(pid_, pid_);  // also here, so that a group kill right away finds it
    for (const int fd : {logFd, nullFd, in[0], out[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
    stdinWrite_ = in[1];
    stdoutRead_ = out[0];
    if (pid_ < 0) {
        for (const int fd : {in[1], out[0]}) {
            if (fd >= 0)
                ::close(fd);
        }
        throw std::runtime_error("cannot start " + name_ + " (" + args.front() + ")");
    }
}

ChildProcess::~ChildProcess() {
    terminate();
    reap(Clock::now() + kStopGrace);
    if (stdoutRead_ >= 0)
        ::close(stdoutRead_);
}

bool ChildProcess::running() {
    if (ended_)
        return false;
    const pid_t result = ::waitpid(pid_, &status_, WNOHANG);
    if (result == pid_ || (result < 0 && errno == ECHILD))
        ended_ = true;
    return !ended_;
}

bool ChildProcess::waitForExit(Clock::time_point deadline) {
    return waitUntil(deadline, 10ms, [this] { return !running(); });
}

int ChildProcess::exitCode() const {
    return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string ChildProcess::readStdoutLine(Clock::time_point deadline) {
    // Bounded by the deadline and by a line length no helper of ours comes near.
    while (stdoutBuffer_.find('\n') == std::string::npos && stdoutBuffer_.size() < 4096) {
        pollfd wanted{stdoutRead_, POLLIN, 0};
        if (stdoutRead_ < 0 || ::poll(&wanted, 1, remainingMs(deadline)) <= 0)
            break;
        char chunk[512];
        const ssize_t got = ::read(stdoutRead_, chunk, sizeof chunk);
        if (got <= 0)
            break;
        stdoutBuffer_.append(chunk, static_cast<std::size_t>(got));
    }
    const auto end = stdoutBuffer_.find('\n');
    if (end == std::string::npos)
        return {};
    std::string line = stdoutBuffer_.substr(0, end);
    stdoutBuffer_.erase(0, end + 1);
    return line;
}

void ChildProcess::terminate() {
    if (stdinWrite_ >= 0) {
        ::close(stdinWrite_);
        stdinWrite_ = -1;
    }
    if (running())
        ::kill(-pid_, SIGTERM);
}

void ChildProcess::reap(Clock::time_point deadline) {
    if (pid_ <= 0)
        return;
    if (!waitForExit(deadline)) {
        ::kill(-pid_, SIGKILL);
        waitForExit(Clock::now() + kStopGrace);
    }
    // Anything the leader left behind in its group goes too.
    ::kill(-pid_, SIGKILL);
}

std::string ChildProcess::describe(const fs::path& otherLog) {
    std::string state;
    if (running())
        state = "still running";
    else if (WIFEXITED(status_))
        state = "exited with status " + std::to_string(WEXITSTATUS(status_));
    else
        state = "ended by signal " + std::to_string(WTERMSIG(status_));
    std::string text = name_ + " (pid " + std::to_string(pid_) + ") " + state;
    const std::string output = fileTail(log_);
    if (!output.empty())
        text += "; output: " + output;
    const std::string other = otherLog.empty() ? std::string() : fileTail(otherLog);
    if (!other.empty())
        text += "; " + otherLog.filename().string() + ": " + other;
    return text;
}

void stopTogether(const std::vector<ChildProcess*>& processes) {
    for (ChildProcess* process : processes)
        process->terminate();
    const auto deadline = Clock::now() + kStopGrace;
    for (ChildProcess* process : processes)
        process->reap(deadline);
}

}  // namespace streams

std::string exchangeOnLoopback(std::uint16_t port, const std::string& request,
                               std::chrono::milliseconds timeout,
                               const std::function<bool(const std::string&)>& enough,
                               std::size_t maxBytes) {
    using streams::Clock;
    const auto deadline = Clock::now() + timeout;
    const int fd = streams::connectLoopback(port, deadline);
    if (fd < 0)
        return {};
    std::size_t sent = 0;
    // Bounded by the request's size and the deadline.
    while (sent < request.size()) {
        pollfd wanted{fd, POLLOUT, 0};
        if (::poll(&wanted, 1, streams::remainingMs(deadline)) <= 0)
            break;
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    std::string answer;
    // Bounded by maxBytes and the deadline.
    while (sent == request.size() && answer.size() < maxBytes && !(enough && enough(answer))) {
        pollfd wanted{fd, POLLIN, 0};
        if (::poll(&wanted, 1, streams::remainingMs(deadline)) <= 0)
            break;
        char chunk[16384];
        const ssize_t n = ::recv(fd, chunk, std::min(sizeof chunk, maxBytes - answer.size()), 0);
        if (n <= 0)
            break;
        answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

std::uint16_t loopbackPort(const std::string& url) {
    const std::string host = "://127.0.0.1:";
    const auto at = url.find(host);
    if (at == std::string::npos)
        return 0;
    const unsigned long port = std::strtoul(url.c_str() + at + host.size(), nullptr, 10);
    return port > 0 && port < 65536 ? static_cast<std::uint16_t>(port) : 0;
}

}  // namespace qova::testkit
