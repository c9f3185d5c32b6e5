// The mouse and keyboard over a playing picture, as a person's reach the program: through the X
// server (XTest, on the display the test command provides), into the real window playing the
// demo's pictures. The picture is a native window drawn by a thread of its own; what a person
// does over it is the player area's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QTest>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/main_window.h"
#include "testkit/x_input.h"

namespace qova::ui {
namespace {

constexpr int kWaitLimitMs = 20000;

std::string demoMedia(const char* name) {
    return "file://" QOVA_PROGRAM_DIR "/demo/media/" + std::string(name);
}

class PictureInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs a display; the test command runs this under Xvfb";
        ASSERT_EQ(x.why(), "");
        ASSERT_TRUE(QFile::exists(QString::fromStdString(demoMedia("bars.mp4").substr(7))))
            << "the build makes the demo's media";
        // A directory on this computer, whose channels may play its files.
        folder.write("directory.txt",
                     "Austria|Video|Bars|" + demoMedia("bars.mp4") + "|EN\r\nAustria|Video|Green|" +
                         demoMedia("pattern-green.mp4") + "|EN\r\nMexico|Video|Grid|" +
                         demoMedia("grid.mp4") + "|EN\r\n");
        folder.write("Config.txt", "URLTXT=file://" + folder.file("directory.txt") + "\r\n");
        folder.write("Player.html", "\r\n");
        window = testing::startWindow(testing::windowOptions(folder)).release();
        // As the program runs it: unloaded when closed.
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        window->logic().imgTV_Click();
        ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("Austria")));
        ASSERT_EQ(window->channelTree()->topLevelItemCount(), 2);
        x.click(
            window->channelTree()->viewport()->mapToGlobal(testing::nodeRect(*window, 0).center()));
        ASSERT_TRUE(playing(demoMedia("bars.mp4")));
    }
    void TearDown() override { delete window.data(); }

    player::PlayerView& area() { return window->playerArea(); }
    player::MpvPlayer& engine() { return area().player(); }
    QPoint picture() { return area().mapToGlobal(area().rect().center()); }
    bool playing(const std::string& address) {
        return waitFor([&] {
            return area().playerAddress() == address &&
                   engine().state() == platform::MediaPlayer::State::Playing;
        });
    }
    bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, kWaitLimitMs); }
    bool volumeIs(int volume) {
        return waitFor([&] { return engine().volume() == volume; });
    }
    bool fullScreen(bool is) {
        return waitFor([&] {
            // A person types on once the window in front has the keyboard.
            return window->isPlayerFullScreen() == is && area().isWindow() == is &&
                   (!is || area().isFullScreen()) &&
                   QGuiApplication::focusWindow() == area().window()->windowHandle();
        });
    }

    testkit::XInput x;
    testkit::TempFolder folder;
    QPointer<FrmMain> window;
};

TEST_F(PictureInput, WheelClicksAndKeysOverThePictureReachThePlayerAreaAlsoFillingTheScreen) {
    x.wheel(picture(), -2);
    EXPECT_TRUE(volumeIs(90)) << engine().volume();
    x.wheel(picture(), 1);
    EXPECT_TRUE(volumeIs(95)) << engine().volume();

    // A click gives the picture the keyboard: its own keys act.
    x.click(picture());
    ASSERT_TRUE(waitFor([&] { return area().hasFocus(); }))
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                        : "nothing has the focus");
    x.key("Next");
    EXPECT_TRUE(playing(demoMedia("pattern-green.mp4"))) << area().playerAddress();
    x.key("Prior");
    EXPECT_TRUE(playing(demoMedia("bars.mp4"))) << area().playerAddress();
    x.key("space");
    EXPECT_TRUE(waitFor([&] { return engine().idle(); }));
    x.key("space");
    EXPECT_TRUE(playing(demoMedia("bars.mp4"))) << area().playerAddress();

    x.doubleClick(picture());
    ASSERT_TRUE(fullScreen(true));
    ASSERT_TRUE(waitFor([&] { return area().size() == area().screen()->geometry().size(); }));
    x.wheel(picture(), -1);
    EXPECT_TRUE(volumeIs(90)) << engine().volume();
    x.click(picture());
    x.key("Escape");
    EXPECT_TRUE(fullScreen(false));
    // Back in the window, its keys act again.
    x.key("F11");
    EXPECT_TRUE(fullScreen(true));
    x.key("F11");
    EXPECT_TRUE(fullScreen(false));
    x.doubleClick(picture());
    EXPECT_TRUE(fullScreen(true));
    x.doubleClick(picture());
    EXPECT_TRUE(fullScreen(false));
}

// Whatever window is in front, closing the main window ends the picture filling the screen with
// it: nothing of the program stays on screen, and the stream's engine goes.
TEST_F(PictureInput, ClosingTheMainWindowWhileThePictureFillsTheScreenEndsBoth) {
    x.key("F11");
    ASSERT_TRUE(fullScreen(true));
    x.click(picture());
    const QPointer<player::PlayerView> view = &area();
    x.closeWindow(window->winId());
    EXPECT_TRUE(waitFor([&] { return window.isNull() && view.isNull(); }));
    for (const QWidget* shown : QApplication::topLevelWidgets())
        EXPECT_FALSE(shown->isVisible()) << shown->metaObject()->className();
}

// Single keys belong to the picture; in the lists they are typing.
TEST_F(PictureInput, SingleKeysTypeInTheListsAndActOnlyInThePicture) {
    QComboBox* countries = window->countryList();
    countries->setFocus();
    ASSERT_TRUE(waitFor([&] { return countries->hasFocus(); }));
    x.key("m");
    EXPECT_TRUE(waitFor([&] { return countries->currentText() == "Mexico"; }));
    for (const char* key : {"plus", "minus", "equal", "KP_Subtract"})
        x.key(key);
    // The keys typed before it have been handled once a later key's shortcut has acted.
    x.key("F11");
    ASSERT_TRUE(fullScreen(true));
    EXPECT_FALSE(engine().muted());
    EXPECT_EQ(engine().volume(), 100);

    x.click(picture());
    x.key("m");
    EXPECT_TRUE(waitFor([&] { return engine().muted(); }));
    x.key("minus");
    x.key("KP_Subtract");
    EXPECT_TRUE(volumeIs(90)) << engine().volume();
    x.key("plus");
    x.key("equal");
    x.key("KP_Add");
    EXPECT_TRUE(volumeIs(100)) << engine().volume();
    x.key("Escape");
    EXPECT_TRUE(fullScreen(false));
}

}  // namespace
}  // namespace qova::ui
