// What a stream says of itself (an Icecast title, a tag), in whatever encoding it was sent: what
// is shown is valid UTF-8, within its bound, and the same when decoded again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::platform;
    const std::string shown =
        textFromStream(std::string_view(reinterpret_cast<const char*>(data), size));
    if (shown.size() > kMaxStreamTextBytes + 4)
        std::abort();
    if (textFromStream(shown) != shown)
        std::abort();
    return 0;
}
