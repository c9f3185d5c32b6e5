// Which guide channel is a list's channel's: each rung of the ladder, the best winning.
#include <gtest/gtest.h>

#include "guide/playlist_hints.h"
#include "guide_fixture.h"

namespace qova::guide {
namespace {

using namespace test;

std::string channel(const std::string& id, const std::string& name) {
    return "<channel id=\"" + id + "\"><display-name lang=\"en\">" + name +
           "</display-name></channel>\n";
}

TEST(GuideMatching, EachRungOfTheLadder) {
    GuideFixture f;
    f.channels = {
        {"Exact", "Exact.de", "", 0},
        {"Case", "case.de", "", 0},
        {"Arte", "Arte.fr@SD", "", 0},
        {"By tvg-name", "", "Das Erste HD", 0},
        {"Télé Matin!", "", "", 0},
        {"Unknown", "nobody.xx", "Nobody", 0},
        // A better rung found later wins over a worse one found first.
        {"Best", "best.id", "", 0},
        {"Chosen", "Exact.de", "", 0},
    };
    f.chosen = {{"Chosen", "other"}};
    const std::string guide =
        tv(channel("Exact.de", "Something else") + channel("CASE.DE", "Case") +
           channel("arte.FR", "ARTE") + channel("daserste", "das erste  hd") +
           channel("tm", "tele-matin") + channel("byname", "Best") + channel("best.id", "B") +
           channel("other", "O") + programme("Exact.de", at(20), at(21), "exact") +
           programme("CASE.DE", at(20), at(21), "case") +
           programme("arte.FR", at(20), at(21), "arte") +
           programme("daserste", at(20), at(21), "erste") + programme("tm", at(20), at(21), "tm") +
           programme("byname", at(20), at(21), "wrong") +
           programme("best.id", at(20), at(21), "best") +
           programme("other", at(20), at(21), "chosen") +
           // A programme of a channel the guide never declared, found by its id alone.
           programme("undeclared", at(20), at(21), "x"));
    const BuildResult result = f.build({guide});
    ASSERT_TRUE(result.written) << result.error;
    EXPECT_EQ(f.titleAt("Exact", kNow), "exact");
    EXPECT_EQ(f.titleAt("Case", kNow), "case");
    EXPECT_EQ(f.titleAt("Arte", kNow), "arte");
    EXPECT_EQ(f.titleAt("By tvg-name", kNow), "erste");
    EXPECT_EQ(f.titleAt("Télé Matin!", kNow), "tm");
    EXPECT_EQ(f.titleAt("Best", kNow), "best");
    EXPECT_EQ(f.titleAt("Chosen", kNow), "chosen");
    // A channel the guide does not know: no lines, no error.
    EXPECT_EQ(f.titleAt("Unknown", kNow), "");
    EXPECT_FALSE(f.store()->hasChannel("Unknown"));
    EXPECT_EQ(result.channelsMatched, 7u);
    const auto lists = f.store()->lists();
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].matched, 7u);
    EXPECT_EQ(lists[0].channels, 8u);
    EXPECT_EQ(f.store()->guideChannel("Arte"), "arte.FR");
}

TEST(GuideMatching, GuidesMergeInTheOrderGiven) {
    GuideFixture f;
    f.channels = {{"A", "a", "", 0}, {"B", "b", "", 0}};
    ASSERT_TRUE(f.build({tv(programme("a", at(20), at(21), "first a")),
                         tv(programme("a", at(20), at(21), "second a") +
                            programme("b", at(20), at(21), "second b"))})
                    .written);
    EXPECT_EQ(f.titleAt("A", kNow), "first a");
    EXPECT_EQ(f.titleAt("B", kNow), "second b");
}

TEST(PlaylistHints, HeaderSourcesAndEntryAttributes) {
    const PlaylistHints hints = ReadPlaylistHints(
        "\xEF\xBB\xBF#EXTM3U x-tvg-url=\"http://a/g.xml.gz, http://b/g.xml\" tvg-shift=\"+1\"\r\n"
        "#EXTINF:-1 tvg-id=\"one.fr@HD\" tvg-name=\"One FR\" group-title=\"FR\",One | FR\r\n"
        "http://s/1\r\n"
        "#EXTINF:-1 tvg-shift=\"-2\",Two\r\nhttp://s/2\r\n"
        "#EXTINF:-1 tvg-name=\"Only tvg-name\",\r\nhttp://s/3\r\n");
    EXPECT_EQ(hints.guides, (std::vector<std::string>{"http://a/g.xml.gz", "http://b/g.xml"}));
    ASSERT_EQ(hints.channels.size(), 3u);
    EXPECT_EQ(hints.channels[0].name, "One   FR");  // as its directory line names it
    EXPECT_EQ(hints.channels[0].tvgId, "one.fr@HD");
    EXPECT_EQ(hints.channels[0].tvgName, "One FR");
    EXPECT_EQ(hints.channels[0].shiftHours, 1);
    EXPECT_EQ(hints.channels[1].shiftHours, -2);
    EXPECT_EQ(hints.channels[2].name, "Only tvg-name");
    EXPECT_EQ(ReadPlaylistHints("#EXTM3U url-tvg=\"http://c/g\"\n").guides.size(), 1u);
    EXPECT_TRUE(ReadPlaylistHints("Country|Video|Name|http://x|").guides.empty());
    EXPECT_EQ(MatchingName(" Télé-Matin HD! "), "telematinhd");
}

}  // namespace
}  // namespace qova::guide
