#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qova::testkit::streams {

/// A radio station on 127.0.0.1 whose every byte is known: MP3 frames (MPEG-1 Layer III,
/// 128 kb/s, 44.1 kHz, silent, 417 bytes) that each carry their number, aired in real time
/// from its start, with ICY titles that change at given frames. A listener that asks for
/// metadata gets a block every `metaint` audio bytes; the block names the title of the frame
/// under way at that point, when it differs from the last one the listener was sent. A new
/// listener first gets the last `burstFrames` frames aired, as Icecast's burst on connect.
///
/// One thread of its own serves every listener; it ends with the station or after
/// `lifetime`, and holds at most 32 listeners with at most 8 MiB unsent each.
class NumberedStation {
  public:
    using Clock = std::chrono::steady_clock;
    struct Options {
        std::size_t metaint = 8192;
        double framesPerSecond = 44100.0 / 1152.0;
        std::size_t burstFrames = 0;
        /// From which frame on each title holds; the first should be frame 0.
        std::map<std::uint64_t, std::string> titles{{0, "Numbered - Song 0"}};
        std::chrono::seconds lifetime{600};
    };
    static constexpr std::size_t kFrameBytes = 417;

    explicit NumberedStation(Options options);
    ~NumberedStation();
    NumberedStation(const NumberedStation&) = delete;
    NumberedStation& operator=(const NumberedStation&) = delete;

    std::uint16_t port() const { return port_; }
    /// http://127.0.0.1:<port>/numbered.mp3
    std::string url() const;
    /// Closes every listener and stops listening, as a server that goes down; frames go on
    /// being counted, as the station's clock does.
    void stop();
    /// Listens again on the same port.
    void start();
    /// Frames aired since the station started.
    std::uint64_t airedFrames() const;
    /// Airs the frames from now on at this rate (a benchmark's hours in minutes).
    void setFramesPerSecond(double framesPerSecond);
    /// The request heads that came, in order.
    std::vector<std::string> requests() const;
    /// How many listeners are connected now.
    int listeners() const;

    /// Frame number n as the station sends it.
    static std::string frame(std::uint64_t n);
    /// The numbers of the whole frames in a stretch of audio, in order (a partial first or last
    /// frame is left out; bytes that are no frame are skipped).
    static std::vector<std::uint64_t> framesIn(const std::string& audio);

  private:
    struct Listener {
        int fd = -1;
        std::string request;
        bool answered = false;
        bool metadata = false;
        std::uint64_t nextFrame = 0;
        std::size_t untilBlock = 0;
        std::optional<std::string> lastTitle;
        std::string out;
    };
    void serve();
    void listenNow();
    void feed(Listener& listener, std::uint64_t aired);
    std::string titleAt(std::uint64_t frame) const;

    Options options_;
    Clock::time_point started_;
    // The rate holds from this point, after the frames aired before it.
    mutable std::mutex rateMutex_;
    std::uint64_t framesBefore_ = 0;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    int listener_ = -1;
    bool listening_ = false;
    std::vector<Listener> listeners_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace qova::testkit::streams
