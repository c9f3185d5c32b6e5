#include "directory/list_formats.h"

#include <optional>
#include <unordered_map>
#include <vector>

#include "directory/channel_record.h"
#include "directory/country_names.h"
#include "directory/list_lines.h"
#include "platform/stream_address.h"
#include "platform/text.h"

namespace qova::directory {

using platform::equalsIgnoringAsciiCase;
using platform::startsWithIgnoringAsciiCase;
using platform::trimmed;

namespace {

constexpr const char* kInternational = "International";
// Carries a channel's own directory line through an exported playlist; other players ignore it.
constexpr const char* kOwnLine = "qova-line";

}  // namespace

namespace list_lines {

// Names a field may hold: no separator, no control character, no blanks at either end.
std::string fieldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : trimmed(text)) {
        const auto byte = static_cast<unsigned char>(c);
        out += (c == '|' || byte < 0x20 || byte == 0x7F) ? ' ' : c;
    }
    return out;
}

std::string_view firstOf(std::string_view list, std::string_view separators) {
    return trimmed(list.substr(0, list.find_first_of(separators)));
}

void appendLine(std::string& out, std::string_view country, bool radio, std::string_view name,
                std::string_view address, std::string_view language) {
    out += fieldText(country.empty() ? kInternational : country);
    out += radio ? "|Radio|" : "|Video|";
    out += fieldText(name);
    out += '|';
    out += address;
    out += '|';
    out += language;
    out += "\r\n";
}

// An address as a directory line can hold it: its own headers suffix ("|Name=value&...") taken
// into the headers, no separator or control character left in it.
std::string lineAddress(std::string_view address, std::vector<platform::HttpHeader> headers) {
    address = trimmed(address);
    if (const std::size_t bar = address.find('|'); bar != std::string_view::npos) {
        std::string_view suffix = address.substr(bar + 1);
        address = address.substr(0, bar);
        while (!suffix.empty()) {
            const std::size_t amp = suffix.find('&');
            const std::string_view pair = suffix.substr(0, amp);
            if (const std::size_t eq = pair.find('='); eq != std::string_view::npos) {
                headers.emplace_back(platform::percentDecoded(trimmed(pair.substr(0, eq))),
                                     platform::percentDecoded(pair.substr(eq + 1)));
            }
            if (amp == std::string_view::npos)
                break;
            suffix.remove_prefix(amp + 1);
        }
    }
    std::string clean;
    for (const char c : address) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            clean += c;
    }
    return platform::addressWithHeaders(clean, headers);
}

void keepWithinBound(std::string& lines) {
    if (lines.size() <= kMaxListLinesBytes)
        return;
    const std::size_t end = lines.rfind("\r\n", kMaxListLinesBytes - 2);
    lines.resize(end == std::string::npos ? 0 : end + 2);
}

}  // namespace list_lines

// ---- M3U ----

// A comma inside a quoted value is part of it.
list_lines::ExtInf list_lines::parseExtInf(std::string_view rest) {
    ExtInf info;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t'))
            ++i;
    };
    skipBlanks();
    while (i < rest.size() && rest[i] != ' ' && rest[i] != '\t' && rest[i] != ',')
        ++i;  // the duration
    for (;;) {
        skipBlanks();
        if (i >= rest.size() || rest[i] == ',')
            break;
        const std::size_t nameStart = i;
        while (i < rest.size() && rest[i] != '=' && rest[i] != ' ' && rest[i] != ',')
            ++i;
        std::string key = platform::asciiLowerCase(rest.substr(nameStart, i - nameStart));
        std::string value;
        if (i < rest.size() && rest[i] == '=') {
            ++i;
            if (i < rest.size() && (rest[i] == '"' || rest[i] == '\'')) {
                const char quote = rest[i++];
                const std::size_t end = rest.find(quote, i);
                value = rest.substr(
                    i, end == std::string_view::npos ? std::string_view::npos : end - i);
                i = end == std::string_view::npos ? rest.size() : end + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < rest.size() && rest[i] != ' ' && rest[i] != ',')
                    ++i;
                value = rest.substr(valueStart, i - valueStart);
            }
        }
        if (!key.empty())
            info.attributes.emplace(std::move(key), std::move(value));
    }
    if (i < rest.size())
        info.name = trimmed(rest.substr(i + 1));
    return info;
}

