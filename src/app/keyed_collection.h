#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qova::app {

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
    bool contains(std::string_view key) const;
    /// Item n, counted from 1.
    const std::string& item(int n) const { return items_[static_cast<std::size_t>(n - 1)]; }
    int count() const { return static_cast<int>(items_.size()); }
    const std::vector<std::string>& items() const { return items_; }
    void clear();

  private:
    std::vector<std::string> items_;
    std::unordered_map<std::string, int, CaseInsensitiveHash, CaseInsensitiveEqual> index_;
};

/// The records behind the channel tree's nodes: item n is the record of node n, for every n.
/// Two channels may share a name; lookup by name finds the first of them.
class ChannelRecords {
  public:
    void add(std::string_view record, std::string_view name);
    /// Record n, counted from 1; nullptr when there is none at that position.
    const std::string* at(int n) const;
    /// The first record added under a name, compared without regard to case.
    const std::string* find(std::string_view name) const;
    /// Removes record n; later records move down by one.
    void removeAt(int n);
    int count() const { return static_cast<int>(records_.size()); }

  private:
    struct Entry {
        std::string record;
        std::string name;
    };
    std::vector<Entry> records_;
};

}  // namespace qova::app
