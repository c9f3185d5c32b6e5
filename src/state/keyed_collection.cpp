#include "state/keyed_collection.h"

#include <functional>

#include "platform/text.h"

namespace qova::state {

std::size_t CaseInsensitiveHash::operator()(std::string_view key) const {
    // FNV-1a over the lower-cased bytes; ASCII keys are folded in place without a copy.
    std::size_t hash = 14695981039346656037ull;
    for (char c : key) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return std::hash<std::string>{}(platform::lowerCase(key));
        }
        const char lower = platform::asciiLower(c);
        hash = (hash ^ static_cast<unsigned char>(lower)) * 1099511628211ull;
    }
    return hash;
}

bool CaseInsensitiveEqual::operator()(std::string_view a, std::string_view b) const {
    return platform::equalsIgnoreCase(a, b);
}

bool KeyedCollection::add(std::string_view item, std::string_view key) {
    if (index_.find(key) != index_.end())
        return false;
    items_.emplace_back(item);
    index_.emplace(std::string(key), count());
    return true;
}

}  // namespace qova::state
