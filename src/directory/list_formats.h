#pragma once

#include <string>
#include <string_view>

namespace qova::directory {

/// The kinds of channel list a directory address may give, told apart by their content alone.
enum class ListFormat {
    /// The program's own: Country|Category|Name|Address|Language, one channel a line.
    Native,
    /// An extended M3U or M3U8 playlist (#EXTM3U, #EXTINF).
    M3u,
    /// A JSON array of station objects (name, url or url_resolved, country, countrycode, ...).
    StationJson,
};

ListFormat RecogniseListFormat(std::string_view page);

/// A playlist or a station list as native directory lines, each ended by CR LF, in the order of
/// the list. Country: the first ISO 3166 code given (UK is the United Kingdom) as its English
/// name, else a group that names a country, else "International". Category: Radio for radio
/// entries and every station, else Video. Language: the first language as a two-letter code in
/// upper case where one is known, else empty. A "|" or a control character in a name becomes a
/// space; HTTP headers an entry asks for travel in its address (platform::addressWithHeaders).
/// Stations a station list marks as failing its last check are left out. A malformed list gives
/// what can be read of it.
std::string ToNativeLines(std::string_view page, ListFormat format);

/// The channels of native directory lines as an M3U8 playlist that this program and other
/// players read back to the same channels: #EXTINF with tvg-country (the country's code where it
/// has one, else its name), tvg-language, group-title and radio="true" for radio.
std::string ToM3u(std::string_view nativeLines);

}  // namespace qova::directory
