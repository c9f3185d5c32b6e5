#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

#include "stream/stream_tape.h"

namespace qova::stream {

/// The channel's most recent audio, kept on disk in a file of fixed size used as a ring, and the
/// titles that came with it: what "Save song" takes a song's beginning from. The file has no
/// name (it is unlinked as soon as it is made), so that nothing of it outlives the program,
/// however the program ends; memory stays what the titles take.
class RecentAudio : public AudioSink {
  public:
    /// Ten minutes of a 320 kb/s station and more.
    static constexpr std::uint64_t kDefaultCapacity = 32ull << 20;

    RecentAudio(const std::filesystem::path& folder, std::uint64_t capacity = kDefaultCapacity);
    ~RecentAudio() override;
    RecentAudio(const RecentAudio&) = delete;
    RecentAudio& operator=(const RecentAudio&) = delete;

    /// Whether the file could be made; without it nothing is kept.
    bool usable() const { return fd_ >= 0; }
    /// The first offset still held, and the one after the last.
    std::uint64_t begin() const;
    std::uint64_t end() const { return end_; }
    /// Hands on the bytes held in [from, to), in pieces; false when the disk refused a read.
    bool read(std::uint64_t from, std::uint64_t to,
              const std::function<void(const char*, std::size_t)>& out) const;
    /// The title that was current at the offset and where its song began (clamped to what is
    /// held: the second is then true, as the song's beginning is lost).
    struct Song {
        std::string title;
        std::uint64_t start = 0;
        bool cut = false;
    };
    Song songAt(std::uint64_t offset) const;

    void audio(const char* data, std::size_t size, std::uint64_t offset) override;
    void titleChanged(const std::string& title, std::uint64_t offset) override;

  private:
    int fd_ = -1;
    std::uint64_t capacity_;
    std::uint64_t end_ = 0;
    bool failed_ = false;
    std::deque<std::pair<std::string, std::uint64_t>> titles_;
};

}  // namespace qova::stream
