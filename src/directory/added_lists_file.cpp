#include "directory/added_lists_file.h"

#include <set>

#include "platform/text.h"

namespace qova::directory {

AddedListsFile AddedListsFile::read(std::string_view text) {
    AddedListsFile file;
    std::set<std::string_view> read;
    platform::LineReader reader(text, platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        const std::string_view address = platform::trimmed(line);
        const bool list = read.size() < kMaxAddedLists && !address.empty() &&
                          address.front() != '#' && address.size() <= kMaxListAddressBytes &&
                          read.insert(address).second;
        file.lines_.push_back(Line{std::string(line), list});
    }
    return file;
}

std::vector<std::string> AddedListsFile::addresses() const {
    std::vector<std::string> addresses;
    for (const Line& line : lines_) {
        if (line.list)
            addresses.emplace_back(platform::trimmed(line.text));
    }
    return addresses;
}

AddedListsFile AddedListsFile::written(const std::vector<std::string>& addresses) const {
    const std::set<std::string_view> lists(addresses.begin(), addresses.end());
    std::set<std::string_view> gone;
    for (const Line& line : lines_) {
        if (line.list && lists.count(platform::trimmed(line.text)) == 0)
            gone.insert(platform::trimmed(line.text));
    }
    AddedListsFile file;
    std::set<std::string_view> placed;
    for (const Line& line : lines_) {
        const std::string_view address = platform::trimmed(line.text);
        if (line.list ? lists.count(address) == 0 : gone.count(address) != 0)
            continue;
        if (line.list)
            placed.insert(address);
        file.lines_.push_back(line);
    }
    for (const std::string& address : addresses) {
        if (placed.count(address) == 0)
            file.lines_.push_back(Line{address, true});
    }
    return file;
}

std::string AddedListsFile::text() const {
    std::string text;
    for (const Line& line : lines_)
        text.append(line.text).append("\r\n");
    return text;
}

}  // namespace qova::directory
