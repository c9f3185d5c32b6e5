#include "playback/player_pages.h"

#include <gtest/gtest.h>

#include "player/player_page.h"

namespace qova::playback {
namespace {

TEST(StreamKind, ComesFromTheThreeCharactersBeforeTheLastThree) {
    const struct {
        const char* line;
        const char* kind;
        PlayerKind player;
    } cases[] = {
        {"F|Video|A|http://h/live.wmv|EN", "wmv", PlayerKind::MediaPlayer},
        {"F|Video|A|http://h/live.RAM|EN", "ram", PlayerKind::RealPlayer},
        {"F|Video|A|http://h/live.nsv|EN", "nsv", PlayerKind::Winamp},
        {"F|Radio|A|http://h/live.nsa|EN", "nsa", PlayerKind::Winamp},
        {"F|Video|A|http://h/clip.rm|EN", ".rm", PlayerKind::RealPlayer},
        {"F|Video|A|http://h/x.rem|EN", "rem", PlayerKind::RealPlayer},
        {"F|Video|A|http://h/live.asf", "ve.", PlayerKind::MediaPlayer},
        {"F|Video|A|http://h/clip.mpeg|EN", "peg", PlayerKind::MediaPlayer},
        {"F|Radio|A|http://h/sound.au|EN", ".au", PlayerKind::MediaPlayer},
        {"F|Radio|A|http://h/x.MP3|EN", "mp3", PlayerKind::MediaPlayer},
        // Too short for a kind: the default player, not a failure.
        {"a|b|c", "", PlayerKind::MediaPlayer},
        {"", "", PlayerKind::MediaPlayer},
        {"x.rm|EN", ".rm", PlayerKind::RealPlayer},
        {"ab.rm|", "ab.", PlayerKind::MediaPlayer},
        // Characters, not bytes, whatever the language field holds.
        {"F|Radio|A|http://h/live.nsv|D\xC3\x89", "nsv", PlayerKind::Winamp},
        {"F|Video|A|http://h/\xC3\xA9t\xC3\xA9.rm|\xE2\x82\xAC\xE2\x82\xAC", ".rm",
         PlayerKind::RealPlayer},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetStreamKind(c.line), c.kind) << c.line;
        EXPECT_EQ(ChoosePlayer(GetStreamKind(c.line)), c.player) << c.line;
    }
    EXPECT_EQ(ChoosePlayer("NSV"), PlayerKind::Winamp);
}

TEST(UrlPrefix, IsTheFirstFourCharactersLowerCased) {
    EXPECT_EQ(GetUrlPrefix("RTSP://h/x"), "rtsp");
    EXPECT_EQ(GetUrlPrefix("rts"), "rts");
    EXPECT_EQ(GetUrlPrefix("\xC3\x89tsp://"), "\xC3\xA9tsp");
    EXPECT_EQ(GetUrlPrefix(""), "");
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
    const std::string markupBreaker = "http://h/a?x=1&y=\"><script>'</script>";
    for (const std::string& address : {std::string("rtsp://h/a.rm"), markupBreaker}) {
        SCOPED_TRACE(address);
        const std::string about = "about:";
        for (const std::string& page : {RealPlayerAddress(address).substr(about.size()),
                                        WinampAddress(address).substr(about.size()),
                                        MediaPlayerPage(address, state::Site{})}) {
            EXPECT_EQ(player::embeddedPlayerAddress(page), address);
            EXPECT_EQ(page.find("<script"), std::string::npos);
            EXPECT_EQ(player::pageText(page).body, "");
        }
    }
    EXPECT_TRUE(RealPlayerAddress("x").starts_with("about:"));
    EXPECT_TRUE(WinampAddress("x").starts_with("about:"));
}

}  // namespace
}  // namespace qova::playback
