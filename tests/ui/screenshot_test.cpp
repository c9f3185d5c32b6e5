// A picture of the main window playing the demo test card, on a real display (Xvfb) with video
// drawn through OpenGL, saved for people to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "playback/player_pages.h"
#include "player/mpv_player.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "support/main_window.h"
#include "testkit/loopback_http_server.h"
#include "testkit/status_line_server.h"
#include "testkit/test_media.h"
#include "web/web_view.h"

namespace qova::ui {
namespace {

// How much of an area of a picture is not black: a test card drawn, not an empty surface.
int colouredPoints(const QImage& shot, const QRect& area) {
    int coloured = 0;
    for (int y = area.top(); y < area.bottom(); y += 7) {
        for (int x = area.left(); x < area.right(); x += 7) {
            if (QColor(shot.pixel(x, y)).value() > 40)
                ++coloured;
        }
    }
    return coloured;
}

// What the screen shows of a widget: a picture drawn by another thread into a native window is in
// no widget's grab.
QImage onScreen(const QWidget& widget) {
    const QPoint corner = widget.mapToGlobal(QPoint(0, 0));
    return widget.screen()
        ->grabWindow(0, corner.x(), corner.y(), widget.width(), widget.height())
        .toImage();
}

// Where the text of a light-on-dark picture lies, and how much of it there is.
struct Ink {
    QRect bounds;
    int points = 0;

    friend bool operator==(const Ink&, const Ink&) = default;
};

Ink inkOf(const QImage& shot) {
    Ink ink;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (QColor(shot.pixel(x, y)).value() > 128) {
                ink.bounds |= QRect(x, y, 1, 1);
                ++ink.points;
            }
        }
    }
    return ink;
}

std::string describe(const Ink& ink) {
    return "ink at " + std::to_string(ink.bounds.x()) + "," + std::to_string(ink.bounds.y()) +
           " size " + std::to_string(ink.bounds.width()) + "x" +
           std::to_string(ink.bounds.height()) + ", " + std::to_string(ink.points) + " points";
}

class OnDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs a display; the test command runs this under Xvfb";
        const QString demo = QStringLiteral(QOVA_PROGRAM_DIR "/demo/directory.txt");
        ASSERT_TRUE(QFile::exists(demo)) << "the build makes the demo directory";
        folder.write("Config.txt", "URLTXT=file://" + demo.toStdString() + "\r\n");
        folder.write("Player.html", "\r\n");
        site.serve("/info3.html",
                   "<html><head><title>QOVA</title></head><body style=\"background:#4c4c4c;"
                   "color:white\"><h3>Welcome to QOVA</h3><p>Live television and radio from "
                   "every country, in one window. Pick TV or Radio, a country and a "
                   "channel.</p></body></html>",
                   "text/html");
        FrmMainOptions options = testing::windowOptions(folder);
        options.site.address = site.url("");
        options.site.address.pop_back();
        window = testing::startWindow(std::move(options));
        window->countryList()->setCurrentIndex(1);
        emit window->countryList()->activated(1);
        ASSERT_GT(window->channelTree()->topLevelItemCount(), 0);
        testing::clickNode(*window, 0);
        ASSERT_TRUE(player().drawsVideo());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return player().player().state() == platform::MediaPlayer::State::Playing; },
            15000))
            << player().statusText().toStdString();
    }
    player::PlayerView& player() { return window->playerArea(); }

    testkit::TempFolder folder;
    testkit::LoopbackHttpServer site;
    std::unique_ptr<FrmMain> window;
};

TEST_F(OnDisplay, TheWindowPlayingTheDemoTestCard) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->informationArea().readyState() == 4; }, 5000));
    // The engine's clock runs on sound; on a loaded machine the first frames reach the screen
    // later than that.
    const QRect area(player().mapTo(window.get(), QPoint(0, 0)), player().size());
    // What plays is written over the picture, on a dark strip along its bottom that dims the
    // bright bars of the test card; the lines come to the picture a moment after its first frame.
    const QPoint strip =
        player().mapTo(window.get(), QPoint(player().width() * 2 / 5, player().height() - 30));
    QImage shot;
    bool pictured = false;
    const bool lined = QTest::qWaitFor(
        [&] {
            shot = onScreen(*window);
            pictured = colouredPoints(shot, area) > 100;
            return pictured && QColor(shot.pixel(strip)).value() < 160;
        },
        10000);
    EXPECT_TRUE(pictured) << "no picture on screen";
    EXPECT_TRUE(lined) << "no lines over the picture";
    const QString saved = QStringLiteral(QOVA_SCREENSHOT_DIR "/main-window.png");
    QDir().mkpath(QStringLiteral(QOVA_SCREENSHOT_DIR));
    ASSERT_TRUE(shot.save(saved));
    std::printf("screenshot: %s\n", qPrintable(saved));
}

