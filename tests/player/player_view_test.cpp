// The player area with the real media engine: pages that embed local files and streams served on
// 127.0.0.1, played silently on the offscreen platform.
#include "player/player_view.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/mpv_player.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"

namespace qova::player {
namespace {

using qova::testkit::closedPortUrl;
using qova::testkit::LoopbackHttpServer;
using qova::testkit::TempFolder;

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

// One second of test picture with a tone, and of tone alone, made once for every test.
class Media {
  public:
    static const Media& get() {
        static const Media media;
        return media;
    }
    std::string clip() const { return folder_.file("clip.mp4"); }
    std::string tone() const { return folder_.file("tone.mp3"); }
    std::string clipBytes() const { return folder_.read("clip.mp4").value_or(""); }
    std::string toneBytes() const { return folder_.read("tone.mp3").value_or(""); }

  private:
    Media() {
        make({"-f", "lavfi", "-i", "testsrc2=size=320x180:rate=25:duration=1", "-f", "lavfi", "-i",
              "sine=frequency=440:duration=1", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
              "aac", "-movflags", "+faststart", QString::fromStdString(clip())});
        make({"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "libmp3lame",
              QString::fromStdString(tone())});
    }
    static void make(QStringList arguments) {
        arguments = QStringList{"-nostdin", "-hide_banner", "-loglevel", "error", "-y"} + arguments;
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("/usr/bin/ffmpeg"), arguments);
        const bool done = ffmpeg.waitForFinished(20000);
        if (!done)
            ffmpeg.kill();
        if (!done || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
            ADD_FAILURE() << "ffmpeg failed: " << ffmpeg.readAllStandardError().toStdString();
    }
    TempFolder folder_;
};

// Serves a tone as an Icecast station does: audio with the stream title in ICY metadata
// blocks every few kilobytes. Each connection gets the whole tone and is then closed.
class IcyServer {
  public:
    IcyServer(QByteArray audio, QByteArray title) : audio_(std::move(audio)), title_(title) {
        if (!server_.listen(QHostAddress::LocalHost, 0))
            ADD_FAILURE() << "cannot listen on 127.0.0.1";
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { answer(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }

  private:
    static constexpr int kMetaInterval = 4096;

    void answer(QTcpSocket* socket) {
        if (!socket->peek(64 * 1024).contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        socket->write(
            "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Loopback FM\r\n"
            "icy-metaint: " +
            QByteArray::number(kMetaInterval) + "\r\n\r\n");
        QByteArray block = "StreamTitle='" + title_ + "';";
        block.append(QByteArray((16 - block.size() % 16) % 16, '\0'));
        for (qsizetype at = 0; at < audio_.size(); at += kMetaInterval) {
            const QByteArray chunk = audio_.mid(at, kMetaInterval);
            socket->write(chunk);
            if (chunk.size() == kMetaInterval) {
                socket->write(QByteArray(1, static_cast<char>(block.size() / 16)) + block);
            }
        }
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QByteArray audio_;
    QByteArray title_;
};

struct Event {
    bool isError = false;
    std::string url;
    std::int32_t status = 0;
    int readyState = 0;
};

class PlayerViewTest : public ::testing::Test {
  protected:
    PlayerViewTest() : view_(nullptr, PlayerViewOptions{"null", false}) {
        view_.onDocumentComplete = [this](const std::string& url) {
            events_.push_back(Event{false, url, 0, view_.readyState()});
        };
        view_.onNavigateError = [this](const std::string& url, std::int32_t status) {
            events_.push_back(Event{true, url, status, view_.readyState()});
        };
        view_.resize(552, 342);
        view_.show();
    }

    // Navigates, checks nothing is raised before navigate returns, and waits for the page.
    void open(const std::string& address, bool asFile = false) {
        events_.clear();
        if (asFile)
            view_.navigate2(address);
        else
            view_.navigate(address);
        EXPECT_TRUE(events_.empty()) << "raised inside navigate";
        EXPECT_EQ(view_.readyState(), platform::WebBrowser::kReadyStateLoading);
        ASSERT_TRUE(QTest::qWaitFor([&] { return hasCompleted(); }, kWaitLimitMs));
        EXPECT_EQ(events_.back().url, address);
        EXPECT_EQ(events_.back().readyState, platform::WebBrowser::kReadyStateComplete);
    }

    bool hasCompleted() const {
        return std::any_of(events_.begin(), events_.end(),
                           [](const Event& e) { return !e.isError; });
    }

    bool waitPlaying(double seconds = 0.3) {
        return QTest::qWaitFor(
            [&] { return !view_.player().idle() && view_.player().timePos() > seconds; },
            kWaitLimitMs);
    }

    PlayerView view_;
    std::vector<Event> events_;
};

// ---- Playing ----

TEST_F(PlayerViewTest, LocalFilePlaysOnInALoop) {
    QSignalSpy positions(&view_.player(), &MpvPlayer::timePosChanged);
    QSignalSpy restarts(&view_.player(), &MpvPlayer::playbackRestarted);
    open(playerPage(Media::get().clip()));
    EXPECT_EQ(view_.playerAddress(), Media::get().clip());
    EXPECT_EQ(view_.bodyText(), "");
    ASSERT_TRUE(waitPlaying(0.7));
    EXPECT_GE(restarts.count(), 1);
    EXPECT_EQ(view_.player().path(), Media::get().clip());
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
    server.serve("/live.mp4", Media::get().clipBytes(), "video/mp4");
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

TEST_F(PlayerViewTest, StationTitleComesFromIcyMetadata) {
    const QByteArray audio = QByteArray::fromStdString(Media::get().toneBytes());
    IcyServer station(audio, "Loopback Artist - Test Song");
    std::vector<std::string> titles;
    view_.player().onTitleChanged = [&] { titles.push_back(view_.player().streamTitle()); };
    open(playerPage(station.url() + "/stream"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !titles.empty(); }, kWaitLimitMs));
    EXPECT_EQ(titles.front(), "Loopback Artist - Test Song");
}

TEST_F(PlayerViewTest, PageWithoutPlayerStopsPlayback) {
    open(playerPage(Media::get().clip()));
    ASSERT_TRUE(waitPlaying());
    open(kBlankPage);
    EXPECT_EQ(view_.playerAddress(), "");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return view_.player().idle() && view_.player().path().empty(); }, kWaitLimitMs));
    EXPECT_EQ(view_.statusText(), "");
    EXPECT_EQ(view_.bodyText(), "");
}

// ---- Streams that cannot be played ----

TEST_F(PlayerViewTest, UnreachableStreamsSaySoAndTheViewStaysUsable) {
    LoopbackHttpServer server;
    for (const std::string& address : {closedPortUrl() + "live", server.url("/missing.mp3")}) {
        SCOPED_TRACE(address);
        QSignalSpy ends(&view_.player(), &MpvPlayer::endFile);
        open(playerPage(address));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view_.statusText().isEmpty(); }, kWaitLimitMs));
        EXPECT_TRUE(view_.statusText().startsWith(u"The stream cannot be played: "))
            << view_.statusText().toStdString();
        ASSERT_EQ(ends.count(), 1);
        EXPECT_EQ(ends.at(0).at(0).toInt(), MPV_END_FILE_REASON_ERROR);
        EXPECT_LT(ends.at(0).at(1).toInt(), 0);
        EXPECT_TRUE(view_.isVisible());
    }
    // The next channel plays, and the message goes.
    open(playerPage(Media::get().clip()));
    EXPECT_EQ(view_.statusText(), "");
    ASSERT_TRUE(waitPlaying());
    EXPECT_EQ(view_.statusText(), "");
}

