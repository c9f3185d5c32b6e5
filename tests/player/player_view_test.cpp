// The player area with the real media engine: pages that embed local files and streams served on
// 127.0.0.1, played silently on the offscreen platform.
#include "player/player_view.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/mpv_player.h"
#include "support/browser_recorder.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "testkit/test_media.h"

namespace qova::player {
namespace {

using qova::testkit::closedPortUrl;
using qova::testkit::IcyStation;
using qova::testkit::LoopbackHttpServer;
using qova::testkit::TempFolder;
using qova::testkit::TestMedia;

constexpr int kWaitLimitMs = 15000;
constexpr char kBlankPage[] =
    "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"></body>";

std::string playerPage(const std::string& address) {
    std::string escaped;
    for (char c : address)
        escaped += c == '&' ? std::string("&amp;") : c == '"' ? "&quot;" : std::string(1, c);
    return "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\">"
           "<object width=550px height=338px classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA>"
           "<param name=\"src\" value=\"" +
           escaped + "\" /><param name=\"center\" value=\"false\" /></object></body> </body>";
}

class PlayerViewTest : public ::testing::Test {
  protected:
    PlayerViewTest() : view_(nullptr, PlayerViewOptions{"null", false}) {
        view_.player().setLocalFilesAllowed(true);
        view_.resize(552, 342);
        view_.show();
    }

    void SetUp() override { ASSERT_EQ(TestMedia::get().error(), ""); }

    // Navigates and waits for the page, checking that nothing was raised inside the call.
    void open(const std::string& address, bool asFile = false) {
        ASSERT_TRUE(
            recorder_.settle([&] { asFile ? view_.navigate2(address) : view_.navigate(address); }));
        EXPECT_EQ(recorder_.events.back().url, address);
    }

    bool waitPlaying(double seconds = 0.3) {
        return QTest::qWaitFor(
            [&] { return !view_.player().idle() && view_.player().timePos() > seconds; },
            kWaitLimitMs);
    }

    PlayerView view_;
    testing::BrowserRecorder recorder_{view_};
    std::vector<testing::BrowserEvent>& events_ = recorder_.events;
};

// ---- Playing ----

TEST_F(PlayerViewTest, LocalFilePlaysOnInALoop) {
    QSignalSpy positions(&view_.player(), &MpvPlayer::timePosChanged);
    QSignalSpy restarts(&view_.player(), &MpvPlayer::playbackRestarted);
    open(playerPage(TestMedia::get().clip()));
    EXPECT_EQ(view_.playerAddress(), TestMedia::get().clip());
    EXPECT_EQ(view_.bodyText(), "");
    ASSERT_TRUE(waitPlaying(0.7));
    EXPECT_GE(restarts.count(), 1);
    EXPECT_EQ(view_.player().path(), TestMedia::get().clip());
    EXPECT_EQ(view_.player().state(), platform::MediaPlayer::State::Playing);
    const platform::StreamFacts facts = view_.player().facts();
    EXPECT_EQ(facts.videoCodec, "h264");
    EXPECT_EQ(facts.audioCodec, "aac");
    EXPECT_EQ(facts.width, 320);
    EXPECT_EQ(facts.height, 180);
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_EQ(view_.player().streamTitle(), "");

    QElapsedTimer clock;
    clock.start();
    positions.clear();
    // The one-second clip starts over rather than ending.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return view_.player().timePos() < 0.5 && view_.player().timePos() > 0.0; },
        kWaitLimitMs));
    ASSERT_TRUE(waitPlaying(0.6));
    EXPECT_FALSE(view_.player().idle());
    EXPECT_EQ(view_.statusText(), "");
    // Positions arrive about ten times a second, not once a frame.
    EXPECT_GE(positions.count(), 3);
    EXPECT_LE(positions.count(), clock.elapsed() / 100 + 3);
}

TEST_F(PlayerViewTest, StreamFromServerPlaysOnceAndEnds) {
    LoopbackHttpServer server;
    server.serve("/live.mp4", TestMedia::get().clipBytes(), "video/mp4");
    QSignalSpy ends(&view_.player(), &MpvPlayer::endFile);
    const std::string address = server.url("/live.mp4") + "?a=1&b=\"2\"";
    open(playerPage(address));
    EXPECT_EQ(view_.playerAddress(), address);
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(view_.player().path(), address);

    ASSERT_TRUE(QTest::qWaitFor([&] { return view_.player().idle(); }, kWaitLimitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ends.isEmpty(); }, kWaitLimitMs));
    EXPECT_EQ(ends.last().at(0).toInt(), MPV_END_FILE_REASON_EOF);
    EXPECT_EQ(ends.count(), 1);
    EXPECT_EQ(view_.statusText(), "The stream has ended.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return view_.player().timePos() == 0.0; }, kWaitLimitMs));
}

TEST_F(PlayerViewTest, StationTitlesComeFromIcyMetadataInUtf8OrLatin1) {
    const QByteArray audio = QByteArray::fromStdString(TestMedia::get().toneBytes());
    // A station of today sends UTF-8; an older one Latin-1 bytes.
    const std::pair<QByteArray, std::string> stations[] = {
        {"Loopback Artist \xE2\x80\x93 Caf\xC3\xA9", "Loopback Artist \xE2\x80\x93 Caf\xC3\xA9"},
        {"M\xFCller - Caf\xE9 <b>&amp;", "M\xC3\xBCller - Caf\xC3\xA9 <b>&amp;"},
    };
    for (const auto& [sent, shown] : stations) {
        IcyStation station(audio, sent);
        std::vector<std::string> titles;
        view_.player().onTitleChanged = [&] {
            if (!view_.player().streamTitle().empty())
                titles.push_back(view_.player().streamTitle());
        };
        open(playerPage(station.url()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !titles.empty(); }, kWaitLimitMs));
        EXPECT_EQ(titles.front(), shown);
    }
}

