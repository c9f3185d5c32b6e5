#include "player/failure_reason.h"

#include <mpv/client.h>

namespace qova::player {

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
    for (auto line = log.rbegin(); line != log.rend(); ++line) {
        if (const auto http = line->find("HTTP error "); http != std::string::npos) {
            std::string status = line->substr(http + 11, 40);
            while (!status.empty() && (status.back() == '\r' || status.back() == '\n'))
                status.pop_back();
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
