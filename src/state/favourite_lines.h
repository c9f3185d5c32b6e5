#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/text_files.h"

namespace qova::state {

/// The lines of the favourites text (each ended by CR LF), for the favourite test: a channel is
/// a favourite when its record equals one whole line. A record that is merely part of a longer
/// favourite, or contains one, is not.
class FavouriteLines {
  public:
    explicit FavouriteLines(std::string_view favourites);
    bool contains(std::string_view record) const { return lines_.count(record) != 0; }

  private:
    std::unordered_set<std::string_view> lines_;
};

/// The favourites text as the favourites file holds it now: each line followed by CR LF, also
/// where an editor ended it with LF alone. A missing file holds none.
std::string ReadFavouritesText(const platform::TextFiles& files);

}  // namespace qova::state
