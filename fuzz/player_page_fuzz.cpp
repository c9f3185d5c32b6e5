// A stream address as a directory line or a player page gives it: whether the player and the
// channel check open it, what headers go with it, and how the player tunes the engine for it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/address_policy.h"
#include "platform/stream_address.h"
#include "player/player_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::platform;
    const std::string_view address(reinterpret_cast<const char*>(data), size);
    refusedStreamAddress(address, false);
    refusedStreamAddress(address, true);
    isWebAddress(address);
    localFilePath(address);
    resolvedAgainst(address, "/folder");
    mayFollow("https://h/", address, true);
    sameHost("http://h/", address);
    splitHeaders(address);
    qova::player::isShortAnalysisStream(address, true);
    qova::player::closesWithGoodbye(address);
    return 0;
}
