#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qova::state {

/// Hashes and compares keys without regard to case, non-ASCII letters included.
struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const;
};
struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

/// An ordered collection of strings numbered from 1, each under a key that is unique without
/// regard to case. An addition under a key already present is refused.
class KeyedCollection {
  public:
    /// False, and nothing changed, when the key is already present.
    bool add(std::string_view item, std::string_view key);
    /// Files item n under one more key, so that find gives it for that key too. False, and
    /// nothing changed, when the key is already present or there is no item n.
    bool alias(std::string_view key, int n);
    /// The item filed under a key, its own or an alias; nullptr when there is none.
    const std::string* find(std::string_view key) const;
    /// Item n, counted from 1.
    const std::string& item(int n) const { return items_[static_cast<std::size_t>(n - 1)]; }
    int count() const { return static_cast<int>(items_.size()); }
    const std::vector<std::string>& items() const { return items_; }

  private:
    std::vector<std::string> items_;
    std::unordered_map<std::string, int, CaseInsensitiveHash, CaseInsensitiveEqual> index_;
};

}  // namespace qova::state
