#include "state/favourite_lines.h"

#include "platform/text.h"
#include "state/main_context.h"

namespace qova::state {

FavouriteLines::FavouriteLines(std::string_view favourites) {
    platform::LineReader reader(favourites);
    std::string_view line;
    while (reader.next(line))
        lines_.insert(line);
}

std::string ReadFavouritesText(const platform::TextFiles& files) {
    std::string text;
    if (const auto file = files.read(kFavoritesFile)) {
        platform::LineReader reader(platform::withoutByteOrderMark(file->view()),
                                    platform::LineEnds::AnyBreak);
        std::string_view line;
        while (reader.next(line)) {
            text += line;
            text += "\r\n";
        }
    }
    return text;
}

}  // namespace qova::state
