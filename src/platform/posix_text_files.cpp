#include "platform/posix_text_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <utility>

#include "platform/text.h"

namespace qova::platform {
namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    bool closeChecked() {
        const int f = fd;
        fd = -1;
        return ::close(f) == 0;
    }
};

}  // namespace

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

namespace {

constexpr std::string_view kTemporaryMark = ".qova-tmp-";
constexpr std::size_t kTemporaryLetters = 6;

// A new file beside target, named target plus the mark and six random characters, created with
// the permissions the process's umask gives a new file. Unlike mkstemp's fixed 0600 this needs no
// look at the umask, which can only be read by changing it, for the whole process and its threads.
// The file is locked for as long as the descriptor (or a duplicate) is open: a lock that can be
// taken tells a leftover of a killed run from a write under way in another.
}  // namespace

int createTemporaryBeside(const std::string& target, std::string& temp) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + std::string(kTemporaryMark);
        for (std::size_t i = 0; i < kTemporaryLetters; ++i)
            temp += kLetters[random() % (sizeof(kLetters) - 1)];
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            return -1;
        }
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool replaceFileBy(const std::string& target, const std::function<bool(int fd)>& write) {
    std::string temp;
    Fd file(createTemporaryBeside(target, temp));
    if (file.fd < 0)
        return false;
    const Fd lock(::dup(file.fd));
    const bool written = write(file.fd) && ::fdatasync(file.fd) == 0 && file.closeChecked();
    if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

namespace {

bool isTemporaryName(std::string_view name) {
    const std::size_t mark = name.rfind(kTemporaryMark);
    return mark != std::string_view::npos && mark > 0 &&
           name.size() - mark - kTemporaryMark.size() == kTemporaryLetters;
}

// The file a write of path goes to: path itself, or, when path is a symbolic link, the file it
// points to, so that the link stays a link. False for a file that nobody may write: its user made
// it read-only, which root's disregard of permissions must not override.
bool writableTarget(const std::string& path, std::string& target) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path resolved = path;
    // A chain of links, each relative to its own folder, possibly ending nowhere yet.
    for (int hop = 0; fs::is_symlink(resolved, error); ++hop) {
        const fs::path to = fs::read_symlink(resolved, error);
        if (error || hop == 40)
            return false;
        resolved = to.is_absolute() ? to : resolved.parent_path() / to;
    }
    target = resolved.lexically_normal().string();
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    return true;
}

// Below this size a copy is cheaper than a mapping.
constexpr std::size_t kMapThreshold = 256 * 1024;

}  // namespace

