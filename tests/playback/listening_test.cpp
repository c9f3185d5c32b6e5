#include "playback/listening.h"

#include <gtest/gtest.h>

#include "directory/directory_fixture.h"

namespace qova::playback {
namespace {

using platform::MediaPlayer;

class ListeningTest : public directory::DirectoryTest {
  protected:
    ListeningTest() {
        f.files.files["Player.html"] = "page\r\n";
        download(
            "F|Video|One|u1|EN\r\nF|Video|Two|u2|EN\r\nF|Radio|Tune|u3|EN\r\nG|Video|Gee|u4|EN");
        f.cmbCountry.choose("F");
    }
    Listening& listening() { return form.listening(); }
    std::string playing() const { return state().strCurrentRecord; }
    const state::MainState& state() const { return main.form.state(); }
};

TEST_F(ListeningTest, NextAndPreviousWalkTheTreeAndStopAtItsEnds) {
    listening().previous();  // nothing started, nothing before
    EXPECT_EQ(playing(), "");
    listening().next();  // nothing started yet: the first
    EXPECT_EQ(playing(), "F|Video|One|u1|EN");
    listening().next();
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
    EXPECT_EQ(f.trView.selectedIndex(), 2);
    listening().next();  // the last node
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
    listening().previous();
    EXPECT_EQ(playing(), "F|Video|One|u1|EN");
    listening().previous();
    EXPECT_EQ(playing(), "F|Video|One|u1|EN");
    // After the stop button the walk goes on from the channel stopped.
    form.cmdStopButton_Click();
    listening().next();
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
}

TEST_F(ListeningTest, SpaceStopsAndStartsTheLastChannelAgainWhereverItStandsNow) {
    f.trView.click(2);
    f.player.becomes(MediaPlayer::State::Playing);
    listening().playOrStop();
    EXPECT_EQ(f.wbMain.navigations.back(),
              "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"></body>");
    EXPECT_EQ(playing(), "");
    f.player.becomes(MediaPlayer::State::Stopped);
    // The tree was rebuilt in between; the channel is found in it again.
    f.cmbCountry.choose("G");
    f.cmbCountry.choose("F");
    listening().playOrStop();
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
    EXPECT_EQ(f.trView.selectedIndex(), 2);
    EXPECT_EQ(channels().intPlayingNode(), 2);
    // Nothing played in this run yet: the first channel of the tree.
    directory::LoadedMain fresh("URLTXT=http://127.0.0.1:1/x", f.files.files);
    fresh.f.wbDownload.complete(channelFile());
    fresh.f.cmbCountry.choose("F");
    fresh.form.listening().play();
    EXPECT_EQ(fresh.form.state().strCurrentRecord, "F|Video|One|u1|EN");
}

TEST_F(ListeningTest, ARadioChannelIsToldToTheEngineAsSoundAlone) {
    f.trView.click(1);
    EXPECT_EQ(f.player.soundOnly, "");
    form.imgRadio_Click();
    f.cmbCountry.choose("F");
    f.trView.click(1);
    EXPECT_EQ(playing(), "F|Radio|Tune|u3|EN");
    EXPECT_EQ(f.player.soundOnly, "u3");
    form.imgTV_Click();
    f.cmbCountry.choose("F");
    f.trView.click(2);
    EXPECT_EQ(f.player.soundOnly, "");
}

TEST_F(ListeningTest, VolumeAndMuteAreKeptBetweenRunsAndWrittenOnlyWhenChanged) {
    EXPECT_TRUE(f.settings.values.empty());
    listening().changeVolume(-3);
    listening().toggleMute();
    listening().setVolume(250);
    EXPECT_EQ(f.player.volume(), 100);
    listening().changeVolume(-4);
    EXPECT_EQ(f.player.volume(), 80);
    EXPECT_TRUE(f.player.muted());
    EXPECT_EQ(f.overlay.volumeNotes.back(), (std::pair{80, true}));
    EXPECT_DOUBLE_EQ(f.desktop.volume, 0.8);

    directory::LoadedMain next("URLTXT=http://127.0.0.1:1/x");
    next.f.settings.values = f.settings.values;
    next.form.Form_Load();
    EXPECT_EQ(next.f.player.volume(), 80);
    EXPECT_TRUE(next.f.player.muted());
    // Media keys set it too.
    next.f.desktop.onSetVolume(0.25);
    EXPECT_EQ(next.f.player.volume(), 25);
    EXPECT_EQ(next.f.settings.values.at(Listening::kVolumeKey), 25);
}

TEST_F(ListeningTest, WhatPlaysIsShownAndToldToTheDesktop) {
    f.trView.click(1);
    f.player.becomes(MediaPlayer::State::Playing);
    EXPECT_TRUE(f.overlay.shown);
    EXPECT_EQ(f.overlay.nowPlaying.channel, "One");
    EXPECT_EQ(f.overlay.nowPlaying.country, "F");
    EXPECT_EQ(f.desktop.status, platform::DesktopPlayer::Status::Playing);
    EXPECT_EQ(f.desktop.title, "One");  // no title from the stream yet
    const int renewals = f.overlay.renewals;
    f.player.announces("Artist - Song");
    EXPECT_EQ(f.overlay.nowPlaying.title, "Artist - Song");
    EXPECT_EQ(f.overlay.renewals, renewals + 1);
    EXPECT_EQ(f.desktop.title, "Artist - Song");
    EXPECT_EQ(f.desktop.channel, "One");
    EXPECT_EQ(listening().currentTitle(), "Artist - Song");
    // Facts change often (the bit rate); they update the text without bringing it back.
    f.player.tells({"aac", "h264", 96000, 48000, 640, 360});
    EXPECT_EQ(f.overlay.renewals, renewals + 1);
    EXPECT_TRUE(f.overlay.nowPlaying.hasPicture);

    // The screen saver is held off for a picture in a window that can be seen, and no longer.
    EXPECT_FALSE(f.screenSaver.inhibited);
    listening().windowShown(true);
    EXPECT_TRUE(f.screenSaver.inhibited);
    listening().windowShown(false);
    EXPECT_FALSE(f.screenSaver.inhibited);
    listening().windowShown(true);
    f.player.tells({"mp3", "", 128000, 44100, 0, 0});
    EXPECT_FALSE(f.screenSaver.inhibited);  // sound alone
    f.player.tells({"aac", "h264", 96000, 48000, 640, 360});
    f.desktop.onStop();
    f.player.becomes(MediaPlayer::State::Stopped);
    EXPECT_FALSE(f.screenSaver.inhibited);
    EXPECT_FALSE(f.overlay.shown);
    EXPECT_EQ(f.desktop.status, platform::DesktopPlayer::Status::Stopped);
    EXPECT_EQ(listening().currentTitle(), "");

    // The desktop's keys go where the window's would.
    f.desktop.onNext();
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
    f.desktop.onPrevious();
    EXPECT_EQ(playing(), "F|Video|One|u1|EN");
}

}  // namespace
}  // namespace qova::playback
