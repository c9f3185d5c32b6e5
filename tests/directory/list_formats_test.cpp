// Playlists and station lists as the world writes them, read into the program's own lines.
// The fixtures are written by hand from the formats, with the malformations real lists carry.
#include "directory/list_formats.h"

#include <gtest/gtest.h>

#include "platform/stream_address.h"
#include "platform/text.h"
#include "playback/player_pages.h"

namespace qova::directory {
namespace {

const char* const kPlaylist =
    "\xEF\xBB\xBF#EXTM3U x-tvg-url=\"http://127.0.0.1/guide.xml\"\r\n"
    "#EXTINF:-1 tvg-id=\"a.fr\" tvg-country=\"FR\" tvg-language=\"French\" "
    "group-title=\"News\",France 24\r\n"
    "http://127.0.0.1/fr24.m3u8\r\n"
    // Upper-case names, several countries and languages, a comma inside a quoted value.
    "  #EXTINF:-1 TVG-COUNTRY=\"UK;US\" Tvg-Language=\"English;Spanish\" "
    "group-title=\"News, Weather\",World | News\x01Now\n"
    // A blank line before its address, and a second header in the middle.
    "\n"
    "http://127.0.0.1/world.m3u8\n"
    "#EXTM3U\n"
    "#EXTINF:-1 radio=\"TRUE\" tvg-country=\"INT\" group-title=\"Germany\",Radio Eins\n"
    "#EXTVLCOPT:http-user-agent=QOVA Test/1.0\n"
    "#EXTVLCOPT:http-referrer=http://127.0.0.1/\n"
    "http://127.0.0.1/eins.mp3\n"
    "#EXTINF:0 tvg-language=\"xx\" group-title=\"Music\",Headers In The Address\n"
    "http://127.0.0.1/live.nsv|User-Agent=Kodi%2F20&Referer=http://127.0.0.1/x\n"
    "#EXTGRP:Italy\n"
    "#EXTINF:-1,Grouped\n"
    "rtsp://127.0.0.1/grouped\n"
    // No #EXTINF at all: the address is the name.
    "http://127.0.0.1/bare.aac\n";

TEST(ListFormats, APlaylistIsReadAsItsWritersMeantIt) {
    ASSERT_EQ(RecogniseListFormat(kPlaylist), ListFormat::M3u);
    const std::string eins = platform::addressWithHeaders(
        "http://127.0.0.1/eins.mp3",
        {{"User-Agent", "QOVA Test/1.0"}, {"Referer", "http://127.0.0.1/"}});
    const std::string nsv = platform::addressWithHeaders(
        "http://127.0.0.1/live.nsv",
        {{"User-Agent", "Kodi/20"}, {"Referer", "http://127.0.0.1/x"}});
    EXPECT_EQ(ToNativeLines(kPlaylist, ListFormat::M3u),
              "France|Video|France 24|http://127.0.0.1/fr24.m3u8|FR\r\n"
              "United Kingdom|Video|World   News Now|http://127.0.0.1/world.m3u8|EN\r\n"
              "Germany|Radio|Radio Eins|" +
                  eins +
                  "|\r\n"
                  "International|Video|Headers In The Address|" +
                  nsv +
                  "|\r\n"
                  "Italy|Video|Grouped|rtsp://127.0.0.1/grouped|\r\n"
                  "International|Video|http://127.0.0.1/bare.aac|http://127.0.0.1/bare.aac|\r\n");
    // The player a line's end chooses is the bare address's, headers or not.
    EXPECT_EQ(playback::GetStreamKind("I|Video|H|" + nsv + "|XX"),
              playback::GetStreamKind("I|Video|H|http://127.0.0.1/live.nsv|XX"));
    EXPECT_EQ(platform::splitHeaders(nsv).address, "http://127.0.0.1/live.nsv");
}

TEST(ListFormats, AStationListKeepsWorkingStationsWithWhatTheyTell) {
    const char* const stations = R"([
      {"name": "Ö1 | Live", "url": "http://127.0.0.1/oe1", "url_resolved": "http://127.0.0.1/oe1.mp3",
       "country": "Austria", "countrycode": "at", "language": "german,english", "codec": "MP3",
       "bitrate": 128, "lastcheckok": 1},
       {"name": "Broken", "url_resolved": "http://127.0.0.1/broken", "lastcheckok": 0},
      {"name": null, "url": "http://127.0.0.1/nameless", "country": "Atlantis", "countrycode": null},
      {"name": "No Address", "url": "", "url_resolved": null},
      "not a station", 42,
      {"name": "Neither", "url_resolved": "http://127.0.0.1/neither", "language": "klingon"}
    ])";
    ASSERT_EQ(RecogniseListFormat(stations), ListFormat::StationJson);
    EXPECT_EQ(ToNativeLines(stations, ListFormat::StationJson),
              "Austria|Radio|Ö1   Live|http://127.0.0.1/oe1.mp3|DE\r\n"
              "Atlantis|Radio|http://127.0.0.1/nameless|http://127.0.0.1/nameless|\r\n"
              "International|Radio|Neither|http://127.0.0.1/neither|\r\n");
    EXPECT_EQ(ToNativeLines("[{\"name\": \"cut off", ListFormat::StationJson), "");
}

