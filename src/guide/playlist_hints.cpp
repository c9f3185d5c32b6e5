#include "guide/playlist_hints.h"

#include <charconv>

#include "directory/list_formats.h"
#include "directory/list_lines.h"
#include "platform/text.h"

namespace qova::guide {
namespace {

// Guides a header may name; a header naming more is cut.
constexpr std::size_t kMaxHeaderGuides = 16;
constexpr std::size_t kMaxHintBytes = 256;

int shiftOf(std::string_view value, int otherwise) {
    value = platform::trimmed(value);
    if (!value.empty() && value.front() == '+')
        value.remove_prefix(1);
    double hours = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), hours);
    if (value.empty() || error != std::errc() || hours < -12 || hours > 14)
        return otherwise;
    return static_cast<int>(hours);
}

std::string_view attribute(const directory::list_lines::ExtInf& info, const char* key) {
    const auto found = info.attributes.find(key);
    return found == info.attributes.end() ? std::string_view() : std::string_view(found->second);
}

}  // namespace

bool MayHoldGuideHints(std::string_view page) {
    page = platform::withoutByteOrderMark(page);
    return directory::RecogniseListFormat(page) == directory::ListFormat::M3u &&
           (page.find("tvg-") != std::string_view::npos ||
            page.find("url-tvg") != std::string_view::npos);
}

PlaylistHints ReadPlaylistHints(std::string_view page) {
    PlaylistHints hints;
    page = platform::withoutByteOrderMark(page);
    if (directory::RecogniseListFormat(page) != directory::ListFormat::M3u)
        return hints;
    int headerShift = 0;
    std::optional<directory::list_lines::ExtInf> entry;
    platform::LineReader reader(page, platform::LineEnds::AnyBreak);
    std::string_view raw;
    while (reader.next(raw)) {
        const std::string_view line = platform::trimmed(raw);
        if (platform::startsWithIgnoringAsciiCase(line, "#EXTM3U")) {
            // The header's attributes read as an entry's would, after a dummy duration.
            const auto header =
                directory::list_lines::parseExtInf("-1 " + std::string(line.substr(7)));
            for (const char* key : {"x-tvg-url", "url-tvg", "tvg-url"}) {
                std::string_view list = attribute(header, key);
                while (!list.empty() && hints.guides.size() < kMaxHeaderGuides) {
                    const std::size_t comma = list.find(',');
                    const std::string_view one = platform::trimmed(list.substr(0, comma));
                    if (!one.empty() && one.size() < 4096)
                        hints.guides.emplace_back(one);
                    list = comma == std::string_view::npos ? std::string_view()
                                                           : list.substr(comma + 1);
                }
            }
            headerShift = shiftOf(attribute(header, "tvg-shift"), 0);
        } else if (platform::startsWithIgnoringAsciiCase(line, "#EXTINF:")) {
            entry = directory::list_lines::parseExtInf(line.substr(8));
        } else if (!line.empty() && line.front() != '#' && entry) {
            std::string_view name = entry->name;
            if (name.empty())
                name = attribute(*entry, "tvg-name");
            ChannelHint hint;
            hint.name = directory::list_lines::fieldText(name);
            hint.tvgId = std::string(attribute(*entry, "tvg-id").substr(0, kMaxHintBytes));
            hint.tvgName = std::string(attribute(*entry, "tvg-name").substr(0, kMaxHintBytes));
            hint.shiftHours = shiftOf(attribute(*entry, "tvg-shift"), headerShift);
            if (!hint.name.empty())
                hints.channels.push_back(std::move(hint));
            entry.reset();
        }
    }
    return hints;
}

}  // namespace qova::guide
