#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qova::stream {

/// Takes a channel's audio as the tape passes it on: every byte once, in order, with the offset
/// of its first byte counted from the channel's start.
class AudioSink {
  public:
    virtual ~AudioSink() = default;
    virtual void audio(const char* data, std::size_t size, std::uint64_t offset) = 0;
    /// The station's title changed; the song it names begins at this audio offset.
    virtual void titleChanged(const std::string& title, std::uint64_t offset) = 0;
};

/// One channel's audio across the connections that carry it. A reconnection starts a new
/// answer, and a server that sends a burst of what it holds to a new listener repeats audio the
/// tape already has: the repeat is found by its bytes and left out, so that the sinks hear each
/// byte of the station once. Used on one thread.
class StreamTape {
  public:
    /// How much of the end of the tape a new answer is compared with: more than the bursts of
    /// the common servers (Icecast sends 64 KiB by default).
    static constexpr std::size_t kTailKept = 512 * 1024;
    /// How much of a new answer must have come before it is known not to repeat the tape.
    static constexpr std::size_t kProbe = 4096;

    void addSink(AudioSink* sink);
    void removeSink(AudioSink* sink);
    const std::vector<AudioSink*>& sinks() const { return sinks_; }

    /// The next bytes belong to a new answer of the station (the first, or a reconnection).
    void beginAnswer();
    void audio(const char* data, std::size_t size);
    /// A title came after the answer's first `answerOffset` audio bytes.
    void title(const std::string& title, std::uint64_t answerOffset);
    /// The audio bytes passed on since the channel started.
    std::uint64_t length() const { return length_; }
    const std::string& currentTitle() const { return title_; }
    std::uint64_t currentTitleOffset() const { return titleOffset_; }

  private:
    void pass(const char* data, std::size_t size);
    void announce(const std::string& title, std::uint64_t offset);
    // Compares what came of the new answer with the tail; true once it is decided.
    bool settleOverlap();
    void flushPending();

    std::vector<AudioSink*> sinks_;
    std::uint64_t length_ = 0;
    std::string tail_;
    // The new answer's first bytes, while it is not yet known how much of them repeats the tail.
    bool probing_ = false;
    std::string pending_;
    std::vector<std::pair<std::string, std::uint64_t>> pendingTitles_;
    // The tape's offset of the answer's first byte, once its repeat is known.
    std::uint64_t answerBase_ = 0;
    std::uint64_t answerSkipped_ = 0;
    std::string title_;
    std::uint64_t titleOffset_ = 0;
};

}  // namespace qova::stream
