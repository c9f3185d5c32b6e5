#include "stream/recorder.h"

#include <algorithm>
#include <utility>

namespace qova::stream {
namespace {

constexpr const char* kPartMark = " (part)";

bool takesTags(const std::string& extension) {
    return extension == "mp3" || extension == "aac";
}

// Where the first frame header of MP3 (11 bits of sync) or AAC in ADTS (12 bits) begins, or
// `size` when there is none.
std::size_t frameStart(const char* data, std::size_t size, const std::string& extension) {
    const unsigned mask = extension == "aac" ? 0xf6 : 0xe0;
    const unsigned sync = extension == "aac" ? 0xf0 : 0xe0;
    for (std::size_t at = 0; at + 1 < size; ++at) {
        if (static_cast<unsigned char>(data[at]) == 0xff &&
            (static_cast<unsigned char>(data[at + 1]) & mask) == sync)
            return at;
    }
    return size;
}

// The length of the MP3 frame (MPEG audio) or AAC frame (ADTS) whose header begins at `h`;
// 0 when none begins there, or when fewer than `size` bytes of the header have come.
std::size_t frameLength(const unsigned char* h, std::size_t size, bool aac) {
    if (size < 6 || h[0] != 0xff)
        return 0;
    if (aac) {
        if ((h[1] & 0xf6) != 0xf0)
            return 0;
        const std::size_t length = ((h[3] & 0x03u) << 11) | (h[4] << 3u) | (h[5] >> 5u);
        return length >= 7 ? length : 0;
    }
    // Version: 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1; layer: 1 III, 2 II, 3 I.
    const unsigned version = (h[1] >> 3u) & 3u;
    const unsigned layer = (h[1] >> 1u) & 3u;
    const unsigned rateIndex = h[2] >> 4u;
    const unsigned sampleIndex = (h[2] >> 2u) & 3u;
    const unsigned padding = (h[2] >> 1u) & 1u;
    if ((h[1] & 0xe0) != 0xe0 || version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 ||
        sampleIndex == 3)
        return 0;
    static constexpr unsigned kKbps[2][3][15] = {
        {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}},
        {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256}}};
    static constexpr unsigned kSampleRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const unsigned bitsPerSecond = kKbps[mpeg1 ? 0 : 1][layer - 1][rateIndex] * 1000;
    const unsigned sampleRate = kSampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    if (layer == 3)
        return (12 * bitsPerSecond / sampleRate + padding) * 4;
    const unsigned perSample = layer == 1 && !mpeg1 ? 72 : 144;
    return perSample * bitsPerSecond / sampleRate + padding;
}

// Writes the part of [offset, offset + size) from `from` on; returns the offset after it.
template <typename Write>
std::uint64_t writeFrom(std::uint64_t from, const char* data, std::size_t size,
                        std::uint64_t offset, Write&& write) {
    if (offset + size <= from)
        return from;
    const std::size_t skip = from > offset ? static_cast<std::size_t>(from - offset) : 0;
    write(data + skip, size - skip);
    return offset + size;
}

}  // namespace

bool SongFile::create(const std::filesystem::path& folder, const std::string& streamTitle,
                      const std::string& channel, const std::string& extension,
                      bool beginningMissing) {
    stem_ = safeFileName(streamTitle);
    marked_ = beginningMissing;
    if (!file_.create(folder, marked_ ? stem_ + kPartMark : stem_, extension))
        return false;
    if (!takesTags(extension))
        return true;
    const SongName name = splitStreamTitle(streamTitle);
    return file_.write(id3v2Tag(name.title, name.artist, channel));
}

void SongFile::close(bool complete) {
    file_.close(complete || marked_ ? std::string() : stem_ + kPartMark);
}

Recorder::Recorder(RecordingPlan plan)
    : plan_(std::move(plan)),
      framed_(!takesTags(plan_.extension)),
      songsFramed_(plan_.songFiles && takesTags(plan_.extension)) {}

Recorder::~Recorder() {
    finish();
}

bool Recorder::start(const std::string& currentTitle) {
    title_ = currentTitle;
    if (!whole_.create(plan_.folder, safeFileName(plan_.channel + " " + plan_.started),
                       plan_.extension)) {
        error_ = whole_.error();
        failed_ = true;
        return false;
    }
    if (plan_.songFiles && !title_.empty() &&
        !song_.create(plan_.folder, title_, plan_.channel, plan_.extension, true))
        fail(song_.file());
    return !failed_;
}

