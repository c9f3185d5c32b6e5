// What a channel check reads of a server's answer: an RTSP status line, whether an HTTP answer
// is an HLS playlist (the first line of the input as its Content-Type) and the first address
// the playlist names.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "web/stream_answers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::web;
    const auto [contentType, body] = qova::fuzz::twoParts(data, size);
    rtspStatus(std::string_view(reinterpret_cast<const char*>(data), size));
    if (isPlaylistAnswer("/index.m3u8", contentType, body)) {
        if (const auto entry = firstPlaylistEntry(body)) {
            // Within the playlist, never empty and never a comment.
            if (entry->address.empty() || entry->address.front() == '#' ||
                entry->address.data() < body.data() ||
                entry->address.data() + entry->address.size() > body.data() + body.size())
                __builtin_trap();
        }
    }
    return 0;
}
