#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "testkit/streams/stream_processes.h"

namespace qova::testkit::streams {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTempPrefix = "qova-streams-";

// A test process killed outright leaves its folder behind; the next run removes it.
void removeOrphans() {
    std::error_code error;
    fs::directory_iterator entries(fs::temp_directory_path(), error);
    const std::string prefix = kTempPrefix;
    int looked = 0;
    for (; !error && entries != fs::directory_iterator() && looked < 10000;
         entries.increment(error), ++looked) {
        const std::string name = entries->path().filename().string();
        if (name.rfind(prefix, 0) != 0)
            continue;
        const long owner = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (owner > 0 && ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(entries->path(), ignored);
        }
    }
}

}  // namespace

std::optional<Account> unprivilegedAccount() {
    const passwd* user = ::getpwnam("nobody");
    if (user == nullptr)
        return std::nullopt;
    const group* nogroup = ::getgrnam("nogroup");
    return Account{user->pw_uid, nogroup != nullptr ? nogroup->gr_gid : user->pw_gid};
}

void chownTree(const fs::path& root, const Account& account) {
    if (::chown(root.c_str(), account.uid, account.gid) != 0)
        throw std::runtime_error("cannot hand " + root.string() + " to the icecast user");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (::chown(entry.path().c_str(), account.uid, account.gid) != 0)
            throw std::runtime_error("cannot hand " + entry.path().string() + " to icecast");
    }
}

std::string icecastConfig(const fs::path& dir, std::uint16_t port, const std::string& sourcePw,
                          const std::string& adminPw) {
    const std::string adminRoot = fs::is_directory("/usr/share/icecast2/admin")
                                      ? "/usr/share/icecast2/admin"
                                      : (dir / "web").string();
    // A small burst (half a second of MP3) so that a title set through the admin interface
    // reaches a new listener's first metadata block soon. Static files off: the mounts are all the
    // tests need, and nothing else gets served.
    return "<icecast>\n"
           "  <location>loopback</location><admin>tests@localhost</admin>\n"
           "  <hostname>127.0.0.1</hostname>\n"
           "  <limits><clients>32</clients><sources>8</sources><queue-size>524288</queue-size>\n"
           "    <client-timeout>10</client-timeout><header-timeout>5</header-timeout>\n"
           "    <source-timeout>5</source-timeout><burst-on-connect>1</burst-on-connect>\n"
           "    <burst-size>8192</burst-size></limits>\n"
           "  <authentication><source-password>" +
           sourcePw + "</source-password><relay-password>" + sourcePw +
           "</relay-password>\n    <admin-user>admin</admin-user><admin-password>" + adminPw +
           "</admin-password></authentication>\n"
           "  <listen-socket><port>" +
           std::to_string(port) +
           "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n"
           "  <fileserve>0</fileserve>\n"
           "  <paths><basedir>" +
           dir.string() + "</basedir><logdir>" + (dir / "log").string() + "</logdir><webroot>" +
           (dir / "web").string() + "</webroot><adminroot>" + adminRoot + "</adminroot><pidfile>" +
           (dir / "icecast.pid").string() +
           "</pidfile></paths>\n"
           "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>\n"
           "    <loglevel>3</loglevel><logsize>10000</logsize></logging>\n"
           "  <security><chroot>0</chroot></security>\n"
           "</icecast>\n";
}

TempDir::TempDir() {
    removeOrphans();
    // The creator's id in the name tells a later run whether the folder is still in use.
    const std::string name = kTempPrefix + std::to_string(::getpid()) + "-XXXXXX";
    std::string pattern = (fs::temp_directory_path() / name).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temp folder for the stream servers");
    path_ = pattern;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace qova::testkit::streams
