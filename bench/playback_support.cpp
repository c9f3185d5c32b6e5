#include "playback_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <ctime>
#include <fstream>
#include <thread>

namespace qova::bench {

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double cpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

double statusMb(const char* field, const std::string& process) {
    std::ifstream status("/proc/" + process + "/status");
    const std::string name(field);
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name, 0) == 0)
            return std::stod(line.substr(name.size())) / 1024.0;
    }
    return 0.0;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// QTest::qWaitFor sleeps 10 ms between rounds, which would add its own delay to every hop
// between libmpv's threads and the Qt thread; this wakes for every event, as exec() does. The
// tick only bounds the wait when nothing else happens.
bool runUntil(const std::function<bool()>& done, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(100);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void runFor(Clock::duration span) {
    const auto end = Clock::now() + span;
    runUntil([&] { return Clock::now() >= end; }, span + 1s);
}

namespace {

int connectWhileRunning(pid_t pid, const std::string& socketPath, Clock::time_point deadline) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof(address.sun_path) - 1);
    while (Clock::now() < deadline && ::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            return fd;
        std::this_thread::sleep_for(1ms);
    }
    ::close(fd);
    return -1;
}

void endProcess(pid_t pid) {
    const auto limit = Clock::now() + 3s;
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() >= limit) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(5ms);
    }
}

}  // namespace

std::optional<double> mpvProgramStart(const std::string& program, const std::string& url,
                                      const std::string& socketPath) {
    ::unlink(socketPath.c_str());
    std::vector<std::string> words = {
        program, "--no-config", "--ao=null", "--vo=null", "--input-ipc-server=" + socketPath, url};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const auto start = Clock::now();
    const auto deadline = start + kWaitLimit;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec in a program with threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::setpgid(0, 0);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(devNull);
    if (pid < 0)
        return std::nullopt;

    std::optional<double> result;
    const int fd = connectWhileRunning(pid, socketPath, deadline);
    std::string received;
    while (fd >= 0 && !result && Clock::now() < deadline) {
        pollfd wait{fd, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&wait, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
        if (received.find("\"playback-restart\"") != std::string::npos)
            result = msBetween(start, Clock::now());
    }
    if (fd >= 0) {
        const char quit[] = "{\"command\":[\"quit\"]}\n";
        [[maybe_unused]] const ssize_t sent = ::write(fd, quit, sizeof(quit) - 1);
        ::close(fd);
    }
    endProcess(pid);
    ::unlink(socketPath.c_str());
    std::this_thread::sleep_for(kSettle);
    return result;
}

}  // namespace qova::bench
