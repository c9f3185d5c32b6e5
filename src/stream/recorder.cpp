#include "stream/recorder.h"

#include <algorithm>

namespace qova::stream {
namespace {

constexpr const char* kPartMark = " (part)";

bool takesTags(const std::string& extension) {
    return extension == "mp3" || extension == "aac";
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

Recorder::Recorder(RecordingPlan plan) : plan_(std::move(plan)) {}

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

void Recorder::audio(const char* data, std::size_t size, std::uint64_t) {
    if (failed_)
        return;
    if (!whole_.write(data, size)) {
        fail(whole_);
        return;
    }
    if (song_.isOpen() && !song_.write(data, size))
        fail(song_.file());
}

void Recorder::titleChanged(const std::string& title, std::uint64_t) {
    // The title the recording began with, as a first block tells it, is no new song.
    if (failed_ || !plan_.songFiles || title == title_)
        return;
    title_ = title;
    song_.close(true);
    if (!title.empty() && !song_.create(plan_.folder, title, plan_.channel, plan_.extension, false))
        fail(song_.file());
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
