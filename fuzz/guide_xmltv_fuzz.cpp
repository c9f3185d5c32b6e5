// A programme guide from anywhere, as gzip, xz or plain XML, read past the matcher of a few
// channels; and the same bytes as a playlist's page, for what it says for the guide.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "guide/guide_input.h"
#include "guide/playlist_hints.h"
#include "guide/xmltv_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::guide;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReadPlaylistHints(bytes);
    // The reader takes files alone: the input as one that lives in memory.
    const int fd = memfd_create("guide", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    std::string error;
    // A small bound, so that a bomb is stopped within the fuzzer's memory.
    const auto input =
        GuideInput::open("/proc/self/fd/" + std::to_string(fd), error, std::uint64_t{64} << 20);
    ::close(fd);
    if (!input)
        return 0;
    ChannelMatcher matcher({{"One", "one", "", 0}, {"Two", "two@HD", "Deux", 1}}, {{"One", "x"}});
    StringPool pool;
    GuideProgrammes programmes;
    const ReadOutcome outcome = ReadXmltv(*input, matcher, {0, INT64_MAX / 2}, pool, programmes);
    std::size_t kept = 0;
    for (auto& [id, list] : programmes) {
        kept += list.size();
        Tidy(list, 0, INT64_MAX / 2);
        for (std::size_t i = 1; i < list.size(); ++i) {
            if (list[i - 1].start >= list[i].start)
                __builtin_trap();
        }
    }
    if (kept != outcome.programmesKept)
        __builtin_trap();
    return 0;
}
