#include "player/player_page.h"

#include "platform/text.h"

namespace qova::player {

using platform::asciiLowerCase;
using platform::equalsIgnoringAsciiCase;
using platform::isAsciiLetter;
using platform::startsWithIgnoringAsciiCase;

bool isLocalMediaAddress(std::string_view address) {
    std::size_t i = 0;
    const auto isSchemeChar = [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    };
    while (i < address.size() && isSchemeChar(address[i]))
        ++i;
    // A one-letter "scheme" is a drive letter.
    if (i < 2 || i >= address.size() || address[i] != ':' || !isAsciiLetter(address[0]))
        return true;
    return equalsIgnoringAsciiCase(address.substr(0, i), "file");
}

bool isShortAnalysisStream(std::string_view address, bool soundOnly) {
    if (startsWithIgnoringAsciiCase(address, "rtsp://") ||
        startsWithIgnoringAsciiCase(address, "rtsps://"))
        return true;
    if (!startsWithIgnoringAsciiCase(address, "http://") &&
        !startsWithIgnoringAsciiCase(address, "https://"))
        return false;
    std::string_view path = address.substr(address.find("//") + 2);
    const std::size_t slash = path.find('/');
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    path = path.substr(0, path.find_first_of("?#"));
    const std::string_view last = path.substr(path.rfind('/') + 1);
    const std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos)
        return soundOnly;  // "/stream", "/live": how stations name their mounts, and TV too
    static constexpr std::string_view kSoundFormats[] = {"mp3",  "aac", "aacp", "ogg", "oga",
                                                         "opus", "m4a", "flac", "mpga"};
    const std::string_view extension = last.substr(dot + 1);
    for (const std::string_view format : kSoundFormats) {
        if (equalsIgnoringAsciiCase(extension, format))
            return true;
    }
    return false;
}

bool closesWithGoodbye(std::string_view address) {
    for (const std::string_view scheme : {"rtsp", "rtmp", "mms"}) {
        if (startsWithIgnoringAsciiCase(address, scheme))
            return true;
    }
    return false;
}

std::optional<std::string> refusedStreamAddress(std::string_view address, bool localFilesAllowed) {
    if (isLocalMediaAddress(address)) {
        if (localFilesAllowed)
            return std::nullopt;
        return std::string("files on this computer play only from a channel directory there");
    }
    static constexpr std::string_view kStreamSchemes[] = {"http",  "https", "rtsp", "rtsps", "rtmp",
                                                          "rtmps", "mms",   "mmsh", "mmst"};
    const std::string_view scheme = address.substr(0, address.find(':'));
    for (std::string_view known : kStreamSchemes) {
        if (equalsIgnoringAsciiCase(scheme, known))
            return std::nullopt;
    }
    return "\"" + asciiLowerCase(scheme) + ":\" is no address of a stream";
}

}  // namespace qova::player
