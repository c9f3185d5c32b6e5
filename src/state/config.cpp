#include "state/config.h"

#include "platform/text.h"

namespace qova::state {

std::vector<ConfigLine> parseConfig(std::string_view text) {
    std::vector<ConfigLine> lines;
    // Written by hand as often as not, with whatever line ends the editor uses.
    platform::LineReader reader(platform::withoutByteOrderMark(text), platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view rest = line.substr(eq + 1);
        rest = rest.substr(0, rest.find('='));
        // An editor's trailing blank would otherwise become part of the address.
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t'))
            rest.remove_suffix(1);
        lines.push_back(ConfigLine{std::string(line.substr(0, eq)), std::string(rest)});
    }
    return lines;
}

}  // namespace qova::state
