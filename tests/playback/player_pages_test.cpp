#include "playback/player_pages.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(GetUrlPrefix(""), "");
}

TEST(PlayerPages, TextsStandAsTheDesktopPlayersExpectThem) {
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
    EXPECT_EQ(RealPlayerAddress("rtsp://h/a.rm"),
              "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"><object "
              "width=550px height=338px classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA><param "
              "name=\"src\" value=\"rtsp://h/a.rm\" /><param name=\"center\" value=\"false\" "
              "/><param name=\"maintainaspect\" value=\"true\" /><param name=\"autostart\" "
              "value=\"true\" /><param name=\"controls\" value=\"imagewindow,0\" "
              "/></object></body> </body>");
    EXPECT_EQ(WinampAddress("http://h/a.nsv"),
              "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"><object "
              "type=\"video/x-ms-wmv\" data=\"http://h/a.nsv\" width=\"550px\" "
              "height=\"370px\"><param name=\"src\" value=\"http://h/a.nsv\" valuetype=\"ref\" "
              "type=\"http://h/a.nsv\"><param name=\"animationatStart\" value=\"1\"><param "
              "name=\"transparentatStart\" value=\"0\"><param name=\"ShowStatusBar\" "
              "value=\"True\"><param name=\"ShowControls\" value=\"0\"></object> </body>");
}

TEST(PlayerPages, AddressesCannotBreakOutOfTheirAttribute) {
    const std::string hostile = "http://h/a?x=1&y=\"><script>'";
    const std::string escaped = "http://h/a?x=1&amp;y=&quot;&gt;&lt;script&gt;&#39;";
    EXPECT_EQ(EscapeForMarkup(hostile), escaped);
    const std::string winamp = WinampAddress(hostile);
    EXPECT_EQ(winamp.find("<script"), std::string::npos);
    EXPECT_NE(winamp.find("data=\"" + escaped + "\""), std::string::npos);
    EXPECT_NE(RealPlayerAddress(hostile).find("value=\"" + escaped + "\""), std::string::npos);
    EXPECT_NE(MediaPlayerPage(hostile, state::Site{}).find("src=\"" + escaped + "\""),
              std::string::npos);
}

}  // namespace
}  // namespace qova::playback
