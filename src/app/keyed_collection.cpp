#include "app/keyed_collection.h"

#include <functional>

#include "platform/text.h"

namespace qova::app {

std::size_t CaseInsensitiveHash::operator()(std::string_view key) const {
    // FNV-1a over the lower-cased bytes; ASCII keys are folded in place without a copy.
    std::size_t hash = 14695981039346656037ull;
    for (char c : key) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return std::hash<std::string>{}(platform::lowerCase(key));
        }
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
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

bool KeyedCollection::contains(std::string_view key) const {
    return index_.find(key) != index_.end();
}

void KeyedCollection::clear() {
    items_.clear();
    index_.clear();
}

void ChannelRecords::add(std::string_view record, std::string_view name) {
    records_.push_back(Entry{std::string(record), std::string(name)});
}

const std::string* ChannelRecords::at(int n) const {
    if (n < 1 || n > count())
        return nullptr;
    return &records_[static_cast<std::size_t>(n - 1)].record;
}

const std::string* ChannelRecords::find(std::string_view name) const {
    for (const Entry& e : records_) {
        if (platform::equalsIgnoreCase(e.name, name))
            return &e.record;
    }
    return nullptr;
}

void ChannelRecords::removeAt(int n) {
    if (n < 1 || n > count())
        return;
    records_.erase(records_.begin() + (n - 1));
}

}  // namespace qova::app