TEST_F(OnDisplay, TheFullScreenPictureComesBackToTheWindowExactlyAsItWas) {
    const QRect windowPlace = window->geometry();
    const QRect playerPlace = player().geometry();
    window->toggleFullScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player().isFullScreen(); }, 5000));
    EXPECT_TRUE(player().isWindow());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return player().size() == player().screen()->geometry().size(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return colouredPoints(onScreen(player()), player().rect()) > 100; }, 10000))
        << "no picture full screen";

    window->toggleFullScreen();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !player().isWindow() && player().isVisible(); }, 5000));
    EXPECT_EQ(player().geometry(), playerPlace);
    EXPECT_EQ(window->geometry(), windowPlace);
    EXPECT_FALSE(window->isPlayerFullScreen());
    const QRect area(player().mapTo(window.get(), QPoint(0, 0)), player().size());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return colouredPoints(onScreen(*window), area) > 100; }, 10000))
        << "the picture did not come back with the player area";
}

// A player area on its own, on the display.
class VideoOnDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs a display; the test command runs this under Xvfb";
        ASSERT_EQ(testkit::TestMedia::get().error(), "");
    }
    /// Plays the test clip in a shown player area, drawing its picture through OpenGL.
    static ::testing::AssertionResult playsTheClip(player::PlayerView& view) {
        const std::string clip = "file://" + testkit::TestMedia::get().clip();
        view.player().allowLocalFile(clip);
        view.navigate(playback::RealPlayerAddress(clip));
        if (!view.drawsVideo())
            return ::testing::AssertionFailure() << "the picture is not drawn through OpenGL";
        if (!QTest::qWaitFor(
                [&] { return view.player().state() == platform::MediaPlayer::State::Playing; },
                15000))
            return ::testing::AssertionFailure() << view.statusText().toStdString();
        return ::testing::AssertionSuccess();
    }
};

// Closing a window destroys the native windows inside it before its widgets go, while the render
// thread may be drawing a frame into one of them: here one asked for by the volume shown just
// before, on a screen-sized picture that takes long to draw. A few rounds, since each catches the
// frame in flight only now and then.
TEST_F(VideoOnDisplay, WindowsClosedWhileTheirPictureIsDrawnGoCleanly) {
    for (int round = 0; round < 8; ++round) {
        auto window = std::make_unique<QWidget>();
        auto* view = new player::PlayerView(window.get(), {"null"});
        view->resize(1280, 960);
        window->resize(1280, 960);
        window->show();
        ASSERT_TRUE(playsTheClip(*view));
        view->overlay().showVolume(40 + round, false);
        window.reset();
    }
}

// Whether a thread of the process has this name.
bool threadNamed(const QString& name) {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.toUtf8())
            return true;
    }
    return false;
}

// Where OpenGL may not be used from another thread, the picture is drawn on the Qt thread, as the
// player area does when asked to: the same picture with its lines, no thread of its own.
TEST_F(VideoOnDisplay, ThePictureIsDrawnOnTheQtThreadWhereOpenGlKeepsToIt) {
    for (const bool onQtThread : {true, false}) {
        SCOPED_TRACE(onQtThread ? "on the Qt thread" : "on a thread of its own");
        player::PlayerViewOptions options{"null"};
        options.videoOnQtThread = onQtThread;
        player::PlayerView view(nullptr, options);
        view.resize(640, 360);
        view.show();
        ASSERT_TRUE(playsTheClip(view));
        view.overlay().showVolume(40, false);
        const QRect note = view.findChild<QWidget*>(QStringLiteral("volumeNote"))->geometry();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QImage shot = onScreen(view);
                return colouredPoints(shot, view.rect()) > 100 &&
                       inkOf(shot.copy(note)).points > 20;
            },
            10000))
            << "no picture, or no lines over it";
        EXPECT_EQ(threadNamed(QStringLiteral("video")), !onQtThread);
    }
}

// The line saying why a stream stopped, drawn into the picture, holds its whole text exactly as
// its label lays it out: a long one wrapped inside the picture's width, the tops of its capitals'
// accents and the tails of its letters uncut, a server's words as they came.
TEST_F(VideoOnDisplay, AMessageOverThePictureShowsItsWholeTextWrappedInsideIt) {
    const testkit::StatusLineServer server(
        "HTTP/1.1 503 \xC3\x85\xC3\x89 <b>gjpqy</b> \xC3\x85\xC3\x89 gjpqy");
    player::PlayerView view(nullptr, {"null"});
    view.resize(300, 240);
    view.show();
    view.navigate(playback::RealPlayerAddress(server.url()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.statusText().isEmpty(); }, 15000));
    ASSERT_TRUE(view.drawsVideo());
    EXPECT_TRUE(view.statusText().contains(QStringLiteral("<b>gjpqy</b>")));
    auto* line = view.findChild<QLabel*>(QStringLiteral("playerStatus"));
    ASSERT_NE(line, nullptr);
    ASSERT_LE(line->width(), view.width());
    // Two lines or more at this width.
    ASSERT_GT(line->height(), 2 * line->fontMetrics().lineSpacing());
    const Ink own = inkOf(line->grab().toImage());
    ASSERT_GT(own.points, 100);
    Ink drawn;
    const bool same = QTest::qWaitFor(
        [&] {
            drawn = inkOf(onScreen(*line));
            return drawn == own;
        },
        10000);
    EXPECT_TRUE(same) << "label: " << describe(own) << "; over the picture: " << describe(drawn);
}

}  // namespace
}  // namespace qova::ui
