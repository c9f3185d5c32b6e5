#include "player/player_page.h"

#include "platform/address_policy.h"
#include "platform/text.h"

namespace qova::player {

using platform::equalsIgnoringAsciiCase;
using platform::startsWithIgnoringAsciiCase;

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

std::string hostBoundCookies(std::string_view cookieHeader, std::string_view address) {
    const std::string host = platform::authority(address);
    std::string cookies;
    if (host.empty())
        return cookies;
    while (!cookieHeader.empty()) {
        const std::size_t semicolon = cookieHeader.find(';');
        const std::string_view cookie = platform::trimmed(cookieHeader.substr(0, semicolon));
        const std::size_t eq = cookie.find('=');
        if (eq != std::string_view::npos && eq > 0) {
            if (!cookies.empty())
                cookies += '\n';
            cookies.append(cookie).append("; domain=").append(host).append("; path=/");
        }
        if (semicolon == std::string_view::npos)
            break;
        cookieHeader.remove_prefix(semicolon + 1);
    }
    return cookies;
}

}  // namespace qova::player
