#include "playback/player_pages.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/markup_reader.h"

namespace qova::playback {
namespace {

TEST(StreamKind, ComesFromTheThreeCharactersBeforeTheLastThreeAndChoosesThePlayer) {
    using enum PlayerKind;
    const std::tuple<const char*, const char*, PlayerKind> cases[] = {
        {"F|Video|A|http://h/live.wmv|EN", "wmv", MediaPlayer},
        {"F|Video|A|http://h/live.RAM|EN", "ram", RealPlayer},
        {"F|Video|A|http://h/clip.rm|EN", ".rm", RealPlayer},
        {"F|Video|A|http://h/x.rem|EN", "rem", RealPlayer},
        {"F|Video|A|http://h/live.nsv|EN", "nsv", Winamp},
        {"F|Radio|A|http://h/live.nsa|EN", "nsa", Winamp},
        // Where the characters stand, not what the address's ending is.
        {"F|Video|A|http://h/live.asf", "ve.", MediaPlayer},
        // Too short for a kind: the default player, not a failure.
        {"a|b|c", "", MediaPlayer},
        {"ab.rm|", "ab.", MediaPlayer},
        // Characters, not bytes, whatever the language field holds.
        {"F|Video|A|http://h/\xC3\xA9t\xC3\xA9.rm|\xE2\x82\xAC\xE2\x82\xAC", ".rm", RealPlayer},
    };
    for (const auto& [line, kind, player] : cases) {
        EXPECT_EQ(GetStreamKind(line), kind) << line;
        EXPECT_EQ(ChoosePlayer(GetStreamKind(line)), player) << line;
    }
    EXPECT_EQ(ChoosePlayer("NSV"), Winamp);
}

TEST(UrlPrefix, IsTheFirstFourCharactersLowerCased) {
    EXPECT_EQ(GetUrlPrefix("rts"), "rts");
    EXPECT_EQ(GetUrlPrefix("\xC3\x89tsp://"), "\xC3\xA9tsp");
}

TEST(PlayerPages, TheMediaPlayersPageIsWrittenByteForByte) {
    state::Site site;
    site.playerControlHost = "ctl.example";
    site.playerDownloadHost = "dl.example";
    EXPECT_EQ(
        MediaPlayerPage("mms://h/live.wmv", site),
        "<html><body bgcolor=\"black\" style=\"overflow:hidden;margin:0;padding:0\"><object "
        "id=\"mediaPlayer\" classid=\"CLSID:22d6f312-b0f6-11d0-94ab-0080c74c7e95\" "
        "codebase=\"http://ctl.example/activex/controls/mplayer/en/"
        "nsmp2inf.cab#Version=5,1,52,701\" "
        "width=\"550\" height=\"338\" standby=\"Loading Microsoft Windows Media Player "
        "components...\" type=\"application/x-oleobject\"><param name=\"src\" "
        "value=\"mms://h/live.wmv\"><param name=\"autoStart\" value=\"True\"><param "
        "name=\"showControls\" value=\"false\"><param name=\"showControls\" value=\"false\"><param "
        "name=\"transparentatStart\" value=\"true\"><param name=\"animationatStart\" "
        "value=\"true\"><param name=\"ShowStatusBar\" value=\"1\"><embed "
        "type=\"application/x-mplayer2\" pluginspage=\"http://dl.example/Windows/MediaPlayer/en/"
        "download/\" id=\"mediaPlayer\" name=\"mediaPlayer\" width=\"550\" height=\"338\" "
        "src=\"mms://h/live.wmv\" showcontrols=\"0\" showstatusbar=\"1\"></object></body></html>");
}

TEST(PlayerPages, EveryPageGivesThePlayerItsAddressExactlyAndNothingElse) {
    for (const std::string address : {"rtsp://h/a.rm", "http://h/a?x=1&y=\"><script>'</script>"}) {
        SCOPED_TRACE(address);
        // The media player's page goes through a file, the others' in "about:" addresses.
        for (std::string page : {RealPlayerAddress(address), WinampAddress(address),
                                 "about:" + MediaPlayerPage(address, state::Site{})}) {
            ASSERT_TRUE(page.starts_with("about:"));
            page.erase(0, 6);
            EXPECT_EQ(platform::embeddedPlayerAddress(page), address);
            EXPECT_EQ(page.find("<script"), std::string::npos);
            EXPECT_EQ(platform::pageText(page).body, "");
        }
    }
}

}  // namespace
}  // namespace qova::playback
