#include "stream/station_answer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

namespace qova::stream {
namespace {

// No station sends more between two blocks; a larger number is no interval to trust.
constexpr std::size_t kMetaintLimit = 1 << 20;

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool tapedType(const std::string& type) {
    return type.starts_with("audio/") || type == "application/ogg" || type == "video/mp2t";
}

}  // namespace

StationAnswer readStationAnswer(std::string_view head) {
    StationAnswer answer;
    const auto lineEnd = head.find('\n');
    const std::string_view status = trimmed(head.substr(0, lineEnd));
    const auto space = status.find(' ');
    const std::string_view protocol = status.substr(0, space);
    if (space == std::string_view::npos || !(protocol.starts_with("HTTP/") || protocol == "ICY"))
        return answer;
    const std::string_view code = status.substr(space + 1, 3);
    std::from_chars(code.data(), code.data() + code.size(), answer.status);
    bool chunked = false;
    bool metaintRead = true;
    std::string_view rest =
        lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 1);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = lowered(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (name == "content-type") {
            answer.contentType = std::string(value);
        } else if (name == "transfer-encoding") {
            chunked = lowered(value).find("chunked") != std::string::npos;
        } else if (name == "icy-metaint") {
            std::size_t metaint = 0;
            const auto [last, error] =
                std::from_chars(value.data(), value.data() + value.size(), metaint);
            metaintRead = error == std::errc() && last == value.data() + value.size() &&
                          metaint <= kMetaintLimit;
            answer.metaint = metaintRead ? metaint : 0;
        }
    }
    const std::string type =
        lowered(trimmed(answer.contentType.substr(0, answer.contentType.find(';'))));
    answer.taped = answer.status == 200 && tapedType(type) && !chunked && metaintRead;
    return answer;
}

}  // namespace qova::stream
