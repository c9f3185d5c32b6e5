// JSON station lists, read one station at a time: the array is walked without being parsed, and
// each station alone goes through simdjson's on-demand parser, so that the memory the reading
// takes follows the largest station rather than the list (a parse of the whole document costs
// several bytes for each byte of it).
#include <simdjson.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "directory/country_names.h"
#include "directory/list_formats.h"
#include "directory/list_lines.h"
#include "platform/text.h"

namespace qova::directory::list_lines {
namespace {

// The elements of a JSON array one after another, found by their brackets and strings alone; an
// element is checked only when it is parsed. An element cut off by the end of the text is none.
class ArrayElements {
  public:
    explicit ArrayElements(std::string_view json) : text_(json) {
        skipBlanks();
        done_ = pos_ >= text_.size() || text_[pos_] != '[';
        ++pos_;
    }

    bool next(std::string_view& element) {
        while (!done_) {
            skipBlanks();
            while (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                skipBlanks();
            }
            // The array's end, or a bracket that closes nothing: what follows is no element.
            if (pos_ >= text_.size() || text_[pos_] == ']' || text_[pos_] == '}')
                break;
            const std::size_t start = pos_;
            if (!skipElement())
                break;
            element = text_.substr(start, pos_ - start);
            return true;
        }
        done_ = true;
        return false;
    }

  private:
    void skipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\n'))
            ++pos_;
    }

    // Moves past one element: to the comma or bracket that ends it at the array's own depth.
    bool skipElement() {
        std::size_t depth = 0;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                if (!skipString())
                    return false;
                continue;
            }
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (depth == 0)
                    return true;
                if (--depth == 0) {
                    ++pos_;
                    return true;
                }
            } else if (c == ',' && depth == 0) {
                return true;
            }
            ++pos_;
        }
        // The text ended inside the element, or right after a bare value: a value at the very
        // end of a cut-off list may itself be cut off.
        return false;
    }

    // From an opening quote to past its closing one; a quote after an odd number of
    // backslashes is part of the string.
    bool skipString() {
        std::size_t from = pos_ + 1;
        for (;;) {
            const void* hit = std::memchr(text_.data() + from, '"', text_.size() - from);
            if (hit == nullptr)
                return false;
            const auto quote =
                static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data());
            std::size_t backslashes = 0;
            while (quote - backslashes > from && text_[quote - backslashes - 1] == '\\')
                ++backslashes;
            if (backslashes % 2 == 0) {
                pos_ = quote + 1;
                return true;
            }
            from = quote + 1;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool done_ = false;
};

// What a station tells of itself; the first of each key counts, as a lookup by key finds it.
struct Station {
    std::string_view name, url, urlResolved, country, countryCode, language, id;
    std::int64_t lastCheckOk = 1;
};

// Fills a station from its object; false for an element that is no well-formed object.
bool readStation(simdjson::ondemand::document& document, Station& station) {
    simdjson::ondemand::object object;
    if (document.get_object().get(object) != simdjson::SUCCESS)
        return false;
    struct Text {
        std::string_view key;
        std::string_view* value;
        bool seen = false;
    };
    Text texts[] = {{"name", &station.name},
                    {"url", &station.url},
                    {"url_resolved", &station.urlResolved},
                    {"country", &station.country},
                    {"countrycode", &station.countryCode},
                    {"language", &station.language},
                    {"stationuuid", &station.id}};
    bool checkSeen = false;
    for (auto field : object) {
        std::string_view key;
        if (field.unescaped_key().get(key) != simdjson::SUCCESS)
            return false;
        simdjson::ondemand::value value;
        if (field.value().get(value) != simdjson::SUCCESS)
            return false;
        if (key == "lastcheckok" && !checkSeen) {
            checkSeen = true;
            std::int64_t ok = 1;
            if (value.get_int64().get(ok) == simdjson::SUCCESS)
                station.lastCheckOk = ok;
            continue;
        }
        for (Text& text : texts) {
            if (key != text.key || text.seen)
                continue;
            text.seen = true;
            // Anything but a string (null, a number) says nothing.
            if (value.get_string().get(*text.value) != simdjson::SUCCESS)
                *text.value = {};
            break;
        }
    }
    return true;
}

}  // namespace

std::string stationListToNative(std::string_view page, bool stationIds) {
    std::string out;
    // Room for the most the lines may take (a list of tiny stations makes twice its size in
    // lines) and the last line beyond it, so that they never move: a move holds both copies.
    // Only what is written takes memory.
    out.reserve(std::min(2 * page.size(), kMaxListLinesBytes) + 4 * kMaxStationBytes);
    simdjson::ondemand::parser parser(kMaxStationBytes);
    std::string padded;  // one station and the padding the parser reads beyond it
    ArrayElements elements(page);
    std::string_view element;
    while (out.size() < kMaxListLinesBytes && elements.next(element)) {
        if (element.front() != '{' || element.size() > kMaxStationBytes)
            continue;
        padded.assign(element);
        padded.append(simdjson::SIMDJSON_PADDING, ' ');
        simdjson::ondemand::document document;
        if (parser
                .iterate(simdjson::padded_string_view(padded.data(), element.size(), padded.size()))
                .get(document) != simdjson::SUCCESS)
            continue;
        Station station;
        if (!readStation(document, station) || station.lastCheckOk == 0)
            continue;
        std::string_view address = station.urlResolved;
        if (platform::trimmed(address).empty())
            address = station.url;
        if (platform::trimmed(address).empty())
            continue;
        std::string country = CountryOfCode(station.countryCode);
        if (country.empty())
            country = fieldText(station.country);
        const std::string_view name =
            platform::trimmed(station.name).empty() ? address : station.name;
        if (stationIds && IsStationId(station.id))
            out.append(kStationIdLine).append(station.id).append("\r\n");
        appendLine(out, country, true, name, lineAddress(address, {}),
                   LanguageCode(firstOf(station.language, ",;")));
    }
    keepWithinBound(out);
    return out;
}

}  // namespace qova::directory::list_lines

namespace qova::directory {

bool IsStationId(std::string_view id) {
    return !id.empty() && id.size() <= kMaxStationIdBytes &&
           id.find_first_not_of("0123456789abcdefABCDEF-") == std::string_view::npos;
}

}  // namespace qova::directory
