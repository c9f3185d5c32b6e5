#include "playback/playback.h"
#include "playback/player_pages.h"

#include "directory/directory_fixture.h"

namespace qova::playback {
namespace {

using platform::ProbeResult;

const char* kDirectory =
    "F|Video|Wmv|http://h/live.wmv|EN\r\n"
    "F|Video|Real|rtsp://h/live.rm|EN\r\n"
    "F|Video|Nsv|http://h/live.nsv|EN\r\n"
    "F|Video|Rtsp|RTSP://h/live.mp4|EN\r\n"
    "F|Video|Fav|http://h/fav.mp4|EN\r\n";
const char* kBlank = "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"></body>";

class PlaybackTest : public directory::DirectoryTest {
  protected:
    PlaybackTest() {
        f.files.files["Player.html"] = "old page\r\n";
        f.files.files["favorites.txt"] = "F|Video|Fav|http://h/fav.mp4|EN\r\n";
        f.probe.results["WinampCom.Application"] = ProbeResult::Object;
        download(kDirectory);
        f.cmbCountry.choose("F");
        f.wbMain.navigations.clear();
        // The shared texts as each window loads them.
        f.windows.onShow = [this] { seen.push_back(f.shared); };
    }
    std::vector<state::SharedStrings> seen;
};

TEST_F(PlaybackTest, AClickPlaysTheNodesRecordWithItsPlayer) {
    f.trView.click(1);
    EXPECT_EQ(f.files.files.at("Player.html"),
              MediaPlayerPage("http://h/live.wmv", form.site()) + "\r\n");
    EXPECT_EQ(state().strCurrentRecord, "F|Video|Wmv|http://h/live.wmv|EN");
    EXPECT_EQ(channels().intPlayingNode(), 1);
    for (int node : {2, 3, 4})
        f.trView.click(node);
    // An rtsp address goes to the RealPlayer page whatever its kind.
    EXPECT_EQ(f.wbMain.navigations,
              (std::vector<std::string>{
                  "/program/Player.html", RealPlayerAddress("rtsp://h/live.rm"),
                  WinampAddress("http://h/live.nsv"), RealPlayerAddress("RTSP://h/live.mp4")}));
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_TRUE(f.windows.shown.empty());
}

TEST_F(PlaybackTest, TheNodeStartedLastIsNotRestartedUntilTheStopButton) {
    f.trView.click(1);
    f.player.becomes(platform::MediaPlayer::State::Playing);
    f.trView.setNodeBackColour(1, platform::Colour::system(13));
    f.trView.click(1);
    f.trView.click(0);  // empty space: the selection stays on node 1
    EXPECT_EQ(f.wbMain.navigations.size(), 1u);

    // Another node takes the highlight off the one before.
    f.trView.click(5);
    EXPECT_EQ(f.trView.nodeBackColour(1), platform::Colour::rgb(204, 204, 204));
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdRemoveFav.picture());  // a favourite
    f.trView.click(1);
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdAddFav.picture());

    form.cmdStopButton_Click();
    EXPECT_EQ(f.wbMain.navigations.back(), kBlank);
    EXPECT_EQ(channels().intPlayingNode(), 0);
    EXPECT_EQ(state().strCurrentRecord, "");
    const std::size_t before = f.wbMain.navigations.size();
    f.trView.click(1);
    EXPECT_EQ(f.wbMain.navigations.size(), before + 1);
}