// The lists of the public sources: a station database's stations with the ids it counts plays
// by, a country's playlist whose groups are kinds of programme, each under the list's country.
TEST(ListFormats, ADiscoveredListKeepsItsStationIdsAndItsCountry) {
    const char* const stations = R"([
      {"stationuuid": "9617a958-0601-11e8-ae97-52543be04c81", "name": "Ö1",
       "url_resolved": "http://127.0.0.1/oe1.mp3", "countrycode": "AT", "lastcheckok": 1},
      {"stationuuid": "bad\r\nid", "name": "Odd", "url": "http://127.0.0.1/odd.mp3"},
      {"stationuuid": "0000", "name": "Gone", "url": "http://127.0.0.1/gone", "lastcheckok": 0},
      {"name": "No Id", "url": "http://127.0.0.1/noid.mp3", "countrycode": "AT"}
    ])";
    EXPECT_EQ(ToNativeLines(stations, ListFormat::StationJson, {{}, true}),
              "#qova-station=9617a958-0601-11e8-ae97-52543be04c81\r\n"
              "Austria|Radio|Ö1|http://127.0.0.1/oe1.mp3|\r\n"
              "International|Radio|Odd|http://127.0.0.1/odd.mp3|\r\n"
              "Austria|Radio|No Id|http://127.0.0.1/noid.mp3|\r\n");
    const char* const playlist =
        "#EXTM3U x-tvg-url=\"https://127.0.0.1/guide.xml\"\n"
        "#EXTINF:-1 tvg-id=\"DasErste.de@SD\" tvg-logo=\"https://127.0.0.1/a,b.png\" "
        "group-title=\"General;News\",Das Erste (720p)\n"
        "#EXTVLCOPT:http-referrer=https://127.0.0.1/\n"
        "https://127.0.0.1/ard.m3u8\n"
        "#EXTINF:-1 tvg-id=\"ORF1.at@SD\" tvg-country=\"AT\" group-title=\"Austria\",ORF 1\n"
        "https://127.0.0.1/orf.m3u8\n";
    const std::string lines = ToNativeLines(playlist, ListFormat::M3u, {"Germany", false});
    EXPECT_EQ(lines.substr(0, lines.find('\n') + 1),
              "Germany|Video|Das Erste (720p)|" +
                  platform::addressWithHeaders("https://127.0.0.1/ard.m3u8",
                                               {{"Referer", "https://127.0.0.1/"}}) +
                  "|\r\n");
    EXPECT_EQ(lines.substr(lines.find('\n') + 1),
              "Germany|Video|ORF 1|https://127.0.0.1/orf.m3u8|\r\n");
}

// Each station is parsed alone: one that is malformed or too large costs only itself, and a
// list cut off keeps the stations before the cut.
TEST(ListFormats, AStationListIsReadOneStationAtATime) {
    const std::string large = R"({"name": "Large", "url": "http://127.0.0.1/large", "tags": ")" +
                              std::string(kMaxStationBytes, 'x') + R"("})";
    const std::string list =
        "[\n"
        R"({"name": "Quote \" ] } [ {", "url": "http://127.0.0.1/q", "name": "Second"},)" +
        large + "," + R"( [{"url": "http://127.0.0.1/nested"}], {"name": "Bad )" + "\xff" +
        R"(", "url": "http://127.0.0.1/bad"}, {"name": "Broken", "url": tru},)" +
        R"({"name": "Last", "url": "http://127.0.0.1/last", "lastcheckok": true},)" +
        R"({"name": "Cut off", "url": "http://127.0.0.1/cut)";
    EXPECT_EQ(ToNativeLines(list, ListFormat::StationJson),
              "International|Radio|Quote \" ] } [ {|http://127.0.0.1/q|\r\n"
              "International|Radio|Last|http://127.0.0.1/last|\r\n");
    // A bracket that closes nothing ends the list.
    EXPECT_EQ(
        ToNativeLines(R"([{"url": "http://127.0.0.1/a"}, :"x"}, {"url": "http://127.0.0.1/b"}])",
                      ListFormat::StationJson),
        "International|Radio|http://127.0.0.1/a|http://127.0.0.1/a|\r\n");
    for (const char* empty : {"[]", "[", "[,]", "{}", "[\"\\\"]"})
        EXPECT_EQ(ToNativeLines(empty, ListFormat::StationJson), "") << empty;
}

