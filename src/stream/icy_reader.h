#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qova::stream {

/// The value of StreamTitle='...'; in an ICY metadata block, or nothing when the block names
/// none. The block is a station's text: bounded by the protocol (16 * 255 bytes), trusted in
/// nothing else; a title ends at the first "';" as stations write it.
std::optional<std::string> streamTitleOf(std::string_view block);

/// Takes a station's body apart as it arrives: audio bytes, and every `metaint` bytes one ICY
/// metadata block (a length byte times 16, then the text). Hands on the audio alone, and each
/// StreamTitle with the count of audio bytes that came before it, which is where the new song
/// begins in the audio. With metaint 0 everything is audio.
class IcyReader {
  public:
    struct Handlers {
        std::function<void(const char* data, std::size_t size)> audio;
        /// Each StreamTitle a block names, also when it repeats the one before.
        std::function<void(const std::string& title, std::uint64_t audioOffset)> title;
    };

    IcyReader(std::size_t metaint, Handlers handlers);

    void feed(const char* data, std::size_t size);
    /// Audio bytes handed on so far.
    std::uint64_t audioBytes() const { return audioBytes_; }

  private:
    std::size_t metaint_;
    Handlers handlers_;
    std::uint64_t audioBytes_ = 0;
    // Audio bytes until the next length byte; then, while a block is read, what is left of it.
    std::size_t untilBlock_;
    bool inBlock_ = false;
    std::size_t blockLeft_ = 0;
    std::string block_;
};

}  // namespace qova::stream
