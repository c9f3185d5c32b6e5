#include "testkit/streams/numbered_station.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace qova::testkit::streams {
namespace {

constexpr int kTickMs = 5;
constexpr std::size_t kMaxListeners = 32;
constexpr std::size_t kMaxUnsent = 8 << 20;
constexpr std::size_t kHeadLimit = 16 * 1024;
// Where in the frame its number lies: after the header and the side information, in what a
// decoder takes for ancillary data.
constexpr std::size_t kNumberAt = 36;
constexpr const char kMark[] = "QOVAFRAME";

}  // namespace

std::string NumberedStation::frame(std::uint64_t n) {
    std::string bytes(kFrameBytes, '\0');
    // Sync, MPEG-1 Layer III without CRC; 128 kb/s, 44.1 kHz, no padding; stereo.
    bytes[0] = static_cast<char>(0xff);
    bytes[1] = static_cast<char>(0xfb);
    bytes[2] = static_cast<char>(0x90);
    bytes[3] = static_cast<char>(0x00);
    std::memcpy(bytes.data() + kNumberAt, kMark, sizeof kMark - 1);
    for (int i = 0; i < 8; ++i)
        bytes[kNumberAt + sizeof kMark - 1 + static_cast<std::size_t>(i)] =
            static_cast<char>((n >> (56 - 8 * i)) & 0xff);
    return bytes;
}

std::vector<std::uint64_t> NumberedStation::framesIn(const std::string& audio) {
    std::vector<std::uint64_t> numbers;
    const std::string mark(kMark, sizeof kMark - 1);
    for (std::size_t at = audio.find(mark); at != std::string::npos;
         at = audio.find(mark, at + 1)) {
        if (at < kNumberAt || at - kNumberAt + kFrameBytes > audio.size())
            continue;
        const std::size_t start = at - kNumberAt;
        std::uint64_t n = 0;
        for (int i = 0; i < 8; ++i)
            n = (n << 8) |
                static_cast<unsigned char>(audio[at + mark.size() + static_cast<std::size_t>(i)]);
        if (audio.compare(start, kFrameBytes, frame(n)) == 0)
            numbers.push_back(n);
    }
    return numbers;
}

NumberedStation::NumberedStation(Options options) : options_(std::move(options)) {
    started_ = Clock::now();
    listenNow();
    thread_ = std::thread(&NumberedStation::serve, this);
}

NumberedStation::~NumberedStation() {
    stopping_ = true;
    thread_.join();
    stop();
}

std::string NumberedStation::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/numbered.mp3";
}

void NumberedStation::listenNow() {
    const std::lock_guard lock(mutex_);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string why = std::strerror(errno);
        if (listener_ >= 0)
            ::close(std::exchange(listener_, -1));
        throw std::runtime_error("numbered station: cannot listen on 127.0.0.1: " + why);
    }
    port_ = ntohs(address.sin_port);
    listening_ = true;
}

void NumberedStation::stop() {
    const std::lock_guard lock(mutex_);
    for (Listener& listener : listeners_)
        ::close(listener.fd);
    listeners_.clear();
    if (listener_ >= 0)
        ::close(listener_);
    listener_ = -1;
    listening_ = false;
}

void NumberedStation::start() {
    // The serving thread's poll may hold the old socket for one tick after it was closed.
    for (int tries = 0; !listening_; ++tries) {
        try {
            listenNow();
        } catch (const std::runtime_error&) {
            if (tries == 200)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
        }
    }
}

std::uint64_t NumberedStation::airedFrames() const {
    const std::lock_guard lock(rateMutex_);
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    return framesBefore_ + static_cast<std::uint64_t>(seconds * options_.framesPerSecond);
}

void NumberedStation::setFramesPerSecond(double framesPerSecond) {
    const std::uint64_t aired = airedFrames();
    const std::lock_guard lock(rateMutex_);
    framesBefore_ = aired;
    started_ = Clock::now();
    options_.framesPerSecond = framesPerSecond;
}

