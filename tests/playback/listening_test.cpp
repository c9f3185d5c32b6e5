#include "playback/listening.h"

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
    std::string playing() { return state().strCurrentRecord; }
};

TEST_F(ListeningTest, NextAndPreviousWalkTheTreeAndStopAtItsEnds) {
    listening().previous();  // nothing started, nothing before
    EXPECT_EQ(playing(), "");
    listening().next();  // nothing started yet: the first
    EXPECT_EQ(playing(), "F|Video|One|u1|EN");
    listening().next();
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
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
    listening().playOrStop();  // nothing played in this run yet: the first channel of the tree
    EXPECT_EQ(playing(), "F|Video|One|u1|EN");
    f.trView.click(2);
    f.player.becomes(MediaPlayer::State::Playing);
    listening().playOrStop();
    EXPECT_EQ(playing(), "");
    f.player.becomes(MediaPlayer::State::Stopped);
    // Another tree in between, where the channel stands third: it is found there.
    f.files.files["favorites.txt"] = "G|Video|Gee|u4|EN\r\nF|Video|One|u1|EN\r\nF|Video|Two|u2|EN";
    form.imgFavorits_Click();
    listening().playOrStop();
    EXPECT_EQ(playing(), "F|Video|Two|u2|EN");
    EXPECT_EQ(channels().intPlayingNode(), 3);
}

TEST_F(ListeningTest, ARadioChannelIsToldToTheEngineAsSoundAlone) {
    form.imgRadio_Click();
    f.cmbCountry.choose("F");
    f.trView.click(1);
    EXPECT_EQ(f.player.soundOnly, "u3");
    form.imgTV_Click();
    f.cmbCountry.choose("F");
    f.trView.click(2);
    EXPECT_EQ(f.player.soundOnly, "");
}

TEST_F(ListeningTest, VolumeAndMuteAreKeptBetweenRunsAndWrittenOnlyWhenChanged) {
    // Nothing changes: at the top already, the same volume from the desktop.
    listening().changeVolume(1);
    f.desktop.onSetVolume(1.0);
    listening().setVolume(100);
    EXPECT_EQ(f.settings.writes, 0);
    EXPECT_TRUE(f.settings.values.empty());
    EXPECT_EQ(f.overlay.volumeNotes.back(), (std::pair{100, false}));  // still shown
    listening().changeVolume(-3);
    listening().toggleMute();
    listening().setVolume(250);  // held at 100, so four steps down are 80
    listening().changeVolume(-4);
    EXPECT_EQ(f.player.volume(), 80);
    EXPECT_EQ(f.overlay.volumeNotes.back(), (std::pair{80, true}));
    EXPECT_DOUBLE_EQ(f.desktop.volume, 0.8);
    EXPECT_EQ(f.settings.writes, 4);
    listening().setVolume(80);
    listening().changeVolume(0);
    EXPECT_EQ(f.settings.writes, 4);

    directory::LoadedMain next("URLTXT=http://127.0.0.1:1/x");
    next.f.settings.values = f.settings.values;
    next.form.Form_Load();
    EXPECT_EQ(next.f.player.volume(), 80);
    EXPECT_TRUE(next.f.player.muted());
    EXPECT_EQ(next.f.settings.writes, 0);
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
    EXPECT_TRUE(f.screenSaver.inhibited);
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

TEST_F(ListeningTest, PauseHoldsAStreamThatCanBeHeldAndStopsOneThatCannot) {
    f.trView.click(1);
    f.player.becomes(MediaPlayer::State::Playing);
    listening().windowShown(true);
    f.player.tells({"aac", "h264", 96000, 48000, 640, 360});
    // Not holdable: Pause stops, as it always did.
    EXPECT_FALSE(f.desktop.canSeek);
    f.desktop.onPause();
    EXPECT_EQ(f.player.stops, 0);
    EXPECT_FALSE(f.player.paused());
    EXPECT_EQ(playing(), "");

    f.trView.click(1);
    f.player.holdable = true;
    f.player.becomes(MediaPlayer::State::Playing);
    EXPECT_TRUE(f.desktop.canSeek);
    EXPECT_TRUE(f.screenSaver.inhibited);
    f.desktop.onPlayPause();
    EXPECT_TRUE(f.player.paused());
    EXPECT_EQ(f.desktop.status, platform::DesktopPlayer::Status::Paused);
    EXPECT_FALSE(f.screenSaver.inhibited) << "a held picture keeps the screen awake";
    EXPECT_EQ(playing(), "F|Video|One|u1|EN") << "the channel stays";
    f.desktop.onSeek(-10.0);
    EXPECT_EQ(f.player.seeks, std::vector<double>{-10.0});
    f.desktop.onPlay();
    EXPECT_FALSE(f.player.paused());
    EXPECT_EQ(f.desktop.status, platform::DesktopPlayer::Status::Playing);
    EXPECT_TRUE(f.screenSaver.inhibited);
    f.desktop.onPause();
    listening().pauseOrPlay();
    EXPECT_FALSE(f.player.paused());
}

}  // namespace
}  // namespace qova::playback
