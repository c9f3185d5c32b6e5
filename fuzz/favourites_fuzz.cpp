// favorites.txt as a user may have edited it, read as the program reads it, against a channel
// record: the favourite test and the removal of the record's line. For a record of one line, the
// test and the removal agree, and a removal takes exactly that line away.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_text_files.h"
#include "favorites/favorites.h"
#include "fuzz_input.h"
#include "state/favourite_lines.h"
#include "state/main_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova;
    const auto [record, file] = fuzz::twoParts(data, size);
    fakes::FakeTextFiles files;
    files.files[state::kFavoritesFile] = std::string(file);
    const std::string favourites = state::ReadFavouritesText(files);
    const bool found = state::FavouriteLines(favourites).contains(record);
    std::string text(favourites);
    const std::size_t before = text.size();
    const bool removed = favorites::RemoveFirstLine(text, record);
    if (!removed && text != favourites)
        std::abort();  // a failed removal that changed the text
    // A record is never empty: it names at least a country, a category and a channel.
    if (!record.empty() && record.find_first_of("\r\n") == std::string_view::npos) {
        if (found != removed)
            std::abort();
        if (removed && text.size() != before - record.size() - 2)
            std::abort();
    }
    return 0;
}
