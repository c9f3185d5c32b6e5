// Page markup from anywhere (a player page, a directory page, a list address's answer): the
// embedded player's address, the page's text and its character references.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/character_references.h"
#include "platform/markup_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::platform;
    const std::string_view markup(reinterpret_cast<const char*>(data), size);
    embeddedPlayerAddress(markup);
    const PageText text = pageText(markup);
    // The text never ends with a line break, and its lines end with CR LF only.
    if (text.body.ends_with("\r\n") || text.title.find('\n') != std::string::npos)
        __builtin_trap();
    decodeCharacterReferences(markup);
    return 0;
}
