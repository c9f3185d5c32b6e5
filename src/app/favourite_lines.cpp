#include "app/favourite_lines.h"

#include "platform/text.h"

namespace qova::app {

FavouriteLines::FavouriteLines(std::string_view favourites) {
    platform::LineReader reader(favourites);
    std::string_view line;
    while (reader.next(line))
        lines_.insert(line);
}

}  // namespace qova::app
