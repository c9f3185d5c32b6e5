#include "stream/recent_audio.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace qova::stream {
namespace {

// Enough titles for the file's length at one a few seconds, and a bound for a station that
// sends a new one with every block.
constexpr std::size_t kTitlesKept = 4096;

int unnamedFile(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    // A file system without unnamed files: a named one, unlinked at once.
    std::string pattern = (folder / "recent-XXXXXX").string();
    const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(pattern.c_str());
    return named;
}

}  // namespace

RecentAudio::RecentAudio(const std::filesystem::path& folder, std::uint64_t capacity)
    : fd_(unnamedFile(folder)), capacity_(std::max<std::uint64_t>(capacity, 4096)) {}

RecentAudio::~RecentAudio() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::uint64_t RecentAudio::begin() const {
    return end_ > capacity_ ? end_ - capacity_ : 0;
}

void RecentAudio::audio(const char* data, std::size_t size, std::uint64_t offset) {
    if (fd_ < 0 || failed_)
        return;
    if (offset != end_) {
        // The tape started again (another channel): what was held belongs to no song of it.
        titles_.clear();
    }
    end_ = offset;
    while (size > 0 && !failed_) {
        const std::uint64_t at = end_ % capacity_;
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, capacity_ - at));
        const ssize_t written = ::pwrite(fd_, data, piece, static_cast<off_t>(at));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // A full disk: no more is held, and what is held stays readable.
            failed_ = true;
            break;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        end_ += static_cast<std::uint64_t>(written);
    }
    while (titles_.size() > 1 && titles_[1].second <= begin())
        titles_.pop_front();
}

void RecentAudio::titleChanged(const std::string& title, std::uint64_t offset) {
    if (titles_.size() == kTitlesKept)
        titles_.pop_front();
    titles_.emplace_back(title, offset);
}

RecentAudio::Song RecentAudio::songAt(std::uint64_t offset) const {
    Song song;
    song.start = begin();
    song.cut = true;
    for (const auto& [title, start] : titles_) {
        if (start > offset)
            break;
        song.title = title;
        song.cut = start < begin();
        song.start = std::max(start, begin());
    }
    return song;
}

bool RecentAudio::read(std::uint64_t from, std::uint64_t to,
                       const std::function<void(const char*, std::size_t)>& out) const {
    from = std::max(from, begin());
    to = std::min(to, end_);
    std::vector<char> buffer(64 * 1024);
    while (from < to) {
        const std::uint64_t at = from % capacity_;
        const std::size_t piece = static_cast<std::size_t>(
            std::min<std::uint64_t>({to - from, capacity_ - at, buffer.size()}));
        const ssize_t got = ::pread(fd_, buffer.data(), piece, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out(buffer.data(), static_cast<std::size_t>(got));
        from += static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace qova::stream
