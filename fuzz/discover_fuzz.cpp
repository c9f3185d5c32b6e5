// What the public channel sources send: the database's countries, its stations with their ids
// (a search's answer, a country's list), a country's TV playlist, and an id looked up among the
// lines a list of stations made.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "discover/countries.h"
#include "discover/discovered_list_fetcher.h"
#include "discover/play_count.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova::discover;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    for (const Country& country : ReadCountries(page))
        ChooserText(country);
    const auto stations = DiscoveredListFetcher::ConvertRadioList(page);
    const auto found = StationsWithIds(stations.lines, 100);
    for (const FoundStation& station : found)
        StationIdIn(stations.lines, station.record);
    DiscoveredListFetcher::ConvertTvList(page, "Germany");
    CountryOfLocale(page);
    return 0;
}
