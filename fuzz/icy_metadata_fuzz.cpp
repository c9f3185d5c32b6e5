// A station's answer as the relay reads it: its head, then a body of audio and ICY metadata
// blocks, split in pieces as the network would. The audio handed on is exactly the body less
// its blocks, whatever the pieces, and every title offset lies within the audio.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "stream/icy_reader.h"
#include "stream/station_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::stream;
    const auto [head, body] = qova::fuzz::twoParts(data, size);
    const StationAnswer answer = readStationAnswer(head);
    // A small interval makes many blocks of a short input.
    const std::size_t metaint = answer.metaint % 64;
    const std::size_t piece = head.size() % 7 + 1;
    std::string whole, pieced;
    std::uint64_t titled = 0;
    IcyReader once(metaint, {[&](const char* bytes, std::size_t n) { whole.append(bytes, n); },
                             [&](const std::string&, std::uint64_t at) { titled = at; }});
    once.feed(body.data(), body.size());
    IcyReader inPieces(metaint, {[&](const char* bytes, std::size_t n) { pieced.append(bytes, n); },
                                 [&](const std::string& title, std::uint64_t at) {
                                     if (at > inPieces.audioBytes() || title.size() > 16 * 255)
                                         std::abort();
                                 }});
    for (std::size_t at = 0; at < body.size(); at += piece)
        inPieces.feed(body.data() + at, std::min(piece, body.size() - at));
    if (whole != pieced || titled > whole.size() || whole.size() > body.size())
        std::abort();
    (void)streamTitleOf(body);
    return 0;
}
