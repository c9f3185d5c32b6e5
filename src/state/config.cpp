#include "state/config.h"

#include "platform/text.h"

namespace qova::state {

std::vector<ConfigLine> parseConfig(std::string_view text) {
    std::vector<ConfigLine> lines;
    platform::LineReader reader(text);
    std::string_view line;
    while (reader.next(line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view rest = line.substr(eq + 1);
        rest = rest.substr(0, rest.find('='));
        lines.push_back(ConfigLine{std::string(line.substr(0, eq)), std::string(rest)});
    }
    return lines;
}

}  // namespace qova::state
