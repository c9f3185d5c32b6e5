#pragma once

// Building blocks of StreamServers: child processes that cannot outlive the tests, bounded
// waits, loopback sockets and a static file server on a thread of its own.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qova::testkit::streams {

using Clock = std::chrono::steady_clock;

// Helper processes and threads end by themselves after this, should everything else fail.
constexpr int kLifetimeLimitSeconds = 30 * 60;

/// Calls done() every `step` until it is true (returns true) or the deadline passes (false).
bool waitUntil(Clock::time_point deadline, std::chrono::milliseconds step,
               const std::function<bool()>& done);

/// A port on 127.0.0.1 that was free a moment ago.
std::uint16_t freeLoopbackPort();
/// Whether something accepts connections on 127.0.0.1:port.
bool canConnect(std::uint16_t port);
/// Whether an RTSP answer's head and its whole body (per Content-Length) arrived.
bool rtspAnswerComplete(const std::string& answer);

struct SpawnOptions {
    std::filesystem::path log;  // standard error, and standard output unless piped
    bool stdinPipe = false;     // the child sees end of file when we stop or die
    bool stdoutPipe = false;    // read with readStdoutLine()
    std::optional<uid_t> uid;   // run as this user and group (only as root)
    gid_t gid = 0;
};

/// A child in a process group of its own, killed with the thread that started it
/// (PR_SET_PDEATHSIG) and, on destruction, with SIGTERM and then SIGKILL to its whole group.
class ChildProcess {
  public:
    ChildProcess(std::string name, std::vector<std::string> args, const SpawnOptions& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    /// Waits until the process ended; false when it still runs at the deadline.
    bool waitForExit(Clock::time_point deadline);
    /// The exit status of an ended process, or -1 (still running, or ended by a signal).
    int exitCode() const;
    /// One line of standard output without its line break; empty at end of file or deadline.
    std::string readStdoutLine(Clock::time_point deadline);
    /// Sends SIGTERM to the group and closes our end of its standard input.
    void terminate();
    /// Waits for the end until the deadline, then kills the group.
    void reap(Clock::time_point deadline);
    /// Its state and the end of its log (and of another log when given), for error messages.
    std::string describe(const std::filesystem::path& otherLog = {});

  private:
    std::string name_;
    std::filesystem::path log_;
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
    int stdinWrite_ = -1;
    int stdoutRead_ = -1;
    std::string stdoutBuffer_;
};

/// Terminates them all first and then waits for them, so that stopping takes one grace period.
void stopTogether(const std::vector<ChildProcess*>& processes);

/// The user the Icecast process runs as when the tests run as root, where Icecast will not run.
struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
};

/// nobody:nogroup, or nothing when the system has no such user.
std::optional<Account> unprivilegedAccount();
/// Hands a folder and everything in it to the account.
void chownTree(const std::filesystem::path& root, const Account& account);
/// An Icecast configuration that keeps everything on 127.0.0.1 and in `dir`.
std::string icecastConfig(const std::filesystem::path& dir, std::uint16_t port,
                          const std::string& sourcePassword, const std::string& adminPassword);

/// A temp folder that the icecast user can enter, removed with everything in it. Folders that
/// test processes killed outright left behind are removed on the way.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

/// Serves the files of one folder under a path prefix over HTTP/1.1 on 127.0.0.1 from threads of
/// its own, so that it answers while the test's thread blocks. One request per connection.
class FileServer {
  public:
    /// Stops accepting after `lifetime`.
    FileServer(std::filesystem::path dir, std::string prefix,
               std::chrono::seconds lifetime = std::chrono::seconds(kLifetimeLimitSeconds));
    ~FileServer();
    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    std::uint16_t port() const { return port_; }

  private:
    struct Worker {
        std::thread thread;
        int socket = -1;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void acceptLoop();
    void serve(int socket) const;
    void serveAndHangUp(int socket) const;
    void joinFinished();  // with mutex_ held

    std::filesystem::path dir_;
    std::string prefix_;
    std::chrono::seconds lifetime_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<Worker> workers_;
    std::thread acceptor_;
};

}  // namespace qova::testkit::streams