void Recorder::finish() {
    whole_.close();
    // A song whose title came with no frame of it yet has its file all the same. The frame
    // under way is left out of it: a song file holds whole frames.
    if (change_ && !failed_)
        nextSong();
    frame_.clear();
    song_.close(false);
}

void Recorder::fail(const RecordingFile& file) {
    if (failed_)
        return;
    failed_ = true;
    error_ = file.error();
    finish();
    if (onFailed)
        onFailed();
}

void Recorder::audio(const char* data, std::size_t size, std::uint64_t offset) {
    if (failed_)
        return;
    if (!framed_) {
        const std::size_t start = frameStart(data, size, plan_.extension);
        framed_ = start < size;
        data += start;
        size -= start;
        offset += start;
    }
    if (!whole_.write(data, size)) {
        fail(whole_);
        return;
    }
    feedSongs(data, size, offset);
}

void Recorder::feedSongs(const char* data, std::size_t size, std::uint64_t offset) {
    if (!songsFramed_) {
        if (song_.isOpen() && !song_.write(data, size))
            fail(song_.file());
        return;
    }
    if (frame_.empty())
        frameOffset_ = offset;
    frame_.append(data, size);
    const bool aac = plan_.extension == "aac";
    std::size_t used = 0;
    while (!failed_ && used < frame_.size()) {
        const auto* at = reinterpret_cast<const unsigned char*>(frame_.data() + used);
        const std::size_t left = frame_.size() - used;
        std::size_t length = frameLength(at, left, aac);
        if (length == 0) {
            // A header that has not all come yet is waited for; bytes that are no frame go
            // with the song under way, up to the next byte that may begin one.
            if (at[0] == 0xff && left < 6)
                break;
            const auto next = frame_.find('\xff', used + 1);
            length = (next == std::string::npos ? frame_.size() : next) - used;
        }
        if (length > left)
            break;
        songFrame(frame_.data() + used, length, frameOffset_ + used);
        used += length;
    }
    frame_.erase(0, used);
    frameOffset_ += used;
}

void Recorder::songFrame(const char* data, std::size_t size, std::uint64_t offset) {
    // The frame goes with the new song when the title changed in its first half: the cut is
    // at the frame boundary nearest the byte where it changed.
    if (change_ && 2 * change_->offset <= 2 * offset + size)
        nextSong();
    if (song_.isOpen() && !song_.write(data, size))
        fail(song_.file());
}

void Recorder::nextSong() {
    const std::string title = std::exchange(change_, std::nullopt)->title;
    song_.close(true);
    if (!title.empty() && !song_.create(plan_.folder, title, plan_.channel, plan_.extension, false))
        fail(song_.file());
}

void Recorder::titleChanged(const std::string& title, std::uint64_t offset) {
    // The title the recording began with, as a first block tells it, is no new song.
    if (failed_ || !plan_.songFiles || title == title_)
        return;
    title_ = title;
    // A song shorter than a frame still has its file.
    if (change_)
        nextSong();
    change_ = Change{title, offset};
    if (!songsFramed_)
        nextSong();
}

SongSaver::SongSaver(const RecentAudio& recent, const std::filesystem::path& folder,
                     const std::string& channel, const std::string& extension)
    : recent_(recent), folder_(folder), channel_(channel), extension_(extension) {}

bool SongSaver::start() {
    const RecentAudio::Song song = recent_.songAt(recent_.end());
    const std::string title = song.title.empty() ? channel_ : song.title;
    if (!song_.create(folder_, title, channel_, extension_, song.cut)) {
        error_ = song_.file().error();
        return false;
    }
    bool written = true;
    const bool read = recent_.read(
        song.start, recent_.end(),
        [&](const char* data, std::size_t size) { written = written && song_.write(data, size); });
    if (!read || !written) {
        error_ = read ? song_.file().error() : "the held audio cannot be read";
        song_.close(false);
        return false;
    }
    next_ = recent_.end();
    return true;
}

void SongSaver::finish() {
    if (!song_.isOpen())
        return;
    song_.close(done_);
    if (onDone)
        onDone();
}

void SongSaver::audio(const char* data, std::size_t size, std::uint64_t offset) {
    if (!song_.isOpen())
        return;
    bool written = true;
    next_ = writeFrom(next_, data, size, offset, [&](const char* from, std::size_t count) {
        written = song_.write(from, count);
    });
    if (!written) {
        error_ = song_.file().error();
        finish();
    }
}

void SongSaver::titleChanged(const std::string&, std::uint64_t) {
    done_ = true;
    finish();
}

}  // namespace qova::stream
