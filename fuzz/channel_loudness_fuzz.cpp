// ChannelLoudness.txt as a user may have edited it: read, written and read again. The text a
// rewrite gives reads back to the same text, and the book never holds more than its limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/text.h"
#include "playback/loudness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qova::playback::LoudnessBook;
    const std::string_view text =
        qova::platform::withoutByteOrderMark({reinterpret_cast<const char*>(data), size});
    LoudnessBook book = LoudnessBook::read(text);
    if (book.size() > qova::playback::kMaxLoudnessChannels)
        std::abort();
    const std::string written = book.text();
    if (LoudnessBook::read(written).text() != written)
        std::abort();
    // A channel heard on top of what was read keeps the book within its limit and readable.
    book.heard("http://fuzz.example/", {-20.0, -6.0, 10.0});
    if (book.size() > qova::playback::kMaxLoudnessChannels ||
        !LoudnessBook::read(book.text()).find("http://fuzz.example/"))
        std::abort();
    return 0;
}
