#include "stream/recording_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace qova::stream {
namespace {

constexpr std::size_t kNameBytes = 180;
constexpr std::string_view kRefused = "/\\:*?\"<>|";

std::string synchsafe(std::size_t value) {
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = static_cast<char>(value & 0x7f);
        value >>= 7;
    }
    return out;
}

std::string textFrame(const char* id, const std::string& text) {
    if (text.empty())
        return {};
    // Encoding 3 is UTF-8; the text ends with a NUL.
    const std::string body = std::string(1, '\x03') + text + std::string(1, '\0');
    return std::string(id, 4) + synchsafe(body.size()) + std::string(2, '\0') + body;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::string safeFileName(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || kRefused.find(c) != std::string_view::npos)
            out += '_';
        else
            out += c;
        if (out.size() >= kNameBytes)
            break;
    }
    // Cut at a character's start, not inside one.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xc0) == 0x80 &&
           out.size() >= kNameBytes)
        out.pop_back();
    if (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xc0) == 0xc0 &&
        out.size() >= kNameBytes)
        out.pop_back();
    out = trimmed(out);
    while (!out.empty() && (out.front() == '.' || out.back() == '.'))
        out = trimmed(out.front() == '.' ? out.substr(1) : out.substr(0, out.size() - 1));
    return out.empty() ? "Recording" : out;
}

std::filesystem::path freePath(const std::filesystem::path& folder, const std::string& stem,
                               const std::string& extension) {
    std::error_code error;
    for (int number = 1;; ++number) {
        const std::string name = number == 1 ? stem : stem + " (" + std::to_string(number) + ")";
        std::filesystem::path path = folder / (name + "." + extension);
        if (!std::filesystem::exists(path, error) || number >= 100000)
            return path;
    }
}

std::string extensionForContentType(std::string_view contentType) {
    const std::string type = trimmed(contentType.substr(0, contentType.find(';')));
    struct Known {
        std::string_view type, extension;
    };
    static constexpr std::array kKnown = {
        Known{"audio/mpeg", "mp3"},   Known{"audio/mp3", "mp3"},
        Known{"audio/x-mpeg", "mp3"}, Known{"audio/aac", "aac"},
        Known{"audio/aacp", "aac"},   Known{"audio/x-aac", "aac"},
        Known{"audio/ogg", "ogg"},    Known{"application/ogg", "ogg"},
        Known{"audio/opus", "opus"},  Known{"audio/flac", "flac"},
        Known{"video/mp2t", "ts"},    Known{"audio/x-mpegurl", "m3u"},
    };
    for (const Known& known : kKnown) {
        if (type.size() == known.type.size() &&
            std::equal(type.begin(), type.end(), known.type.begin(),
                       [](char a, char b) { return std::tolower(a) == b; }))
            return std::string(known.extension);
    }
    return "bin";
}

std::string id3v2Tag(const std::string& title, const std::string& artist,
                     const std::string& album) {
    const std::string frames =
        textFrame("TIT2", title) + textFrame("TPE1", artist) + textFrame("TALB", album);
    if (frames.empty())
        return {};
    return std::string("ID3\x04\x00\x00", 6) + synchsafe(frames.size()) + frames;
}

SongName splitStreamTitle(const std::string& streamTitle) {
    const auto separator = streamTitle.find(" - ");
    if (separator == std::string::npos)
        return {{}, trimmed(streamTitle)};
    return {trimmed(std::string_view(streamTitle).substr(0, separator)),
            trimmed(std::string_view(streamTitle).substr(separator + 3))};
}

RecordingFile::~RecordingFile() {
    close();
}

bool RecordingFile::create(const std::filesystem::path& folder, const std::string& stem,
                           const std::string& extension) {
    close();
    error_.clear();
    diskFull_ = false;
    written_ = 0;
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    // O_EXCL: a name taken meanwhile by another program is never written over.
    for (int tries = 0; tries < 16; ++tries) {
        path_ = freePath(folder, stem, extension);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        error_ = std::string("cannot create ") + path_.string() + ": " + std::strerror(errno);
        return false;
    }
    extension_ = extension;
    return true;
}

bool RecordingFile::write(const char* data, std::size_t size) {
    if (fd_ < 0)
        return false;
    while (size > 0) {
        const ssize_t done = ::write(fd_, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            diskFull_ = done == 0 || errno == ENOSPC || errno == EDQUOT;
            error_ = diskFull_ ? "the disk is full" : std::strerror(errno);
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        written_ += static_cast<std::size_t>(done);
    }
    return true;
}

void RecordingFile::close(const std::string& newStem) {
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
    if (newStem.empty())
        return;
    const std::filesystem::path to = freePath(path_.parent_path(), newStem, extension_);
    // link then unlink: a name taken meanwhile is never replaced, unlike rename.
    if (::link(path_.c_str(), to.c_str()) == 0) {
        ::unlink(path_.c_str());
        path_ = to;
    }
}

}  // namespace qova::stream
