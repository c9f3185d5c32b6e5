// A playlist or a station list given as the directory or imported: recognised, turned into
// directory lines, and those written out again as the favourites' playlist.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "directory/list_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::directory;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const std::string lines = ToNativeLines(page, RecogniseListFormat(page));
    ToM3u(lines);
    // Each reader also on what the other would be given.
    ToNativeLines(page, ListFormat::M3u);
    ToNativeLines(page, ListFormat::StationJson);
    return 0;
}
