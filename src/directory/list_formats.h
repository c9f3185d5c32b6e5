#pragma once

#include <cstddef>
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

/// What a conversion writes beyond what a list's entries say of themselves.
struct ConvertOptions {
    /// The country every entry of a playlist is listed under, whatever the entry names: the list
    /// is that country's. "" for each entry's own.
    std::string country;
    /// Each station of a station list with an id (its "stationuuid") comes after a line of
    /// kStationIdLine and the id, which names no channel.
    bool stationIds = false;
};
/// The line before a station's own that gives its id in the station database.
inline constexpr std::string_view kStationIdLine = "#qova-station=";
/// The longest station id kept; the database's are UUIDs.
inline constexpr std::size_t kMaxStationIdBytes = 64;
/// Whether a station's id is one the database gives: hexadecimal digits and hyphens, within
/// kMaxStationIdBytes, nothing that could end a line or change an address it is put in.
bool IsStationId(std::string_view id);

/// A playlist or a station list as native directory lines, each ended by CR LF, in the order of
/// the list. Country: the first ISO 3166 code given (UK is the United Kingdom) as its English
/// name, else a group that names a country, else "International". Category: Radio for radio
/// entries and every station, else Video. Language: the first language as a two-letter code in
/// upper case where one is known, else empty. A "|" or a control character in a name becomes a
/// space; HTTP headers an entry asks for travel in its address (platform::addressWithHeaders).
/// Stations a station list marks as failing its last check are left out. A malformed list gives
/// what can be read of it. A station list is read one station at a time, so that memory follows
/// the largest station rather than the list; a station larger than kMaxStationBytes is left out.
std::string ToNativeLines(std::string_view page, ListFormat format,
                          const ConvertOptions& options = {});

/// The most the lines of one converted list take, as a list of tiny entries grows to twice its
/// size in lines; the lines beyond it are left out, whole.
inline constexpr std::size_t kMaxListLinesBytes = std::size_t{64} * 1024 * 1024;
/// The largest station of a station list read; real ones take a few kilobytes.
inline constexpr std::size_t kMaxStationBytes = std::size_t{1024} * 1024;

/// The channels of native directory lines as an M3U8 playlist that this program and other
/// players read back to the same channels: #EXTINF with tvg-country (the ISO code of a country
/// named in English or in one of its own languages, "Deutschland" as DE; none for a country
/// without a known code), tvg-language, group-title (the country as the line names it) and
/// radio="true" for radio.
std::string ToM3u(std::string_view nativeLines);

}  // namespace qova::directory
