// An HLS playlist as a picture channel kept warm reads it and as the engine is handed it (the
// first line of the input as the playlist's own address): the variant and the segment chosen
// stand in the playlist, and the playlist handed over, when not refused for its size, has as many
// lines as it had and stays within its bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "neighbours/hls_playlist.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::neighbours;
    const auto [base, body] = qova::fuzz::twoParts(data, size);
    if (const auto playlist = readHlsPlaylist(body)) {
        if (playlist->master() ? chosenVariant(*playlist) >= playlist->variants.size()
                               : startSegment(*playlist) >= playlist->segments.size())
            __builtin_trap();
        if (playlist->segments.size() + playlist->variants.size() > kMaxPlaylistEntries)
            __builtin_trap();
        for (const HlsSegment& segment : playlist->segments) {
            for (const std::size_t section : {segment.key, segment.map}) {
                if (section != kNoSection && section >= playlist->sections.size())
                    __builtin_trap();
            }
        }
    }
    const std::string_view text =
        qova::platform::withoutByteOrderMark(body.substr(0, kMaxPlaylistBytes));
    const auto out =
        rewrittenPlaylist(body, std::string(base), [](const std::string& address, HlsReference) {
            // As the relay's, its addresses grow with the server's.
            return "http://127.0.0.1:1/" + address;
        });
    if (!out)
        return 0;
    const auto lines =
        std::count(text.begin(), text.end(), '\n') + (!text.empty() && text.back() != '\n' ? 1 : 0);
    if (out->size() > kMaxRewrittenBytes || std::count(out->begin(), out->end(), '\n') != lines)
        __builtin_trap();
    return 0;
}
