#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Where the channels of the discover window come from: the public radio station database and
/// the community-kept tree of free TV playlists, and the addresses their lists are kept under.
namespace qova::discover {

/// The name whose addresses are the radio station database's servers. The lists of its stations
/// are kept under it too, so that their addresses stay the same whichever server fetches them.
inline constexpr std::string_view kRadioDatabaseHost = "all.api.radio-browser.info";
/// The tree of free TV playlists, one a country at countries/<cc>.m3u.
inline constexpr std::string_view kTvPlaylists = "https://iptv-org.github.io/iptv/";
/// How many stations a country's list brings: the most listened first.
inline constexpr int kStationsOfACountry = 1000;
/// How many stations a search finds at most.
inline constexpr int kSearchResults = 100;

/// The User-Agent of every request to the sources: the program and its version.
std::string UserAgent();

/// The sources' servers as the environment sets them for tests and mirrors.
struct Sources {
    /// QOVA_RADIO_API: base addresses of database servers, tried in order in place of the DNS
    /// discovery; empty for the discovery.
    std::vector<std::string> radioServers;
    /// QOVA_TV_API: the base address of the playlist tree, ending with "/".
    std::string tvBase = std::string(kTvPlaylists);

    /// From the variables' values (null when unset). Only http and https addresses count,
    /// at most kMaxRadioServers of them.
    static Sources fromEnvironment(const char* radioApi, const char* tvApi);
    static constexpr std::size_t kMaxRadioServers = 16;
};

/// A list the discover window adds: whose channels, of which country (ISO code, upper case).
struct DiscoveredList {
    enum class Source { Radio, Tv };
    Source source = Source::Radio;
    std::string countryCode;
};
/// The address kept in ChannelLists.txt for a country's stations or TV channels; "" for a code
/// that is no two letters.
std::string RadioListAddress(std::string_view countryCode);
std::string TvListAddress(std::string_view countryCode);
/// The list an address kept for one stands for; nothing for any other address.
std::optional<DiscoveredList> Discovered(std::string_view address);
/// What the lists windows call a discovered list: "Radio stations of Austria"; "" for others.
std::string ListTitle(std::string_view address);

/// A request of the database, as a path and query to put after a server's base address.
std::string CountriesPath();
std::string SearchPath(std::string_view words, int limit);
/// The call that counts a play of a station; "" for an id that is none.
std::string CountPath(std::string_view stationId);
/// The path and query of an address kept for the database's stations, to fetch from a live
/// server; "" for any other address.
std::string RadioDatabasePath(std::string_view address);
/// Where a kept TV list address is fetched from, under the playlist tree's base address.
std::string TvFetchAddress(std::string_view address, std::string_view tvBase);

/// The base address of a server found by its host name ("https://de1.api.radio-browser.info");
/// "" for a name that is no host name.
std::string ServerBase(std::string_view hostName);

}  // namespace qova::discover
