// Channels played through the whole program: a click on a node of the real window's tree, the
// player page, the player area and libmpv, against real streaming servers on loopback.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <filesystem>

#include "player/channel_recording.h"
#include "player/mpv_player.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "qt/qt_tree_view.h"
#include "support/message_box_watcher.h"
#include "support/process_maps.h"
#include "support/stream_servers_suite.h"
#include "testkit/loopback_http_server.h"
#include "testkit/stream_servers.h"
#include "testkit/temp_folder.h"
#include "ui/frm_browser.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

class PlaybackIntegrationTest : public testing::StreamServersSuite<> {
  protected:
    void SetUp() override {
        StreamServersSuite::SetUp();
        if (IsSkipped())
            return;
        directory.serve("/channels.txt",
                        "Test|Radio|Mp3 Tone|" + servers->icecastMp3Url() + "|EN\n" +
                            "Test|Radio|Ogg Tone|" + servers->icecastOggUrl() + "|EN\n" +
                            "Test|Video|Hls Card|" + servers->hlsUrl() + "|EN\n" +
                            "Test|Video|Rtsp Card|" + servers->rtspUrl() + "|EN\n");
        folder.write("Config.txt", "URLTXT=" + directory.url("/channels.txt") + "\r\n");
        folder.write("Player.html", "shipped page\r\n");
        FrmMainOptions options;
        options.programFolder = folder.path();
        options.site.address = "http://127.0.0.1:9";
        options.audioOutput = "null";
        window = std::make_unique<FrmMain>(std::move(options));
        window->load();
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->countryList()->count() > 0; }, 10000));
    }

    void chooseCountry(const char* categoryButton) {
        window->findChild<QPushButton*>(QString::fromLatin1(categoryButton))->click();
        QComboBox* list = window->countryList();
        const int index = list->findText(QStringLiteral("Test"));
        ASSERT_GE(index, 0);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    void clickNode(const QString& name) {
        QTreeWidget* tree = window->channelTree();
        const auto found = tree->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(found[0]).center());
    }
    player::PlayerView& area() { return window->playerArea(); }
    player::MpvPlayer& player() { return area().player(); }
    /// Waits until the stream plays.
    bool plays() {
        return QTest::qWaitFor(
            [&] {
                return !player().idle() &&
                       player().state() == platform::MediaPlayer::State::Playing;
            },
            20000);
    }
    /// Waits until the player page has been given the stream's address.
    bool reaches(const std::string& url) {
        return QTest::qWaitFor([&] { return area().playerAddress() == url; }, 5000);
    }

    testkit::LoopbackHttpServer directory;
    testkit::TempFolder folder;
    testing::MessageBoxWatcher messages;
    std::unique_ptr<FrmMain> window;
};

TEST_F(PlaybackIntegrationTest, RadioFollowsKeysWheelAndClicksShowsItsTitleLiveAndGoesWithExit) {
    chooseCountry("imgRadio");
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    area().setFocus();
    QTest::keyClick(&area(), Qt::Key_Down, Qt::ControlModifier);  // nothing played: the first
    EXPECT_TRUE(reaches(servers->icecastMp3Url())) << area().playerAddress();
    QTest::keyClick(&area(), Qt::Key_PageDown);
    EXPECT_TRUE(reaches(servers->icecastOggUrl())) << area().playerAddress();
    QTest::keyClick(&area(), Qt::Key_PageUp);
    ASSERT_TRUE(reaches(servers->icecastMp3Url())) << area().playerAddress();
    ASSERT_TRUE(plays()) << area().statusText().toStdString();
    // The media player page went through Player.html.
    EXPECT_NE(folder.read("Player.html")->find("src=\"" + servers->icecastMp3Url() + "\""),
              std::string::npos);

    const auto shown = [&](const std::string& title) {
        return area().overlay().nowPlayingText().contains(QString::fromStdString(title));
    };
    // The station's ICY title, read by the engine, is shown with the channel's lines.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown(servers->mp3StreamTitle()); }, 10000))
        << player().streamTitle();
    EXPECT_TRUE(shown("Mp3 Tone \u2014 Test"));  // sound alone: the lines stay
    EXPECT_TRUE(shown("MP3"));
    // A new song, announced through Icecast's admin interface; listeners hear it after the
    // audio already on its way to them.
    const std::string song = "Second Song \u2013 \u00C9t\u00E9";
    ASSERT_TRUE(servers->setMp3Title(song));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(song); }, 20000)) << player().streamTitle();
    window->findChild<QAction*>(QStringLiteral("mnuCopyTitle"))->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), song);

    QTest::keyClick(&area(), Qt::Key_Minus);
    QTest::keyClick(&area(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player().volume() == 90; }, 5000));
    EXPECT_EQ(area().overlay().volumeText(), "Volume 90 %");
    QWheelEvent up(QPointF(10, 10), area().mapToGlobal(QPointF(10, 10)), {}, QPoint(0, 120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&area(), &up);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player().volume() == 95; }, 5000));
    QTest::keyClick(&area(), Qt::Key_M);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player().muted(); }, 5000));

    QTest::keyClick(&area(), Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player().idle(); }, 5000));
    QTest::keyClick(&area(), Qt::Key_Space);
    EXPECT_TRUE(reaches(servers->icecastMp3Url())) << area().playerAddress();
    EXPECT_TRUE(plays());

    clickNode(QStringLiteral("Ogg Tone"));
    ASSERT_TRUE(reaches(servers->icecastOggUrl())) << area().playerAddress();
    ASSERT_TRUE(plays());
    EXPECT_TRUE(QTest::qWaitFor([&] { return servers->listeners("/live.ogg") == 1; }, 10000));
    EXPECT_TRUE(messages.seen().empty());

    // Exit, as the program runs its window: deleted once closed, and the stream's connection
    // with it, while the browser window stays.
    window->imgFullScreen_Click();
    const QPointer<FrmBrowser> browser = window->browserWindow();
    const QPointer<FrmMain> main = window.release();
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return main.isNull(); }, 5000));
    // The volume is kept for the next run beside the program, written by the end of this one.
    const std::string settings = folder.read("settings.ini").value_or("");
    EXPECT_NE(settings.find("volume=95"), std::string::npos) << settings;
    EXPECT_NE(settings.find("muted=1"), std::string::npos) << settings;
    EXPECT_TRUE(QTest::qWaitFor([&] { return servers->listeners("/live.ogg") == 0; }, 10000))
        << "the stream's connection outlived the window";
    ASSERT_FALSE(browser.isNull());
    EXPECT_TRUE(browser->isVisible());
    browser->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return browser.isNull(); }, 5000));
}

