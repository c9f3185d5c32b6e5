// A stream address as a directory line or a player page gives it: whether the player opens it
// and how it tunes the engine for it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/player_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::player;
    const std::string_view address(reinterpret_cast<const char*>(data), size);
    refusedStreamAddress(address, false);
    refusedStreamAddress(address, true);
    isShortAnalysisStream(address, true);
    isLocalMediaAddress(address);
    closesWithGoodbye(address);
    return 0;
}