namespace {

using namespace list_lines;

std::string m3uToNative(std::string_view page, std::string_view listCountry) {
    std::string out;
    out.reserve(page.size());
    std::optional<ExtInf> entry;
    std::string group;
    std::vector<platform::HttpHeader> headers;
    platform::LineReader reader(page, platform::LineEnds::AnyBreak);
    std::string_view raw;
    while (out.size() < kMaxListLinesBytes && reader.next(raw)) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || startsWithIgnoringAsciiCase(line, "#EXTM3U"))
            continue;
        if (startsWithIgnoringAsciiCase(line, "#EXTINF:")) {
            // #EXTGRP and #EXTVLCOPT may stand before or after it; they belong to the entry.
            entry = parseExtInf(line.substr(8));
        } else if (startsWithIgnoringAsciiCase(line, "#EXTGRP:")) {
            group = trimmed(line.substr(8));
        } else if (startsWithIgnoringAsciiCase(line, "#EXTVLCOPT:")) {
            const std::string_view option = trimmed(line.substr(11));
            for (const auto& [prefix, header] :
                 {std::pair{"http-user-agent=", "User-Agent"}, {"http-referrer=", "Referer"}}) {
                if (startsWithIgnoringAsciiCase(option, prefix))
                    headers.emplace_back(header, option.substr(std::string_view(prefix).size()));
            }
        } else if (line.front() != '#') {
            const ExtInf info = entry.value_or(ExtInf{});
            const auto attribute = [&info](const char* key) -> std::string_view {
                const auto found = info.attributes.find(key);
                return found == info.attributes.end() ? std::string_view() : found->second;
            };
            // Written by this program: the directory line as it was, byte for byte.
            if (const std::string own = platform::percentDecoded(attribute(kOwnLine));
                !own.empty() && platform::hasFields(own, kFieldsOfAChannel) &&
                own.find_first_of("\r\n") == std::string::npos) {
                out += own + "\r\n";
                entry.reset();
                continue;
            }
            std::string country(listCountry);
            if (country.empty())
                country = CountryOfCode(firstOf(attribute("tvg-country"), ";,"));
            if (country.empty()) {
                std::string_view groups = attribute("group-title");
                if (groups.empty())
                    groups = group;
                while (country.empty() && !groups.empty()) {
                    const std::size_t semicolon = groups.find(';');
                    country = EnglishCountryName(groups.substr(0, semicolon));
                    groups = semicolon == std::string_view::npos ? std::string_view()
                                                                 : groups.substr(semicolon + 1);
                }
            }
            std::string_view name = info.name;
            if (name.empty())
                name = attribute("tvg-name");
            if (name.empty())
                name = line;
            appendLine(out, country, equalsIgnoringAsciiCase(attribute("radio"), "true"), name,
                       lineAddress(line, headers),
                       LanguageCode(firstOf(attribute("tvg-language"), ";,")));
            entry.reset();
            group.clear();
            headers.clear();
        }
    }
    keepWithinBound(out);
    return out;
}

}  // namespace

ListFormat RecogniseListFormat(std::string_view page) {
    page = platform::withoutByteOrderMark(page);
    const std::string_view start = trimmed(page.substr(0, 4096));
    if (start.starts_with('['))
        return ListFormat::StationJson;
    if (startsWithIgnoringAsciiCase(start, "#EXTM3U") ||
        startsWithIgnoringAsciiCase(start, "#EXTINF:"))
        return ListFormat::M3u;
    return ListFormat::Native;
}

std::string ToNativeLines(std::string_view page, ListFormat format, const ConvertOptions& options) {
    page = platform::withoutByteOrderMark(page);
    switch (format) {
        case ListFormat::M3u:
            return m3uToNative(page, options.country);
        case ListFormat::StationJson:
            return list_lines::stationListToNative(page, options.stationIds);
        case ListFormat::Native:
            break;
    }
    return std::string(page);
}

std::string ToM3u(std::string_view nativeLines) {
    std::string out = "#EXTM3U\r\n";
    platform::LineReader reader(nativeLines, platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        const std::vector<std::string_view> fields = platform::splitFields(line);
        if (fields.size() <= kStreamUrl)
            continue;
        // Other players group by the code; the name a user knows the country by goes into the
        // group. A country no code is known for has a group alone.
        const std::string code = CountryCodeOfName(fields[kCountry]);
        const bool radio = equalsIgnoringAsciiCase(fields[kCategory], "radio");
        const std::string_view language = fields.size() > 4 ? fields[4] : std::string_view();
        const platform::StreamAddress address = platform::splitHeaders(fields[kStreamUrl]);
        out += "#EXTINF:-1";
        if (!code.empty())
            out.append(" tvg-country=\"").append(code).append("\"");
        out.append(" tvg-language=\"").append(language).append("\" group-title=\"");
        out.append(fields[kCountry]).append("\"").append(radio ? " radio=\"true\"" : "");
        out.append(" ").append(kOwnLine).append("=\"").append(platform::percentEncoded(line));
        out.append("\",").append(fields[kChannelName]).append("\r\n");
        for (const auto& [name, value] : address.headers) {
            if (equalsIgnoringAsciiCase(name, "User-Agent"))
                out += "#EXTVLCOPT:http-user-agent=" + value + "\r\n";
            else if (equalsIgnoringAsciiCase(name, "Referer"))
                out += "#EXTVLCOPT:http-referrer=" + value + "\r\n";
        }
        out += address.address + "\r\n";
    }
    return out;
}

}  // namespace qova::directory
