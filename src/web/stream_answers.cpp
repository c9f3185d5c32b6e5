#include "web/stream_answers.h"

#include "platform/text.h"

namespace qova::web {
namespace {

constexpr std::string_view kSpace = " \t\r\f\v";

std::string_view withoutSpaceAround(std::string_view text) {
    const std::size_t start = text.find_first_not_of(kSpace);
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(kSpace) - start + 1);
}

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           platform::equalsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

std::optional<RtspStatus> rtspStatus(std::string_view answer) {
    const std::size_t end = answer.substr(0, kMaxRtspStatusLine).find("\r\n");
    if (end == std::string_view::npos) {
        if (answer.size() >= kMaxRtspStatusLine)
            return RtspStatus{};
        return std::nullopt;
    }
    const std::string_view line = answer.substr(0, end);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || !line.starts_with("RTSP/"))
        return RtspStatus{};
    std::string_view code = line.substr(space + 1);
    code = code.substr(0, code.find(' '));
    if (code.empty())
        return RtspStatus{};
    return RtspStatus{true, std::string(code)};
}

bool isPlaylistAnswer(std::string_view path, std::string_view contentType, std::string_view start) {
    return endsWithIgnoringAsciiCase(path, ".m3u8") ||
           platform::asciiLowerCase(contentType).find("mpegurl") != std::string::npos ||
           start.starts_with("#EXTM3U");
}

std::optional<PlaylistEntry> firstPlaylistEntry(std::string_view playlist) {
    const bool variant = playlist.find("#EXT-X-STREAM-INF") != std::string_view::npos;
    std::size_t start = 0;
    while (start < playlist.size()) {
        std::size_t end = playlist.find('\n', start);
        if (end == std::string_view::npos)
            end = playlist.size();
        const std::string_view line = withoutSpaceAround(playlist.substr(start, end - start));
        if (!line.empty() && line.front() != '#')
            return PlaylistEntry{line, variant};
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace qova::web
