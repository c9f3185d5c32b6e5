#include "discover/sources.h"

#include "directory/country_names.h"
#include "directory/list_formats.h"
#include "platform/stream_address.h"
#include "platform/text.h"

namespace qova::discover {
namespace {

constexpr std::string_view kHttps = "https://";
constexpr std::string_view kStationsOfCountry = "/json/stations/bycountrycodeexact/";
constexpr std::string_view kTvCountries = "countries/";
constexpr std::string_view kTvSuffix = ".m3u";

bool isCountryCode(std::string_view code) {
    return code.size() == 2 && platform::isAsciiLetter(code[0]) && platform::isAsciiLetter(code[1]);
}

bool isWebAddress(std::string_view address) {
    return platform::startsWithIgnoringAsciiCase(address, "http://") ||
           platform::startsWithIgnoringAsciiCase(address, "https://");
}

// A base address without the slash a path brings itself.
std::string withoutTrailingSlash(std::string_view address) {
    while (!address.empty() && address.back() == '/')
        address.remove_suffix(1);
    return std::string(address);
}

std::string radioListPrefix() {
    return std::string(kHttps).append(kRadioDatabaseHost).append(kStationsOfCountry);
}

}  // namespace

std::string UserAgent() {
    return std::string("QOVA/") + QOVA_VERSION;
}

Sources Sources::fromEnvironment(const char* radioApi, const char* tvApi) {
    Sources sources;
    std::string_view radio = radioApi != nullptr ? radioApi : "";
    while (!radio.empty() && sources.radioServers.size() < kMaxRadioServers) {
        const std::size_t comma = radio.find(',');
        const std::string_view each = platform::trimmed(radio.substr(0, comma));
        if (isWebAddress(each))
            sources.radioServers.push_back(withoutTrailingSlash(each));
        radio = comma == std::string_view::npos ? std::string_view() : radio.substr(comma + 1);
    }
    const std::string_view tv = platform::trimmed(tvApi != nullptr ? tvApi : "");
    if (isWebAddress(tv))
        sources.tvBase = withoutTrailingSlash(tv) + "/";
    return sources;
}

std::string RadioListAddress(std::string_view countryCode) {
    if (!isCountryCode(countryCode))
        return {};
    return radioListPrefix() + platform::upperCase(countryCode) +
           "?hidebroken=true&order=clickcount&reverse=true&limit=" +
           std::to_string(kStationsOfACountry);
}

std::string TvListAddress(std::string_view countryCode) {
    if (!isCountryCode(countryCode))
        return {};
    return std::string(kTvPlaylists)
        .append(kTvCountries)
        .append(platform::asciiLowerCase(countryCode))
        .append(kTvSuffix);
}

std::optional<DiscoveredList> Discovered(std::string_view address) {
    const std::string radio = radioListPrefix();
    if (address.starts_with(radio)) {
        const std::string_view rest = address.substr(radio.size());
        const std::string_view code = rest.substr(0, 2);
        if (isCountryCode(code) && (rest.size() == 2 || rest[2] == '?'))
            return DiscoveredList{DiscoveredList::Source::Radio, platform::upperCase(code)};
        return std::nullopt;
    }
    const std::string tv = std::string(kTvPlaylists).append(kTvCountries);
    if (address.starts_with(tv)) {
        const std::string_view rest = address.substr(tv.size());
        if (rest.size() == 2 + kTvSuffix.size() && isCountryCode(rest.substr(0, 2)) &&
            rest.substr(2) == kTvSuffix)
            return DiscoveredList{DiscoveredList::Source::Tv,
                                  platform::upperCase(rest.substr(0, 2))};
    }
    return std::nullopt;
}

std::string ListTitle(std::string_view address) {
    const auto list = Discovered(address);
    if (!list)
        return {};
    std::string country = directory::CountryOfCode(list->countryCode);
    if (country.empty())
        country = list->countryCode;
    return (list->source == DiscoveredList::Source::Radio ? "Radio stations of "
                                                          : "TV channels of ") +
           country;
}

std::string CountriesPath() {
    return "/json/countries";
}

std::string SearchPath(std::string_view words, int limit) {
    return "/json/stations/search?name=" + platform::percentEncoded(platform::trimmed(words)) +
           "&hidebroken=true&order=clickcount&reverse=true&limit=" + std::to_string(limit);
}

std::string CountPath(std::string_view stationId) {
    if (!directory::IsStationId(stationId))
        return {};
    return "/json/url/" + std::string(stationId);
}

std::string RadioDatabasePath(std::string_view address) {
    if (!Discovered(address))
        return {};
    return std::string(address.substr(kHttps.size() + kRadioDatabaseHost.size()));
}

std::string TvFetchAddress(std::string_view address, std::string_view tvBase) {
    if (!address.starts_with(kTvPlaylists))
        return std::string(address);
    return std::string(tvBase).append(address.substr(kTvPlaylists.size()));
}

std::string ServerBase(std::string_view hostName) {
    // A host name as DNS gives it: letters, digits, hyphens and dots, nothing that could make it
    // another address (a user, a port, a path).
    while (!hostName.empty() && hostName.back() == '.')
        hostName.remove_suffix(1);
    if (hostName.empty() || hostName.size() > 253 || hostName.front() == '.' ||
        hostName.front() == '-' ||
        hostName.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789.-") != std::string_view::npos)
        return {};
    return std::string(kHttps).append(platform::asciiLowerCase(hostName));
}

}  // namespace qova::discover