TEST_F(PlayerViewTest, ReplacedFilesSayNothingMore) {
    MpvPlayer& player = view_.player();
    QSignalSpy ends(&player, &MpvPlayer::endFile);
    QSignalSpy failures(&player, &MpvPlayer::playbackFailed);
    // The old stream fails while the next file is being loaded; whichever comes first, its end
    // is not the new file's.
    player.play(closedPortUrl() + "old");
    player.play(Media::get().clip());
    ASSERT_TRUE(waitPlaying());
    // Nor does a file that played and was replaced.
    player.play(Media::get().tone());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player.path() == Media::get().tone(); }, kWaitLimitMs));
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
                     Media::get().clip() +
                     "\"><param name=\"autoStart\" value=\"True\"><embed "
                     "type=\"application/x-mplayer2\" src=\"elsewhere.mp4\"></object></body>"
                     "</html>\r\n");
    open(folder.file("Player.html"), true);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(view_.playerAddress(), Media::get().clip());
    ASSERT_TRUE(waitPlaying());

    const std::string missing = folder.file("Gone.html");
    open(missing, true);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_TRUE(events_[0].isError);
    EXPECT_EQ(events_[0].url, missing);
    EXPECT_EQ(events_[0].status, 404);
    EXPECT_EQ(view_.title(), "Cannot display the page");
    EXPECT_EQ(view_.bodyText(), "This page can't be displayed.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return view_.player().idle(); }, kWaitLimitMs));

    // Pages on servers are not this control's business.
    open("http://127.0.0.1:9/page.html");
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[0].status, platform::WebBrowser::kStatusResourceNotFound);
}

TEST_F(PlayerViewTest, LaterNavigationReplacesEarlierOne) {
    view_.navigate(playerPage(Media::get().clip()));
    // The blank page's events come after anything queued for the first navigation.
    open(kBlankPage);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].url, kBlankPage);
    EXPECT_TRUE(view_.player().idle());
    EXPECT_EQ(view_.playerAddress(), "");
}

}  // namespace
}  // namespace qova::player
