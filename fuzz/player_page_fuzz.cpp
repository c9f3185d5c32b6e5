// A player page as the page makers write it or a page from anywhere: the embedded player's
// address and the page's text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/player_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::player;
    const std::string_view markup(reinterpret_cast<const char*>(data), size);
    if (const auto address = embeddedPlayerAddress(markup)) {
        refusedStreamAddress(*address, false);
        isShortAnalysisStream(*address, true);
    }
    pageText(markup);
    decodeCharacterReferences(markup);
    return 0;
}
