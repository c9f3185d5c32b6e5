// The lists the discover window adds: kept under addresses that stay the same whichever server
// fetches them, fetched from the live sources with the stations' ids kept for counting plays,
// and a station counted once per start.
#include "discover/discovered_list_fetcher.h"

#include <gtest/gtest.h>

#include "discover/countries.h"
#include "discover/play_count.h"
#include "discover/sources.h"
#include "fakes/fake_discover.h"
#include "fakes/fake_list_fetcher.h"

namespace qova::discover {
namespace {

using Strings = std::vector<std::string>;

const std::string kRadioAt =
    "https://all.api.radio-browser.info/json/stations/bycountrycodeexact/AT"
    "?hidebroken=true&order=clickcount&reverse=true&limit=1000";
const std::string kTvDe = "https://iptv-org.github.io/iptv/countries/de.m3u";
const std::string kOe1 = "Austria|Radio|Ö1|http://127.0.0.1:1/oe1.mp3|DE";
const std::string kStations =
    R"([{"stationuuid":"96062a7b-0601-11e8-ae97-52543be04c81","name":"Ö1",)"
    R"("url_resolved":"http://127.0.0.1:1/oe1.mp3","countrycode":"AT","language":"german",)"
    R"("lastcheckok":1},)"
    R"({"stationuuid":"0000","name":"Gone","url":"http://127.0.0.1:1/gone","lastcheckok":0}])";

TEST(DiscoveredLists, AddressesStayTheSameWhateverServerFetchesThem) {
    EXPECT_EQ(RadioListAddress("at"), kRadioAt);
    EXPECT_EQ(TvListAddress("DE"), kTvDe);
    for (const char* none : {"", "A", "AUT", "1A", "A\n"}) {
        EXPECT_EQ(RadioListAddress(none), "") << none;
        EXPECT_EQ(TvListAddress(none), "") << none;
    }
    ASSERT_TRUE(Discovered(kRadioAt));
    EXPECT_EQ(Discovered(kRadioAt)->countryCode, "AT");
    EXPECT_EQ(Discovered(kTvDe)->source, DiscoveredList::Source::Tv);
    EXPECT_EQ(ListTitle(kRadioAt), "Radio stations of Austria");
    for (const std::string& other : Strings{
             std::string("https://de1.api.radio-browser.info/json/stations/bycountrycodeexact/AT"),
             kRadioAt.substr(0, kRadioAt.find('?') - 1),
             "https://all.api.radio-browser.info/json/stations/bycountrycodeexact/ATT",
             "https://iptv-org.github.io/iptv/countries/deu.m3u",
             "https://iptv-org.github.io/iptv/index.country.m3u", "/home/me/at.json"}) {
        EXPECT_FALSE(Discovered(other)) << other;
        EXPECT_EQ(ListTitle(other), "") << other;
    }
    EXPECT_EQ(RadioDatabasePath(kRadioAt), kRadioAt.substr(kRadioAt.find("/json")));
    const Sources mirror = Sources::fromEnvironment(nullptr, "http://127.0.0.1:8002/tree");
    EXPECT_EQ(TvFetchAddress(kTvDe, mirror.tvBase), "http://127.0.0.1:8002/tree/countries/de.m3u");
    EXPECT_EQ(Sources::fromEnvironment(nullptr, "file:///srv").tvBase, kTvPlaylists);
    EXPECT_EQ(SearchPath(" Jazz & Blues ", 100),
              "/json/stations/search?name=Jazz%20%26%20Blues&hidebroken=true&order=clickcount"
              "&reverse=true&limit=100");
    EXPECT_EQ(CountPath("96062a7b-0601-11e8-ae97-52543be04c81"),
              "/json/url/96062a7b-0601-11e8-ae97-52543be04c81");
    for (const char* bad : {"", "../../json/stations", "a b", "abc?x=1"})
        EXPECT_EQ(CountPath(bad), "") << bad;
}

class FetcherTest : public ::testing::Test {
  protected:
    fakes::FakeListFetcher others;
    fakes::FakeResolver dns;
    fakes::FakeHttpGetter http;
    RadioServers servers{dns, {"http://127.0.0.1:8001"}, [](std::size_t) { return 0; }};
    RadioDatabase radio{http, servers};
    DiscoveredListFetcher fetcher{others, radio, http, "http://127.0.0.1:8002/", 1 << 20, nullptr};
    std::map<std::string, platform::ListFetcher::Outcome> outcomes;

