#include "guide/guide_input.h"

#include <fcntl.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace qova::guide {
namespace {

constexpr std::size_t kReadBytes = 256 * 1024;

enum class Kind { Plain, Gzip, Xz };

/// The file's raw bytes, a block at a time.
class RawFile {
  public:
    explicit RawFile(int fd) : fd_(fd), buffer_(kReadBytes) {}
    ~RawFile() { ::close(fd_); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    // The next block: false with failed_ set on an error, false alone at the end.
    bool next(const unsigned char*& data, std::size_t& size) {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n < 0 && errno == EINTR)
                continue;
            failed_ = n < 0;
            if (n <= 0)
                return false;
            data = buffer_.data();
            size = static_cast<std::size_t>(n);
            return true;
        }
    }
    bool failed() const { return failed_; }

  private:
    int fd_;
    std::vector<unsigned char> buffer_;
    bool failed_ = false;
};

class Input : public GuideInput {
  public:
    Input(int fd, Kind kind, std::uint64_t maxBytes) : file_(fd), kind_(kind), max_(maxBytes) {}
    ~Input() override {
        if (zInit_)
            inflateEnd(&z_);
        if (xzInit_)
            lzma_end(&xz_);
    }

    Status read(char* buffer, std::size_t size, std::size_t& count) override {
        count = 0;
        if (done_ != Status::More)
            return done_;
        Status status = Status::More;
        switch (kind_) {
            case Kind::Plain:
                status = plain(buffer, size, count);
                break;
            case Kind::Gzip:
                status = gzip(buffer, size, count);
                break;
            case Kind::Xz:
                status = xz(buffer, size, count);
                break;
        }
        total_ += count;
        if (total_ > max_) {
            count = 0;
            status = Status::TooLarge;
        }
        if (status != Status::More)
            done_ = status;
        return status == Status::End && count > 0 ? Status::More : status;
    }

  private:
    bool refill() {
        if (left_ > 0)
            return true;
        if (!file_.next(next_, left_)) {
            left_ = 0;
            return false;
        }
        return true;
    }

    Status plain(char* buffer, std::size_t size, std::size_t& count) {
        if (!refill())
            return file_.failed() ? Status::Broken : Status::End;
        count = std::min(size, left_);
        std::memcpy(buffer, next_, count);
        next_ += count;
        left_ -= count;
        return Status::More;
    }

    Status gzip(char* buffer, std::size_t size, std::size_t& count) {
        if (!zInit_) {
            // 15 + 16: gzip alone, as its magic said.
            if (inflateInit2(&z_, 15 + 16) != Z_OK)
                return Status::Broken;
            zInit_ = true;
        }
        z_.next_out = reinterpret_cast<Bytef*>(buffer);
        z_.avail_out = static_cast<uInt>(size);
        while (z_.avail_out > 0) {
            if (!refill())
                return file_.failed() || !streamEnded_ ? Status::Broken : Status::End;
            z_.next_in = const_cast<Bytef*>(next_);
            z_.avail_in = static_cast<uInt>(left_);
            const int result = inflate(&z_, Z_NO_FLUSH);
            next_ = z_.next_in;
            left_ = z_.avail_in;
            count = size - z_.avail_out;
            if (result == Z_STREAM_END) {
                // Concatenated members follow one another, as gzip itself reads them.
                streamEnded_ = true;
                if (inflateReset(&z_) != Z_OK)
                    return Status::Broken;
                continue;
            }
            if (result != Z_OK && result != Z_BUF_ERROR)
                return Status::Broken;
            streamEnded_ = false;
            if (count > 0)
                break;
        }
        return Status::More;
    }

    Status xz(char* buffer, std::size_t size, std::size_t& count) {
        if (!xzInit_) {
            if (lzma_stream_decoder(&xz_, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK)
                return Status::Broken;
            xzInit_ = true;
        }
        xz_.next_out = reinterpret_cast<std::uint8_t*>(buffer);
        xz_.avail_out = size;
        while (xz_.avail_out > 0) {
            const bool more = refill();
            if (!more && file_.failed())
                return Status::Broken;
            xz_.next_in = next_;
            xz_.avail_in = left_;
            const lzma_ret result = lzma_code(&xz_, more ? LZMA_RUN : LZMA_FINISH);
            next_ = xz_.next_in;
            left_ = xz_.avail_in;
            count = size - xz_.avail_out;
            if (result == LZMA_STREAM_END)
                return count > 0 ? Status::More : Status::End;
            if (result != LZMA_OK)
                return Status::Broken;
            if (!more && count == 0)
                return Status::Broken;
            if (count > 0)
                break;
        }
        return Status::More;
    }

    RawFile file_;
    Kind kind_;
    std::uint64_t max_;
    std::uint64_t total_ = 0;
    const unsigned char* next_ = nullptr;
    std::size_t left_ = 0;
    z_stream z_{};
    bool zInit_ = false;
    bool streamEnded_ = false;
    lzma_stream xz_ = LZMA_STREAM_INIT;
    bool xzInit_ = false;
    Status done_ = Status::More;
};

}  // namespace

std::unique_ptr<GuideInput> GuideInput::open(const std::string& path, std::string& error,
                                             std::uint64_t maxBytes) {
    // O_NONBLOCK: a FIFO named as a guide must not hold the thread until someone writes to it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = fd < 0 ? "The file cannot be read." : "The address names no regular file.";
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    unsigned char magic[6] = {};
    const ssize_t n = ::pread(fd, magic, sizeof magic, 0);
    Kind kind = Kind::Plain;
    if (n >= 2 && magic[0] == 0x1F && magic[1] == 0x8B)
        kind = Kind::Gzip;
    else if (n >= 6 && std::memcmp(magic,
                                   "\xFD"
                                   "7zXZ\0",
                                   6) == 0)
        kind = Kind::Xz;
    return std::make_unique<Input>(fd, kind, maxBytes);
}

}  // namespace qova::guide
