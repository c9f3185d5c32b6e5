#include "state/keyed_collection.h"

#include "platform/text.h"

namespace qova::state {

std::size_t CaseInsensitiveHash::operator()(std::string_view key) const {
    // Folds exactly as the equality compares, or one key could be kept twice.
    return static_cast<std::size_t>(platform::hashIgnoreCase(key));
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

bool KeyedCollection::alias(std::string_view key, int n) {
    if (n < 1 || n > count() || index_.find(key) != index_.end())
        return false;
    index_.emplace(std::string(key), n);
    return true;
}

const std::string* KeyedCollection::find(std::string_view key) const {
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : &item(found->second);
}

}  // namespace qova::state
