#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "state/main_context.h"

namespace qova::directory {

/// Finds channels of the whole directory, both categories, by their name, country and language:
/// every word of a query must appear, regardless of case and accents. The directory and the
/// added lists are read and folded once and kept until they change.
class ChannelSearch {
  public:
    struct Result {
        /// The matching directory lines, in directory order, at most the limit asked for.
        std::vector<std::string> records;
        /// How many lines match in all.
        std::size_t total = 0;
    };

    /// Forgets what was read: the directory changed.
    void invalidate() { loaded_ = false; }
    Result find(const state::MainContext& ctx, std::string_view query, std::size_t limit);

  private:
    void load(const state::MainContext& ctx);

    bool loaded_ = false;
    std::vector<std::string> records_;
    // Per record: name, country and language folded, one string to look words up in.
    std::vector<std::string> folded_;
};

/// Shows the channels a search found in the tree: name and country, starred as favourites, each
/// with its record, and a last line saying how many more there are beyond those shown.
void ShowSearchResults(state::MainContext& ctx, const ChannelSearch::Result& result);

}  // namespace qova::directory