std::vector<std::string> NumberedStation::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

int NumberedStation::listeners() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(listeners_.size());
}

std::string NumberedStation::titleAt(std::uint64_t frameNumber) const {
    auto it = options_.titles.upper_bound(frameNumber);
    return it == options_.titles.begin() ? std::string() : std::prev(it)->second;
}

void NumberedStation::feed(Listener& listener, std::uint64_t aired) {
    for (; listener.nextFrame < aired && listener.out.size() < kMaxUnsent; ++listener.nextFrame) {
        const std::string bytes = frame(listener.nextFrame);
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (!listener.metadata) {
                listener.out += bytes;
                break;
            }
            const std::size_t take = std::min(bytes.size() - done, listener.untilBlock);
            listener.out.append(bytes, done, take);
            done += take;
            listener.untilBlock -= take;
            if (listener.untilBlock > 0)
                continue;
            // The block tells the title of the frame under way where it stands.
            const std::string title =
                titleAt(done < bytes.size() ? listener.nextFrame : listener.nextFrame + 1);
            std::string block;
            if (title != listener.lastTitle) {
                block = "StreamTitle='" + title + "';";
                block.resize((block.size() + 15) / 16 * 16, '\0');
                listener.lastTitle = title;
            }
            listener.out += static_cast<char>(block.size() / 16);
            listener.out += block;
            listener.untilBlock = options_.metaint;
        }
    }
}

void NumberedStation::serve() {
    const Clock::time_point began = Clock::now();
    while (!stopping_ && Clock::now() - began < options_.lifetime) {
        std::vector<pollfd> fds;
        {
            const std::lock_guard lock(mutex_);
            if (listener_ >= 0)
                fds.push_back({listener_, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), kTickMs);
        const std::lock_guard lock(mutex_);
        if (listener_ >= 0) {
            for (int fd; listeners_.size() < kMaxListeners &&
                         (fd = ::accept4(listener_, nullptr, nullptr,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                Listener added;
                added.fd = fd;
                listeners_.push_back(std::move(added));
            }
        }
        const std::uint64_t aired = airedFrames();
        for (Listener& listener : listeners_) {
            if (!listener.answered) {
                char buffer[4096];
                const ssize_t got = ::recv(listener.fd, buffer, sizeof buffer, 0);
                if (got > 0)
                    listener.request.append(buffer, static_cast<std::size_t>(got));
                const auto end = listener.request.find("\r\n\r\n");
                if (got == 0 || listener.request.size() > kHeadLimit) {
                    ::close(std::exchange(listener.fd, -1));
                    continue;
                }
                if (end == std::string::npos)
                    continue;
                listener.request.resize(end);
                requests_.push_back(listener.request);
                std::string lowered = listener.request;
                std::transform(lowered.begin(), lowered.end(), lowered.begin(), ::tolower);
                listener.metadata =
                    options_.metaint > 0 && lowered.find("icy-metadata: 1") != std::string::npos;
                listener.answered = true;
                listener.untilBlock = options_.metaint;
                listener.nextFrame = aired - std::min<std::uint64_t>(aired, options_.burstFrames);
                listener.out = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Numbered\r\n";
                if (listener.metadata)
                    listener.out += "icy-metaint: " + std::to_string(options_.metaint) + "\r\n";
                listener.out += "\r\n";
            }
            feed(listener, aired);
            while (!listener.out.empty()) {
                const ssize_t sent =
                    ::send(listener.fd, listener.out.data(), listener.out.size(), MSG_NOSIGNAL);
                if (sent <= 0) {
                    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                        ::close(std::exchange(listener.fd, -1));
                    break;
                }
                listener.out.erase(0, static_cast<std::size_t>(sent));
            }
        }
        std::erase_if(listeners_, [](const Listener& listener) { return listener.fd < 0; });
    }
}

}  // namespace qova::testkit::streams