PosixTextFiles::PosixTextFiles(std::string folder, std::string defaults,
                               std::vector<std::string> defaultNames)
    : folder_(std::move(folder)),
      defaults_(std::move(defaults)),
      defaultNames_(std::move(defaultNames)) {
    while (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    removeLeftovers();
}

int PosixTextFiles::removeLeftovers() {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(folder_.c_str()), ::closedir);
    if (!folder)
        return 0;
    int removed = 0;
    // Bounded by the folder's entries.
    while (const dirent* entry = ::readdir(folder.get())) {
        if (!isTemporaryName(entry->d_name))
            continue;
        const std::string path = folder_ + "/" + entry->d_name;
        Fd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        // Only a plain file nobody holds: a write under way keeps its lock until it is renamed.
        if (file.fd >= 0 && ::fstat(file.fd, &st) == 0 && S_ISREG(st.st_mode) &&
            ::flock(file.fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

PosixTextFiles::~PosixTextFiles() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

std::string PosixTextFiles::path(std::string_view name) const {
    std::string exact = folder_ + "/" + std::string(name);
    struct stat st {};
    if (::stat(exact.c_str(), &st) == 0)
        return exact;
    // Names match without regard to case, as on the desktop the files come from.
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder_.c_str()), &::closedir);
    if (dir) {
        while (const dirent* entry = ::readdir(dir.get())) {
            if (equalsIgnoreCase(entry->d_name, name))
                return folder_ + "/" + entry->d_name;
        }
    }
    return exact;
}

std::string PosixTextFiles::readPath(std::string_view name) const {
    std::string own = path(name);
    struct stat st {};
    if (defaults_.empty() || ::stat(own.c_str(), &st) == 0)
        return own;
    for (const std::string& shared : defaultNames_) {
        if (equalsIgnoreCase(shared, name))
            return defaults_ + "/" + shared;
    }
    return own;
}

bool PosixTextFiles::exists(std::string_view name) const {
    if (pending(name))
        return true;
    struct stat st {};
    return ::stat(readPath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<FileText> PosixTextFiles::read(std::string_view name) const {
    if (auto content = pending(name)) {
        const std::string_view bytes = *content;
        return FileText(std::move(content), bytes);
    }
    Fd file(::open(readPath(name).c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    // Files are replaced by renaming a new one over them, never written in place, so a mapping
    // keeps showing the bytes it was made of.
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size >= kMapThreshold) {
        void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
        if (data != MAP_FAILED) {
            ::madvise(data, size, MADV_SEQUENTIAL);
            std::shared_ptr<const void> mapping(
                data, [size](const void* p) { ::munmap(const_cast<void*>(p), size); });
            return FileText(std::move(mapping),
                            std::string_view(static_cast<const char*>(data), size));
        }
    }
    std::string content;
    content.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (;;) {
        if (got == content.size())
            content.resize(content.size() + 65536);
        const ssize_t n = ::read(file.fd, content.data() + got, content.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    return FileText(std::move(content));
}

bool PosixTextFiles::replace(std::string_view name, std::string_view content) {
    return replaceWith(name, content, {}, Durability::Durable);
}

bool PosixTextFiles::replaceWithLine(std::string_view name, std::string_view line,
                                     Durability durability) {
    return replaceWith(name, line, "\r\n", durability);
}

bool PosixTextFiles::replaceWith(std::string_view name, std::string_view content,
                                 std::string_view tail, Durability durability) {
    std::string target;
    if (!writableTarget(path(name), target))
        return false;
    std::string temp;
    Fd file(createTemporaryBeside(target, temp));
    if (file.fd < 0)
        return false;
    // Holds the lock past the checked close, until the file has its name.
    const Fd lock(::dup(file.fd));
    // Keep the permissions a user gave the file; a new one has the usual ones already.
    struct stat st {};
    const bool kept =
        ::stat(target.c_str(), &st) != 0 || ::fchmod(file.fd, st.st_mode & 07777) == 0;
    const bool written = kept && writeAll(file.fd, content) && writeAll(file.fd, tail) &&
                         (durability == Durability::Scratch || ::fdatasync(file.fd) == 0) &&
                         file.closeChecked();
    if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool PosixTextFiles::appendLine(std::string_view name, std::string_view line) {
    std::string target;
    if (!writableTarget(path(name), target))
        return false;
    Fd file(::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (file.fd < 0)
        return false;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return false;
    const off_t before = st.st_size;
    std::string data(line);
    data += "\r\n";
    if (writeAll(file.fd, data) && ::fdatasync(file.fd) == 0 && file.closeChecked())
        return true;
    // A line written in part would glue the next one onto it: take it back.
    if (file.fd >= 0) {
        if (::ftruncate(file.fd, before) != 0)
            return false;
    } else {
        Fd again(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
        if (again.fd >= 0 && ::ftruncate(again.fd, before) != 0)
            return false;
    }
    return false;
}

std::shared_ptr<const std::string> PosixTextFiles::pending(std::string_view name) const {
    const std::lock_guard lock(mutex_);
    if (pending_.empty())
        return nullptr;
    const auto found = pending_.find(lowerCase(name));
    return found == pending_.end() ? nullptr : found->second;
}

void PosixTextFiles::replaceInBackground(std::string_view name, std::string content) {
    auto shared = std::make_shared<const std::string>(std::move(content));
    {
        const std::lock_guard lock(mutex_);
        const std::string key = lowerCase(name);
        pending_[key] = shared;
        jobs_.push_back(Job{key, std::string(name), std::move(shared)});
        if (!writer_.joinable())
            writer_ = std::thread(&PosixTextFiles::writeInBackground, this);
    }
    changed_.notify_all();
}

void PosixTextFiles::writeInBackground() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        writing_ = job.key;
        lock.unlock();
        const bool landed = replaceWith(job.name, *job.content, {}, Durability::Durable);
        lock.lock();
        writing_.clear();
        allLanded_ = allLanded_ && landed;
        // Once on disk, the file is read from there again; a later write of it keeps its own.
        const auto found = pending_.find(job.key);
        if (landed && found != pending_.end() && found->second == job.content)
            pending_.erase(found);
        changed_.notify_all();
    }
}

bool PosixTextFiles::remove(std::string_view name) {
    {
        std::unique_lock lock(mutex_);
        const std::string key = lowerCase(name);
        pending_.erase(key);
        std::erase_if(jobs_, [&](const Job& job) { return job.key == key; });
        // A write under way of this file lands before the file goes; one of another file (a
        // directory of many megabytes, say) is none of this removal's business.
        changed_.wait(lock, [&] { return writing_ != key; });
    }
    const std::string target = path(name);
    return ::unlink(target.c_str()) == 0 || errno == ENOENT;
}

bool PosixTextFiles::waitForBackgroundWrites() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() && writing_.empty(); });
    return std::exchange(allLanded_, true);
}

}  // namespace qova::platform
