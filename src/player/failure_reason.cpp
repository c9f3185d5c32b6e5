#include "player/failure_reason.h"

#include <mpv/client.h>

#include <algorithm>
#include <string_view>

#include "platform/text.h"

namespace qova::player {
namespace {

// How much of a server's status line the user reads ("503 Service Unavailable").
constexpr std::size_t kStatusBytes = 40;

// The status a server answered with, as the engine logged it after "HTTP error ": a server's
// own bytes, so read as any text a stream sends about itself (valid UTF-8, no control
// characters, one line) and cut between characters.
std::string serverStatus(std::string_view logged) {
    // Enough for the bound in any encoding, not cut inside a UTF-8 sequence (at most four
    // bytes), which would make the whole status read as Windows-1252.
    const std::size_t enough = std::min(logged.size(), 4 * kStatusBytes);
    std::size_t take = enough;
    while (take + 3 > enough && take < logged.size() &&
           (static_cast<unsigned char>(logged[take]) & 0xC0) == 0x80)
        --take;
    std::string status = platform::textFromStream(logged.substr(0, take));
    if (status.size() > kStatusBytes) {
        std::size_t cut = 0;
        for (const std::size_t start : platform::characterStarts(status)) {
            if (start > kStatusBytes)
                break;
            cut = start;
        }
        status.resize(cut);
        while (!status.empty() && status.back() == ' ')
            status.pop_back();
    }
    return status;
}

}  // namespace

std::string failureReason(int error, const std::vector<std::string>& log, EngineErrorWords words) {
    // What libmpv and FFmpeg log, newest first; the first line that tells wins.
    static constexpr struct {
        const char* logged;
        const char* reason;
    } kReasons[] = {
        {"Connection refused", "the server refused the connection"},
        {"timed out", "the server did not answer in time"},
        {"Failed to resolve", "the server's name is not known"},
        {"Name or service not known", "the server's name is not known"},
        {"name resolution", "the server's name is not known"},
        {"No route to host", "the network does not reach the server"},
        {"Network is unreachable", "the network does not reach the server"},
        {"Connection reset", "the server broke the connection off"},
        {"Failed to recognize file format", "its format is not recognised"},
    };
    constexpr std::string_view kHttpError = "HTTP error ";
    for (auto line = log.rbegin(); line != log.rend(); ++line) {
        if (const auto http = line->find(kHttpError); http != std::string::npos) {
            const std::string status =
                serverStatus(std::string_view(*line).substr(http + kHttpError.size()));
            return status.starts_with("404") ? "the server has no stream at this address (404)"
                                             : "the server answered " + status;
        }
        for (const auto& known : kReasons) {
            if (line->find(known.logged) != std::string::npos)
                return known.reason;
        }
    }
    if (error == MPV_ERROR_UNKNOWN_FORMAT)
        return "its format is not recognised";
    return error < 0 ? words(error) : "the engine gives no reason";
}

std::string endFileMessage(int reason, int error, const std::vector<std::string>& log,
                           EngineErrorWords words) {
    switch (reason) {
        case MPV_END_FILE_REASON_EOF:
            return "The stream has ended.";
        case MPV_END_FILE_REASON_STOP:
        case MPV_END_FILE_REASON_QUIT:
        case MPV_END_FILE_REASON_REDIRECT:
            return {};
        case MPV_END_FILE_REASON_ERROR:
            break;
        default:
            // A reason newer than this program: only an error code makes it worth telling.
            if (error >= 0)
                return {};
            break;
    }
    if (error >= 0 && log.empty())
        return "The stream cannot be played.";
    return "The stream cannot be played: " + failureReason(error, log, words) + ".";
}

}  // namespace qova::player
