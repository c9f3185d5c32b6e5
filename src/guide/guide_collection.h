#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "guide/guide_time.h"

namespace qova::guide {

/// The strings of a guide, each kept once however often programmes repeat it (titles,
/// categories, icons), in blocks that never move, so that views of them stay good.
class StringPool {
  public:
    using Id = std::uint32_t;
    StringPool();
    /// The id of a string seen before, or of a new copy.
    Id intern(std::string_view text);
    /// A new copy, not looked for: text that rarely repeats (descriptions).
    Id add(std::string_view text);
    std::string_view view(Id id) const { return strings_[id]; }
    std::size_t size() const { return strings_.size(); }

  private:
    std::string_view copy(std::string_view text);

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockLeft_ = 0;
    char* blockAt_ = nullptr;
    std::vector<std::string_view> strings_;
    std::unordered_map<std::string_view, Id> index_;
};

/// One programme as read, its strings in the pool; times as the guide gave them, in UTC.
struct ReadProgramme {
    UnixTime start = 0;
    /// 0 where the guide gave none: it ends where the next one starts.
    UnixTime stop = 0;
    StringPool::Id title = 0;
    StringPool::Id subTitle = 0;
    StringPool::Id description = 0;
    StringPool::Id categories = 0;
    StringPool::Id episode = 0;
    StringPool::Id icon = 0;
};

/// The programmes one guide gave for the guide channels some list wants, by guide channel id.
using GuideProgrammes = std::unordered_map<std::string, std::vector<ReadProgramme>>;

/// A channel's programmes in time order, once each: a repeated start is the first one's, a
/// missing stop the next start (the last one's an hour after its start), and what runs wholly
/// outside [from, to) is left out.
void Tidy(std::vector<ReadProgramme>& programmes, UnixTime from, UnixTime to);

}  // namespace qova::guide
