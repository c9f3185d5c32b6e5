#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "guide/guide_store.h"

namespace qova::guide {

/// The channel search's look into the guide: the channels whose programmes of a span of time
/// have every word of a query in their titles, whatever the case and accents. Titles are folded
/// once each and kept for the store's life, so a keystroke costs a look at each programme.
class GuideTitleSearch {
  public:
    explicit GuideTitleSearch(const GuideStore& store) : store_(store) {}
    /// The channels' names, in the store's order, each once.
    std::vector<std::string> channelsShowing(std::string_view query, UnixTime from, UnixTime to);

  private:
    const GuideStore& store_;
    // By where a title lies in the mapped store: each distinct title is there once.
    std::unordered_map<const char*, std::string> folded_;
};

}  // namespace qova::guide