TEST_F(PlaybackTest, AChannelThatStoppedPlayingStartsAgainWithAClickOnIt) {
    using State = platform::MediaPlayer::State;
    f.trView.click(5);
    // Opening, playing, and being tried again after a break: a click changes nothing.
    for (State state : {State::Opening, State::Playing, State::Opening}) {
        f.player.becomes(state);
        f.trView.click(5);
    }
    EXPECT_EQ(f.wbMain.navigations.size(), 1u);
    const std::string track = f.desktop.id;
    const int renewals = f.overlay.renewals;

    // The stream failed, or its tries are over: the same click starts it again, as a new start.
    f.player.becomes(State::Stopped);
    f.trView.setNodeBackColour(5, platform::Colour::system(13));
    f.cmdFavorite.setPicture(f.cmdAddFav.picture());
    f.trView.click(5);
    EXPECT_EQ(f.wbMain.navigations,
              (std::vector<std::string>{"/program/Player.html", "/program/Player.html"}));
    EXPECT_EQ(channels().intPlayingNode(), 5);
    EXPECT_EQ(state().strCurrentRecord, "F|Video|Fav|http://h/fav.mp4|EN");
    EXPECT_EQ(f.trView.nodeBackColour(5), platform::Colour::rgb(204, 204, 204));
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdRemoveFav.picture());
    EXPECT_NE(f.desktop.id, track);
    EXPECT_EQ(f.overlay.renewals, renewals + 1);
    f.player.becomes(State::Opening);
    f.trView.click(5);
    EXPECT_EQ(f.wbMain.navigations.size(), 2u);
}

TEST_F(PlaybackTest, WithoutPlayerHtmlTheMediaPlayerPageIsNeitherWrittenNorShown) {
    f.files.files.erase("Player.html");
    f.trView.click(1);
    EXPECT_FALSE(f.files.exists("Player.html"));
    EXPECT_TRUE(f.wbMain.navigations.empty());
    EXPECT_EQ(state().strCurrentRecord, "F|Video|Wmv|http://h/live.wmv|EN");

    // A page that cannot be written is said, and the old page is not shown as the new one.
    f.files.files["Player.html"] = "old page\r\n";
    f.files.unwritable.insert("player.html");
    f.trView.click(5);
    EXPECT_EQ(f.files.files.at("Player.html"), "old page\r\n");
    EXPECT_TRUE(f.wbMain.navigations.empty());
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_NE(f.messages.shown[0].find("/program/Player.html"), std::string::npos);
}

TEST_F(PlaybackTest, AMissingPlayerBringsUpTheRequiredSoftwareWindow) {
    f.probe.results.clear();  // nothing installed: every creation fails
    f.trView.click(2);
    f.trView.click(3);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].strSoftHeading, "This channel requires:");
    EXPECT_EQ(seen[0].strSoftCenter, "REAL PLAYER");
    EXPECT_EQ(seen[0].strSoftDownload, "Click here to download the Real Player");
    EXPECT_EQ(seen[0].strSoftUrl, "http://127.0.0.1:1/software.html");
    EXPECT_EQ(seen[1].strSoftCenter, "WINAMP");
    EXPECT_EQ(seen[1].strSoftDownload, "Click here to download the Winamp Player");
    EXPECT_TRUE(f.wbMain.navigations.empty());

    // No object from any RealPlayer: a hint, and the page is still shown.
    for (const char* id : platform::kRealPlayerProgIds)
        f.probe.results[id] = ProbeResult::NoObject;
    f.trView.click(2);
    EXPECT_EQ(f.messages.shown, (std::vector<std::string>{"Please install Real Media Player."}));
    EXPECT_EQ(f.wbMain.navigations.back(), RealPlayerAddress("rtsp://h/live.rm"));

    // A record without an address cannot make a RealPlayer or Winamp page.
    state::MainContext ctx = context();
    f.probe.results["rmocx.RealPlayer G2 Control"] = ProbeResult::Object;
    ShowRealPlayerPage(ctx, form.site(), "F|Video|Short");
    ShowWinampPage(ctx, form.site(), "F|Video|Short");
    EXPECT_EQ(f.windows.shown.size(), 4u);
}

TEST_F(PlaybackTest, TheContactWindowIsGivenItsTextsAgainAtEachShowing) {
    form.mnuCont_Click();
    f.shared.strCommonText = "changed";
    form.mnuCont_Click();
    EXPECT_EQ(f.windows.shown, (std::vector<std::string>{"common", "common"}));
    EXPECT_EQ(seen.back().strCommonText,
              "\r\n\r\nIF YOU NEED HELP, WANT TO SUBMIT A\r\nCHANNEL OR WOULD LIKE TO REPORT "
              "A\r\nCHANNEL then email us at:");
    EXPECT_EQ(seen.back().strCommonLink, "help@127.0.0.1");
}

}  // namespace
}  // namespace qova::playback