TEST(ListFormats, TheProgramsOwnDirectoryIsNoPlaylist) {
    for (const char* native : {"France|Video|A|http://h/a|FR\r\n", "", "x", "# not\r\n"})
        EXPECT_EQ(RecogniseListFormat(native), ListFormat::Native) << native;
}

TEST(ListFormats, ExportedChannelsComeBackTheSame) {
    const std::string channels =
        "France|Video|France 24|http://127.0.0.1/fr24.m3u8|FR\r\n"
        "Österreich|RADIO|Ö1, live|http://127.0.0.1/oe1.mp3|de-AT\r\n" +
        std::string("Test|Video|With Headers|") +
        platform::addressWithHeaders("http://127.0.0.1/h.m3u8", {{"User-Agent", "A, B"}}) + "|\r\n";
    const std::string playlist = ToM3u(channels);
    EXPECT_NE(playlist.find("tvg-country=\"FR\""), std::string::npos) << playlist;
    EXPECT_NE(playlist.find("radio=\"true\""), std::string::npos);
    EXPECT_NE(playlist.find("#EXTVLCOPT:http-user-agent=A, B"), std::string::npos);
    EXPECT_EQ(ToNativeLines(playlist, ListFormat::M3u), channels);
}

// Any line may carry headers, written by hand: only those a line may give leave the program,
// in a playlist as in a request, and none of them ends its line to start another.
TEST(ListFormats, HeadersALineMayNotGiveAreNeitherReadNorExported) {
    const std::string address = "http://127.0.0.1/tv.m3u8";
    const std::string smuggled =
        address + "#qova-http=User-Agent=Agent%0D%0Ahttp%3A%2F%2Fevil%2Fx.m3u8" +
        "&X-Injected=yes&Referrer=http%3A%2F%2Fref%2F%0A&Referer=http%3A%2F%2Fref%2F;3u8";
    // The program's own copy of the line rides percent-encoded in an attribute; what other
    // players read is the referrer and the address, each a line of its own.
    const std::vector<std::string> lines = platform::splitLines(
        ToM3u("Test|Video|Smuggled|" + smuggled + "|EN\r\n"), platform::LineEnds::AnyBreak);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[1].starts_with("#EXTINF:-1 ")) << lines[1];
    EXPECT_TRUE(lines[1].ends_with("\",Smuggled")) << lines[1];
    EXPECT_EQ(lines[2], "#EXTVLCOPT:http-referrer=http://ref/");
    EXPECT_EQ(lines[3], address);
    EXPECT_EQ(platform::splitHeaders(smuggled).headers,
              (std::vector<platform::HttpHeader>{{"Referer", "http://ref/"}}));

    // A playlist's own suffix keeps what a line may give, in its spelling.
    EXPECT_EQ(ToNativeLines("#EXTM3U\n#EXTINF:-1,Suffix\n" + address +
                                "|X-Forwarded-For=1.2.3.4&user-agent=A%0D%0AB&referrer=http://r/\n",
                            ListFormat::M3u),
              "International|Video|Suffix|" +
                  platform::addressWithHeaders(address, {{"Referer", "http://r/"}}) + "|\r\n");
}

TEST(ListFormats, ExportedCountriesAreCodesWhereKnownWithTheirNamesInTheGroup) {
    const std::string channels =
        "Deutschland|Video|Das Erste|http://127.0.0.1/ard.m3u8|DE\r\n"
        "Österreich|Radio|Ö1|http://127.0.0.1/oe1.mp3|DE\r\n"
        "FRANCE|Video|France 24|http://127.0.0.1/f24.m3u8|FR\r\n"
        "United Kingdom|Video|BBC|http://127.0.0.1/bbc.m3u8|EN\r\n"
        "Atlantis|Video|Deep|http://127.0.0.1/deep.m3u8|\r\n";
    const std::string playlist = ToM3u(channels);
    for (const char* entry :
         {"#EXTINF:-1 tvg-country=\"DE\" tvg-language=\"DE\" group-title=\"Deutschland\" ",
          "#EXTINF:-1 tvg-country=\"AT\" tvg-language=\"DE\" group-title=\"Österreich\" "
          "radio=\"true\" ",
          "#EXTINF:-1 tvg-country=\"FR\" tvg-language=\"FR\" group-title=\"FRANCE\" ",
          "#EXTINF:-1 tvg-country=\"GB\" tvg-language=\"EN\" group-title=\"United Kingdom\" ",
          // A country no code is known for is a group alone.
          "#EXTINF:-1 tvg-language=\"\" group-title=\"Atlantis\" "})
        EXPECT_NE(playlist.find(entry), std::string::npos) << entry << "\n" << playlist;
    EXPECT_EQ(ToNativeLines(playlist, ListFormat::M3u), channels);
}

}  // namespace
}  // namespace qova::directory
