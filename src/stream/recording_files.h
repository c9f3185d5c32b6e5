#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace qova::stream {

/// A name made of outside text (a channel's name, a station's title) that every common file
/// system takes: no separators, no characters Windows' file systems refuse on a shared drive,
/// no control characters, no leading dot, bounded in length. Empty text gives "Recording".
std::string safeFileName(std::string_view text);

/// folder/stem.ext, or folder/"stem (2).ext" and on for a name that is taken: a recording never
/// replaces a file.
std::filesystem::path freePath(const std::filesystem::path& folder, const std::string& stem,
                               const std::string& extension);

/// The file extension for a stream's content type: mp3, aac, ogg, ...; "bin" when unknown.
std::string extensionForContentType(std::string_view contentType);

/// An ID3v2.4 tag (UTF-8 text frames) with the song's title, artist and album, for the head
/// of an MP3 or AAC file; empty fields are left out.
std::string id3v2Tag(const std::string& title, const std::string& artist, const std::string& album);

/// A station's title split as stations write it, "Artist - Title"; without the separator the
/// whole is the title.
struct SongName {
    std::string artist;
    std::string title;
};
SongName splitStreamTitle(const std::string& streamTitle);

/// A file a recording writes into, created anew (never an existing one) and written straight to
/// the system, with no buffer in between: what was written survives the program's sudden end.
class RecordingFile {
  public:
    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    /// Creates a free name in the folder (see freePath); false and error() when it cannot.
    bool create(const std::filesystem::path& folder, const std::string& stem,
                const std::string& extension);
    bool write(const char* data, std::size_t size);
    bool write(std::string_view data) { return write(data.data(), data.size()); }
    /// Closes it; with a new stem it is renamed to a free name of that stem first.
    void close(const std::string& newStem = {});
    bool isOpen() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }
    /// Why the last create or write failed, in words for the user; "no space" for a full disk.
    const std::string& error() const { return error_; }
    bool diskFull() const { return diskFull_; }
    std::size_t bytesWritten() const { return written_; }

  private:
    int fd_ = -1;
    std::filesystem::path path_;
    std::string extension_;
    std::string error_;
    bool diskFull_ = false;
    std::size_t written_ = 0;
};

}  // namespace qova::stream
