#include "playback/channel_health_file.h"

#include <set>

#include "platform/text.h"

namespace qova::playback {
namespace {

std::string markLine(const std::string& address, const HealthMark& mark) {
    return address + "\t" + mark.when + "\t" + mark.reason;
}

}  // namespace

HealthFile HealthFile::read(std::string_view text) {
    HealthFile file;
    // Past the limit lines are still told apart, so that a rewrite knows the ones it drops.
    bool full = false;
    platform::LineReader reader(text, platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        const std::size_t first = line.find('\t');
        std::string address;
        if (line.size() <= kMaxMarkLineBytes && first != 0 && first != std::string_view::npos)
            address = line.substr(0, first);
        full = full || file.marks_.size() >= kMaxMarks;
        if (!address.empty() && !full) {
            const std::size_t second = line.find('\t', first + 1);
            const std::string_view when =
                line.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                        : second - first - 1);
            const std::string_view reason =
                second == std::string_view::npos ? std::string_view() : line.substr(second + 1);
            file.marks_.insert_or_assign(address,
                                         HealthMark{std::string(when), std::string(reason)});
        }
        file.lines_.push_back(Line{std::string(line), std::move(address)});
    }
    return file;
}

HealthFile HealthFile::written(const HealthMarks& marks) const {
    HealthFile file;
    file.marks_ = marks;
    std::set<std::string_view> placed;
    for (const Line& line : lines_) {
        if (line.address.empty()) {
            file.lines_.push_back(line);
            continue;
        }
        const auto mark = marks.find(line.address);
        if (mark != marks.end()) {
            if (placed.insert(mark->first).second)
                file.lines_.push_back(Line{markLine(mark->first, mark->second), line.address});
        } else if (marks_.count(line.address) == 0) {
            // Beyond what was read: a user's mark the program never knew of.
            file.lines_.push_back(line);
        }
    }
    for (const auto& [address, mark] : marks) {
        if (placed.count(address) == 0)
            file.lines_.push_back(Line{markLine(address, mark), address});
    }
    return file;
}

std::string HealthFile::text() const {
    std::string text;
    for (const Line& line : lines_)
        text.append(line.text).append("\r\n");
    return text;
}

}  // namespace qova::playback