    void fetch(const std::string& address) {
        fetcher.fetch(address, nullptr, [this, address](platform::ListFetcher::Outcome outcome) {
            outcomes[address] = std::move(outcome);
        });
    }
};

TEST_F(FetcherTest, EachSourceIsFetchedLiveAndConvertedAsItsOwnAndOtherListsAsBefore) {
    http.answers["http://127.0.0.1:8001" + RadioDatabasePath(kRadioAt)] = {200, kStations, {}};
    http.answers["http://127.0.0.1:8002/countries/de.m3u"] = {
        200,
        "#EXTM3U\n#EXTINF:-1 tvg-id=\"ZDF.de\" tvg-logo=\"https://127.0.0.1/zdf.png\" "
        "group-title=\"General\",ZDF\nhttps://127.0.0.1:1/zdf.m3u8\n",
        {}};
    fetch(kRadioAt);
    fetch(kTvDe);
    fetch("http://127.0.0.1:1/mine.m3u");
    EXPECT_EQ(others.underWay(), Strings{"http://127.0.0.1:1/mine.m3u"});
    EXPECT_TRUE(outcomes.empty());  // never from within the call
    http.answerAll();
    const auto& radioList = outcomes.at(kRadioAt);
    EXPECT_EQ(radioList.error, "");
    EXPECT_EQ(radioList.channels, 1u);
    EXPECT_EQ(radioList.lines,
              "#qova-station=96062a7b-0601-11e8-ae97-52543be04c81\r\n" + kOe1 + "\r\n");
    EXPECT_FALSE(radioList.when.empty());
    const auto& tvList = outcomes.at(kTvDe);
    EXPECT_EQ(tvList.channels, 1u);
    EXPECT_EQ(tvList.lines, "Germany|Video|ZDF|https://127.0.0.1:1/zdf.m3u8|\r\n");
    // The user's own list went to the other fetcher alone.
    EXPECT_EQ(http.asked.size(), 2u);
}

TEST_F(FetcherTest, ASourceThatFailsOrSendsWhatIsNoListBringsNoChannel) {
    http.answers["http://127.0.0.1:8001" + RadioDatabasePath(kRadioAt)] = {
        200, R"({"error": "no such call"})", {}};
    http.answers["http://127.0.0.1:8002/countries/de.m3u"] = {404, "Not Found", {}};
    fetch(kRadioAt);
    fetch(kTvDe);
    http.answerAll();
    EXPECT_EQ(outcomes.at(kRadioAt).channels, 0u);
    EXPECT_EQ(outcomes.at(kRadioAt).lines, "");
    EXPECT_EQ(outcomes.at(kTvDe).error, "The playlist server has no list for this country.");

    // A list beyond the bound of any list is no list.
    http.answers["http://127.0.0.1:8002/countries/de.m3u"] = {200, std::string(2 << 20, '#'), {}};
    fetch(kTvDe);
    http.answerAll();
    EXPECT_EQ(outcomes.at(kTvDe).error, "Too large.");

    // Down altogether: said, and a fetch removed on the way is never heard of.
    outcomes.clear();
    http.answers.clear();
    fetch(kRadioAt);
    http.answerAll();
    EXPECT_EQ(outcomes.at(kRadioAt).error, "No server of the radio station database answers.");
    fetch(kTvDe);
    fetcher.cancel(kTvDe);
    EXPECT_TRUE(http.underWay().empty());
    EXPECT_EQ(outcomes.count(kTvDe), 0u);
}

TEST(PlayCounts, AStationIsCountedOncePerStartAndNothingElseEver) {
    const std::string added = "#qova-station=96062a7b-0601-11e8-ae97-52543be04c81\r\n" + kOe1 +
                              "\r\n" + kOe1 + "X\r\n" +
                              "France|Video|Un|http://127.0.0.1:1/un.m3u8|FR\r\n";
    Strings counted;
    PlayCount plays([&](const std::string& id) { counted.push_back(id); });
    plays.started(kOe1, added);
    EXPECT_EQ(counted, Strings{"96062a7b-0601-11e8-ae97-52543be04c81"});
    // Tried again after a failure, before it ever played: the same start.
    plays.started(kOe1, added);
    EXPECT_EQ(counted.size(), 1u);
    plays.plays(kOe1);
    plays.plays(kOe1);  // a reconnection plays again; still one start
    EXPECT_EQ(counted.size(), 1u);
    // Played, and started again: a new start.
    plays.started(kOe1, added);
    EXPECT_EQ(counted.size(), 2u);
    // Channels of the directory or other lists: a line like it, one with no id, one that is not
    // there as a whole line.
    for (const std::string& other :
         Strings{kOe1 + "X", std::string("France|Video|Un|http://127.0.0.1:1/un.m3u8|FR"),
                 std::string("Austria|Radio|Ö1"), std::string()})
        plays.started(other, added);
    EXPECT_EQ(counted.size(), 2u);
    EXPECT_EQ(StationIdIn("#qova-station=../x\r\n" + kOe1 + "\r\n", kOe1), "");
    EXPECT_EQ(StationIdIn("#qova-station=1234\n" + kOe1, kOe1), "1234");

    // What a search found counts too, by the ids it came with.
    plays.found({{"Italy|Radio|Uno|http://127.0.0.1:1/uno.mp3|IT", "abcd"}});
    plays.started("Italy|Radio|Uno|http://127.0.0.1:1/uno.mp3|IT", "");
    EXPECT_EQ(counted.back(), "abcd");
    EXPECT_EQ(StationsWithIds("#qova-station=ab\r\nA|Radio|B|u|\r\nC|Radio|D|u|\r\n", 10).size(),
              1u);
}

TEST(DiscoverCountries, TheSystemsCountryComesFirstWithTheDatabasesCounts) {
    EXPECT_EQ(CountryOfLocale("de_DE.UTF-8"), "DE");
    EXPECT_EQ(CountryOfLocale("pt_BR@euro"), "BR");
    EXPECT_EQ(CountryOfLocale("sr_Latn_RS"), "RS");
    for (const char* none : {"C", "POSIX", "en", "de_XX", ""})
        EXPECT_EQ(CountryOfLocale(none), "") << none;

    const std::vector<Country> database = ReadCountries(
        R"([{"name":"Germany","iso_3166_1":"DE","stationcount":7123},)"
        R"({"name":"The United Kingdom Of Great Britain And Northern Ireland","iso_3166_1":"GB",)"
        R"("stationcount":3001},{"name":"Nowhere","iso_3166_1":"QQ","stationcount":5},)"
        R"({"name":"No code","stationcount":9},{"name":"Again","iso_3166_1":"de"},)"
        R"({"name":"Austria","iso_3166_1":"AT","stationcount":1}, 42, {"iso_3166_1":"FR"}])");
    ASSERT_EQ(database.size(), 3u);
    EXPECT_EQ(database[1].name, "United Kingdom");
    EXPECT_EQ(ChooserText(database[0]), "Germany (7,123 stations)");
    EXPECT_EQ(ChooserText(database[2]), "Austria (1 station)");
    EXPECT_TRUE(ReadCountries("<html>").empty());
    EXPECT_TRUE(ReadCountries(R"({"name":"Germany"})").empty());

    const std::vector<Country> offered = ChooserCountries(database, "DE");
    EXPECT_EQ(offered.front().code, "DE");
    EXPECT_EQ(offered.front().stations, 7123);
    EXPECT_GT(offered.size(), 200u);  // every country, TV channels being elsewhere
    EXPECT_EQ(offered[1].name, "Afghanistan");
    EXPECT_EQ(ChooserCountries({}, "").front().name, "Afghanistan");
}

}  // namespace
}  // namespace qova::discover
