#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qova::state {

/// One line of Config.txt: the text before the first "=" and the text between the first and
/// the second "=" (a value cannot hold "="), without its trailing blanks. Lines end at CR LF, CR
/// or LF.
struct ConfigLine {
    std::string key;
    std::string value;
};

/// The lines of Config.txt in file order. A line without "=" names nothing and is skipped.
std::vector<ConfigLine> parseConfig(std::string_view text);

}  // namespace qova::state