TEST_F(PlayerViewTest, PageWithoutPlayerStopsPlayback) {
    open(playerPage(TestMedia::get().clip()));
    ASSERT_TRUE(waitPlaying());
    open(kBlankPage);
    EXPECT_EQ(view_.playerAddress(), "");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return view_.player().idle() && view_.player().path().empty(); }, kWaitLimitMs));
    EXPECT_EQ(view_.statusText(), "");
    EXPECT_EQ(view_.bodyText(), "");
}

// ---- Streams that cannot be played ----

TEST_F(PlayerViewTest, StreamsThatCannotBePlayedSayWhyAndTheViewStaysUsable) {
    LoopbackHttpServer server;
    server.serve("/noise.mp3", std::string(20000, '\x01'), "audio/mpeg");
    const std::pair<std::string, QString> cases[] = {
        {closedPortUrl() + "live", "the server refused the connection"},
        {server.url("/missing.mp3"), "the server has no stream at this address (404)"},
        {server.url("/noise.mp3"), "its format is not recognised"},
    };
    for (const auto& [address, reason] : cases) {
        SCOPED_TRACE(address);
        QSignalSpy ends(&view_.player(), &MpvPlayer::endFile);
        open(playerPage(address));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view_.statusText().isEmpty(); }, kWaitLimitMs));
        EXPECT_EQ(view_.statusText(), "The stream cannot be played: " + reason + ".");
        ASSERT_EQ(ends.count(), 1);
        EXPECT_EQ(ends.at(0).at(0).toInt(), MPV_END_FILE_REASON_ERROR);
        EXPECT_LT(ends.at(0).at(1).toInt(), 0);
        EXPECT_TRUE(view_.isVisible());
    }
    // The next channel plays, and the message goes.
    open(playerPage(TestMedia::get().clip()));
    EXPECT_EQ(view_.statusText(), "");
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(view_.statusText(), "");
}

TEST_F(PlayerViewTest, AddressesThatAreNoStreamsAreNeverOpened) {
    LoopbackHttpServer server;
    server.serve("/inside.mp3", TestMedia::get().toneBytes(), "audio/mpeg");
    const std::string inside = server.url("/inside.mp3");
    // A recipe that would fetch from the server, a camera, a generated picture.
    const std::string edl = "edl://%" + std::to_string(inside.size()) + "%" + inside;
    for (const std::string& address :
         {edl, std::string("av://v4l2:/dev/video0"), std::string("lavfi://testsrc")}) {
        SCOPED_TRACE(address);
        open(playerPage(address));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view_.statusText().isEmpty(); }, kWaitLimitMs));
        EXPECT_TRUE(view_.statusText().startsWith(u"The stream cannot be played: \""));
        EXPECT_TRUE(view_.player().idle());
    }
    // Files on this computer only where the directory is there too.
    view_.player().setLocalFilesAllowed(false);
    open(playerPage(TestMedia::get().clip()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view_.statusText().isEmpty(); }, kWaitLimitMs));
    EXPECT_TRUE(view_.player().path().empty());
    EXPECT_EQ(server.requestCount("/inside.mp3"), 0);
}

TEST_F(PlayerViewTest, ReplacedFilesSayNothingMore) {
    MpvPlayer& player = view_.player();
    QSignalSpy ends(&player, &MpvPlayer::endFile);
    QSignalSpy failures(&player, &MpvPlayer::playbackFailed);
    // The old stream fails while the next file is being loaded; whichever comes first, its end
    // is not the new file's.
    player.play(closedPortUrl() + "old");
    player.play(TestMedia::get().clip());
    ASSERT_TRUE(waitPlaying());
    // Nor does a file that played and was replaced.
    player.play(TestMedia::get().tone());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player.path() == TestMedia::get().tone(); }, kWaitLimitMs));
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(ends.count(), 0);
    EXPECT_EQ(failures.count(), 0);
    player.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.idle(); }, kWaitLimitMs));
    EXPECT_EQ(ends.count(), 0);
}

// ---- Navigation ----

TEST_F(PlayerViewTest, PlayerFileFromDiskPlaysAndAMissingOneFails) {
    TempFolder folder;
    folder.write("Player.html",
                 "<html><body bgcolor=\"black\"><object id=\"mediaPlayer\" classid=\"CLSID:22d6f312"
                 "-b0f6-11d0-94ab-0080c74c7e95\"><param name=\"src\" value=\"" +
                     TestMedia::get().clip() +
                     "\"><param name=\"autoStart\" value=\"True\"><embed "
                     "type=\"application/x-mplayer2\" src=\"elsewhere.mp4\"></object></body>"
                     "</html>\r\n");
    open(folder.file("Player.html"), true);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(view_.playerAddress(), TestMedia::get().clip());
    ASSERT_TRUE(waitPlaying());

    const std::string missing = folder.file("Gone.html");
    open(missing, true);
    testing::expectErrorThenErrorPage(view_, events_, missing, 404);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view_.player().idle(); }, kWaitLimitMs));

    // Pages on servers are not this control's business.
    open("http://127.0.0.1:9/page.html");
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[0].status, platform::WebBrowser::kStatusResourceNotFound);
}

TEST_F(PlayerViewTest, LaterNavigationReplacesEarlierOne) {
    view_.navigate(playerPage(TestMedia::get().clip()));
    // The blank page's events come after anything queued for the first navigation.
    open(kBlankPage);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].url, kBlankPage);
    EXPECT_TRUE(view_.player().idle());
    EXPECT_EQ(view_.playerAddress(), "");
}

}  // namespace
}  // namespace qova::player
