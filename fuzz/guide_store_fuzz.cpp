// A store file as a damaged disk or another program may leave it: refused, or read in place
// without a byte outside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "guide/guide_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::guide;
    // A copy of its own size, so that the sanitizer sees any read past its end.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto store = GuideStore::fromBytes(bytes);
    if (!store)
        return 0;
    store->lists();
    store->built();
    const std::size_t channels = std::min<std::size_t>(store->channelCount(), 64);
    for (std::size_t i = 0; i < channels; ++i) {
        const std::string name(store->channelName(i));
        store->programmesOf(i, INT64_MIN / 2, INT64_MAX / 2);
        store->nowNext(name, 0);
        store->guideChannel(name);
    }
    store->nowNext("One", 1796673600);
    return 0;
}
