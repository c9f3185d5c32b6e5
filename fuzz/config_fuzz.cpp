// Config.txt as a user's editor may leave it.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "state/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [first, rest] = qova::fuzz::twoParts(data, size);
    (void)first;
    qova::state::parseConfig(std::string_view(reinterpret_cast<const char*>(data), size));
    qova::state::parseConfig(rest);
    return 0;
}