// Record from the Playback menu: the player area says so, to the eye and to screen readers, and
// Stop ends the recording, naming its file.
TEST_F(PlaybackIntegrationTest, RecordMarksThePlayerAreaAndStopEndsItNamingTheFile) {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.file("config")));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.file("cache")));
    player::chooseRecordingsFolder(folder.file("recordings"));
    chooseCountry("imgRadio");
    clickNode(QStringLiteral("Mp3 Tone"));
    ASSERT_TRUE(plays()) << area().statusText().toStdString();
    window->findChild<QAction*>(QStringLiteral("mnuRecord"))->trigger();
    ASSERT_TRUE(area().markText().startsWith(QStringLiteral("\u25CF REC 00:0")))
        << area().markText().toStdString();
    EXPECT_TRUE(area().whatScreenReadersRead().contains(QStringLiteral("REC")));
    const std::filesystem::path recordings = folder.file("recordings");
    std::filesystem::path file;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(recordings, error)) {
                if (entry.path().filename().string().starts_with("Mp3 Tone 2"))
                    file = entry.path();
            }
            return !file.empty() && std::filesystem::file_size(file, error) > 16000;
        },
        20000));
    window->findChild<QAction*>(QStringLiteral("mnuPlayStop"))->trigger();
    // The stop goes through the player's page, from the event loop.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return area().markText().toStdString() == "Recorded: " + file.filename().string(); },
        10000))
        << area().markText().toStdString();
}

TEST_F(PlaybackIntegrationTest, VideoStreamsPlayAndStopLeavesTheEngineIdle) {
    // The engine's library came to tell what it can play, and went again: it comes back for the
    // first channel.
    EXPECT_TRUE(QTest::qWaitFor([] { return !testing::processMaps("libmpv.so"); }, 10000));
    chooseCountry("imgTV");
    clickNode(QStringLiteral("Hls Card"));
    ASSERT_TRUE(plays()) << area().statusText().toStdString();

    // A second click on the playing node does not start it again: no page is on its way.
    clickNode(QStringLiteral("Hls Card"));
    EXPECT_EQ(area().readyState(), platform::WebBrowser::kReadyStateComplete);
    EXPECT_EQ(area().playerAddress(), servers->hlsUrl());

    // rtsp goes through the RealPlayer page, which the engine can play.
    clickNode(QStringLiteral("Rtsp Card"));
    ASSERT_TRUE(reaches(servers->rtspUrl())) << area().playerAddress();
    ASSERT_TRUE(plays()) << area().statusText().toStdString();

    window->findChild<QPushButton*>(QStringLiteral("cmdStopButton"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player().idle(); }, 5000));
    EXPECT_EQ(window->logic().channels().intPlayingNode(), 0);
    EXPECT_EQ(window->logic().state().strCurrentRecord, "");

    // After the stop the same node starts again.
    clickNode(QStringLiteral("Rtsp Card"));
    EXPECT_TRUE(plays());
    EXPECT_TRUE(messages.seen().empty());
}

}  // namespace
}  // namespace qova::ui
