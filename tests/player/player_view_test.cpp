// The player area with the real media engine: pages that embed local files and streams served on
// 127.0.0.1, played silently on the offscreen platform.
#include "player/player_view.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <tuple>

#include "player/mpv_player.h"
#include "support/browser_recorder.h"
#include "testkit/loopback_http_server.h"
#include "testkit/status_line_server.h"
#include "testkit/temp_folder.h"
#include "testkit/test_media.h"

namespace qova::player {
namespace {

using qova::testkit::closedPortUrl;
using qova::testkit::LoopbackHttpServer;
using qova::testkit::TestMedia;

constexpr int kWaitLimitMs = 15000;

std::string playerPage(const std::string& address) {
    std::string escaped;
    for (char c : address)
        escaped += c == '&' ? std::string("&amp;") : c == '"' ? "&quot;" : std::string(1, c);
    return "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\">"
           "<object width=550px height=338px classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA>"
           "<param name=\"src\" value=\"" +
           escaped + "\" /><param name=\"center\" value=\"false\" /></object></body> </body>";
}

/// What a screen reader reads of the line over the picture: the text as it is shown.
QString spokenStatus(const PlayerView& view) {
    const auto* line = view.findChild<QWidget*>(QStringLiteral("playerStatus"));
    if (line == nullptr || line->isHidden())
        return {};
    return QAccessible::queryAccessibleInterface(const_cast<QWidget*>(line))
        ->text(QAccessible::Name);
}

class PlayerViewTest : public ::testing::Test {
  protected:
    PlayerViewTest() : view_(nullptr, PlayerViewOptions{"null", false}) {
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

    bool waitPlaying() {
        return QTest::qWaitFor(
            [&] {
                return !player_.idle() && player_.state() == platform::MediaPlayer::State::Playing;
            },
            kWaitLimitMs);
    }

    PlayerView view_;
    MpvPlayer& player_ = view_.player();
    testing::BrowserRecorder recorder_{view_};
};

// The demo channels are short local clips meant to run on; a stream that ends has ended; a file
// that was replaced says nothing more.
TEST_F(PlayerViewTest, AStreamPlaysOnceToItsEndALocalFileOnInALoopAndReplacedOnesEndUnsaid) {
    LoopbackHttpServer server;
    server.serve("/live.mp4", TestMedia::get().clipBytes(), "video/mp4");
    QSignalSpy ends(&player_, &MpvPlayer::endFile);
    QSignalSpy failures(&player_, &MpvPlayer::playbackFailed);
    const std::string address = server.url("/live.mp4") + "?a=1&b=\"2\"";
    open(playerPage(address));
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(player_.path(), address);  // unescaped from the page
    ASSERT_TRUE(QTest::qWaitFor([&] { return player_.idle() && !ends.isEmpty(); }, kWaitLimitMs));
    EXPECT_EQ(ends.last().at(0).toInt(), MPV_END_FILE_REASON_EOF);
    EXPECT_EQ(view_.statusText(), "The stream has ended.");
    EXPECT_EQ(player_.state(), platform::MediaPlayer::State::Stopped);

    QSignalSpy restarts(&player_, &MpvPlayer::playbackRestarted);
    player_.allowLocalFile(TestMedia::get().clip());
    open(playerPage(TestMedia::get().clip()));
    EXPECT_EQ(view_.playerAddress(), TestMedia::get().clip());
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(restarts.count(), 1);
    EXPECT_EQ(player_.path(), TestMedia::get().clip());
    const platform::StreamFacts facts = player_.facts();
    EXPECT_EQ(
        std::tie(facts.videoCodec, facts.audioCodec, facts.width, facts.height, facts.sampleRate),
        std::make_tuple("h264", "aac", 320, 180, 44100));
    EXPECT_EQ(player_.streamTitle(), "");

    // The one-second clip starts over rather than ending: it plays from its start again, twice.
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarts.count() >= 3; }, kWaitLimitMs));
    EXPECT_FALSE(player_.idle());
    EXPECT_EQ(player_.state(), platform::MediaPlayer::State::Playing);
    EXPECT_EQ(ends.count(), 1);
    EXPECT_EQ(view_.statusText(), "");

    // The file that played is replaced, and so is the next, a stream that fails while the one
    // after it is being loaded: whichever comes first, its end is not the new file's.
    player_.play(closedPortUrl() + "old");
    player_.allowLocalFile(TestMedia::get().tone());
    player_.play(TestMedia::get().tone());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player_.path() == TestMedia::get().tone(); }, kWaitLimitMs));
    ASSERT_TRUE(waitPlaying());
    player_.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player_.idle(); }, kWaitLimitMs));
    EXPECT_EQ(ends.count(), 1);
    EXPECT_EQ(failures.count(), 0);
}

