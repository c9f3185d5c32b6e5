#include "playback/channel_health_file.h"

#include <set>

#include "platform/text.h"

namespace qova::playback {
namespace {

// A mark's line as it can be read back; "" for one that cannot.
std::string markLine(const std::string& address, const HealthMark& mark) {
    std::string line = address + "\t" + mark.when + "\t";
    if (line.size() > kMaxMarkLineBytes)
        return {};
    return line.append(platform::firstBytes(mark.reason, kMaxMarkLineBytes - line.size()));
}

bool operator==(const HealthMark& a, const HealthMark& b) {
    return a.when == b.when && a.reason == b.reason;
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
        HealthMark mark;
        if (!address.empty()) {
            const std::size_t second = line.find('\t', first + 1);
            mark.when =
                line.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                        : second - first - 1);
            if (second != std::string_view::npos)
                mark.reason = line.substr(second + 1);
        }
        full = full || file.marks_.size() >= kMaxMarks;
        if (!address.empty() && !full)
            file.marks_.insert_or_assign(address, mark);
        file.lines_.push_back(Line{std::string(line), std::move(address), std::move(mark)});
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
            if (!placed.insert(mark->first).second)
                continue;  // a later line of the address, which the mark replaces
            if (mark->second == line.mark)
                file.lines_.push_back(line);
            else if (std::string text = markLine(mark->first, mark->second); !text.empty())
                file.lines_.push_back(Line{std::move(text), line.address, mark->second});
        } else if (marks_.count(line.address) == 0) {
            // Beyond what was read: a user's mark the program never knew of.
            file.lines_.push_back(line);
        }
    }
    for (const auto& [address, mark] : marks) {
        if (placed.count(address) != 0)
            continue;
        if (std::string text = markLine(address, mark); !text.empty())
            file.lines_.push_back(Line{std::move(text), address, mark});
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