// A station of today sends UTF-8, as the Icecast server of the window's tests does; an older one
// Latin-1 bytes.
TEST_F(PlayerViewTest, AStationTitleSentInLatin1IsShownInUtf8AsItCame) {
    testkit::IcyStation station(QByteArray::fromStdString(TestMedia::get().toneBytes()),
                                "M\xFCller - Caf\xE9 <b>&amp;");
    std::string title;
    player_.onTitleChanged = [&] { title = player_.streamTitle(); };
    open(playerPage(station.url()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !title.empty(); }, kWaitLimitMs));
    EXPECT_EQ(title, "M\xC3\xBCller - Caf\xC3\xA9 <b>&amp;");
}

// After them, a page from disk plays; one without a player stops, a missing one fails.
TEST_F(PlayerViewTest, StreamsThatCannotBePlayedSayWhyAndTheViewStaysUsable) {
    LoopbackHttpServer server;
    server.serve("/noise.mp3", std::string(20000, '\x01'), "audio/mpeg");
    server.serve("/inside.mp3", TestMedia::get().toneBytes(), "audio/mpeg");
    const std::string inside = server.url("/inside.mp3");
    // A server's words in its status line, which the engine passes on.
    const testkit::StatusLineServer busy("HTTP/1.1 503 <b>Busy</b> &amp; <i>now</i>");
    player_.allowLocalFile("");
    const std::tuple<std::string, QString, bool> cases[] = {
        {closedPortUrl() + "live", "the server refused the connection", true},
        {server.url("/missing.mp3"), "the server has no stream at this address (404)", true},
        {server.url("/noise.mp3"), "its format is not recognised", true},
        {busy.url(), "the server answered 503 <b>Busy</b> &amp; <i>now</i>", true},
        // The engine never gets addresses that are no streams: a recipe that would fetch from the
        // server, a camera, a generated picture; nor a file on this computer, which plays only
        // where the channel's list is there too, and only the file it was allowed.
        {"edl://%" + std::to_string(inside.size()) + "%" + inside,
         "\"edl:\" is no address of a stream", false},
        {"av://v4l2:/dev/video0", "\"av:\" is no address of a stream", false},
        {"lavfi://testsrc", "\"lavfi:\" is no address of a stream", false},
        {TestMedia::get().clip(),
         "files on this computer play only from a channel list that is there", false},
    };
    for (const auto& [address, reason, tried] : cases) {
        SCOPED_TRACE(address);
        QSignalSpy ends(&player_, &MpvPlayer::endFile);
        open(playerPage(address));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view_.statusText().isEmpty(); }, kWaitLimitMs));
        EXPECT_EQ(view_.statusText(), "The stream cannot be played: " + reason + ".");
        // Shown as it came: plain text, never markup.
        EXPECT_EQ(spokenStatus(view_).toStdString(), view_.statusText().toStdString());
        // The engine tells how each file it had ended.
        ASSERT_EQ(ends.count(), tried ? 1 : 0);
        for (const QList<QVariant>& end : ends) {
            EXPECT_EQ(end.at(0).toInt(), MPV_END_FILE_REASON_ERROR);
            EXPECT_LT(end.at(1).toInt(), 0);
        }
        EXPECT_TRUE(view_.isVisible());
    }
    EXPECT_EQ(server.requestCount("/inside.mp3"), 0);

    // The next channel plays, from a page on disk, and the message goes.
    player_.allowLocalFile(TestMedia::get().clip());
    testkit::TempFolder folder;
    folder.write("Player.html", "<html><body><object><param name=\"src\" value=\"" +
                                    TestMedia::get().clip() +
                                    "\"><embed src=\"elsewhere.mp4\"></object></body></html>\r\n");
    open(folder.file("Player.html"), true);
    ASSERT_EQ(recorder_.events.size(), 1u);
    EXPECT_EQ(view_.playerAddress(), TestMedia::get().clip());
    EXPECT_EQ(view_.statusText(), "");
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(view_.statusText(), "");
    view_.navigate(playerPage(TestMedia::get().tone()));
    // The stop button's page; its events come after anything queued for the navigation before.
    open("about:blank");
    ASSERT_EQ(recorder_.events.size(), 1u);
    EXPECT_EQ(view_.playerAddress(), "");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player_.idle() && player_.path().empty(); }, kWaitLimitMs));
    EXPECT_EQ(view_.statusText(), "");
    EXPECT_EQ(view_.bodyText(), "");

    const std::string missing = folder.file("Gone.html");
    open(missing, true);
    testing::expectErrorThenErrorPage(view_, recorder_.events, missing, 404);
    // Pages on servers are not this control's business.
    open("http://127.0.0.1:9/page.html");
    ASSERT_EQ(recorder_.events.size(), 2u);
    EXPECT_EQ(recorder_.events[0].status, platform::WebBrowser::kStatusResourceNotFound);
}

}  // namespace
}  // namespace qova::player
