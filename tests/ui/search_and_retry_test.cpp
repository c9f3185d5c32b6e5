// The main window as a user works it: keys and clicks through the X server (xdotool on Xvfb),
// with the focus wherever the last click or key left it. Esc in the channel search; a click that
// tries a failed channel again.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/main_window.h"
#include "testkit/loopback_http_server.h"
#include "ui/frm_channel_lists.h"

namespace qova::ui {
namespace {

class ByHand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs a display; the test command runs this under Xvfb";
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            << "scripts/install-deps.sh installs xdotool";
        // Streams the server does not have. Without Player.html a click plays nothing, and the
        // engine does not start.
        folder.write("Channel.txt", "France|Video|TV Un|" + site.url("/un.mp4") +
                                        "|FR\r\nFrance|Video|TV Deux|" + site.url("/deux.mp4") +
                                        "|FR\r\nItaly|Video|TV Italia|" + site.url("/it.mp4") +
                                        "|IT\r\nItaly|Radio|Radio Uno|" + site.url("/uno.mp3") +
                                        "|IT\r\n");
        folder.write("Config.txt", "URLTXT=file://" + folder.file("Channel.txt") + "\r\n");
        site.serve("/info3.html", "<html><body>QOVA</body></html>", "text/html");
        FrmMainOptions options = testing::windowOptions(folder);
        options.site.address = site.url("");
        options.site.address.pop_back();
        window = testing::startWindow(std::move(options));
        window->move(0, 0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("France")));
        ASSERT_EQ(names(), (QStringList{"TV Un", "TV Deux"}));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        field = window->findChild<QLineEdit*>(QStringLiteral("txtSearch"));
        ASSERT_NE(field, nullptr);
    }

    QStringList names() const {
        QStringList out;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            out << tree()->topLevelItem(i)->text(0);
        return out;
    }
    QTreeWidget* tree() const { return window->channelTree(); }

    static bool xdotool(const QStringList& arguments) {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), arguments);
        return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit &&
               tool.exitCode() == 0;
    }
    static bool key(const char* keys) { return xdotool({"key", QString::fromLatin1(keys)}); }
    static bool click(const QWidget& widget, QPoint at) {
        const QPoint global = widget.mapToGlobal(at);
        // A move to where the pointer is already would wait for a motion that never comes.
        if (QCursor::pos() != global &&
            !xdotool(
                {"mousemove", "--sync", QString::number(global.x()), QString::number(global.y())}))
            return false;
        return xdotool({"click", "1"});
    }
    static bool focus(QWidget& window) {
        return xdotool({"windowfocus", "--sync", QString::number(window.winId())}) &&
               QTest::qWaitForWindowActive(&window);
    }
    static bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

    // Ctrl+F and a query typed: the search shows its results.
    void search() {
        ASSERT_TRUE(key("ctrl+f"));
        ASSERT_TRUE(waitFor([&] { return field->isVisible() && field->hasFocus(); }));
        ASSERT_TRUE(xdotool({"type", "--delay", "20", "tv"}));
        ASSERT_TRUE(waitFor([&] { return names().size() == 3; }))
            << names().join('|').toStdString();
        ASSERT_EQ(names().first(), QString::fromUtf8("TV Un \u2014 France"));
    }
    bool searchEnded() const { return !field->isVisible() && names().size() == 2; }

    testkit::TempFolder folder;
    testkit::LoopbackHttpServer site;
    std::unique_ptr<FrmMain> window;
    QLineEdit* field = nullptr;
};

TEST_F(ByHand, EscEndsTheSearchFromWhereverTheFocusIsInTheWindowAndNowhereElse) {
    search();
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return searchEnded(); })) << "from the field";

    // A click on a result leaves the focus in the tree.
    search();
    QTreeWidgetItem* second = tree()->topLevelItem(1);
    ASSERT_TRUE(click(*tree()->viewport(), tree()->visualItemRect(second).center()));
    ASSERT_TRUE(waitFor([&] { return tree()->hasFocus() && second->isSelected(); }));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return searchEnded(); })) << "from the tree";

    search();
    player::PlayerView& player = window->playerArea();
    ASSERT_TRUE(click(player, player.rect().center()));
    ASSERT_TRUE(waitFor([&] { return player.hasFocus(); }));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return searchEnded(); })) << "from the player area";

    // Not from other windows: the channel lists window takes its Esc for itself.
    search();
    ASSERT_TRUE(key("ctrl+l"));
    ASSERT_TRUE(waitFor([&] {
        return window->channelListsWindow() != nullptr &&
               window->channelListsWindow()->isActiveWindow();
    }));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return !window->channelListsWindow()->isVisible(); }));
    EXPECT_TRUE(field->isVisible());
    EXPECT_EQ(names().size(), 3);

    // Esc brings the picture back from the full screen, and only that.
    // The display has no window manager to give the focus back: the test gives it.
    ASSERT_TRUE(focus(*window));
    ASSERT_TRUE(key("F11"));
    ASSERT_TRUE(waitFor([&] { return player.isWindow() && player.hasFocus(); }));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return !player.isWindow(); }));
    EXPECT_FALSE(window->isPlayerFullScreen());
    EXPECT_TRUE(field->isVisible());
    EXPECT_EQ(names().size(), 3);

    // Back in the window, a click in the picture and Esc: the search ends. Elsewhere than the
    // click before, which the second would make a double-click.
    ASSERT_TRUE(focus(*window));
    ASSERT_TRUE(click(player, player.rect().topLeft() + QPoint(20, 20)));
    ASSERT_TRUE(waitFor([&] { return player.hasFocus(); }));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitFor([&] { return searchEnded(); }));
}

TEST_F(ByHand, AClickOnAChannelThatFailedTriesItAgain) {
    folder.write("Player.html", "\r\n");
    const QRect row = testing::nodeRect(*window, 0);
    player::PlayerView& player = window->playerArea();
    const auto failed = [&] {
        return player.statusText().startsWith(QStringLiteral("The stream cannot be played")) &&
               player.player().state() == platform::MediaPlayer::State::Stopped;
    };
    ASSERT_TRUE(click(*tree()->viewport(), row.center()));
    ASSERT_TRUE(QTest::qWaitFor(failed, 20000)) << player.statusText().toStdString();
    const int requests = site.requestCount("/un.mp4");
    EXPECT_GE(requests, 1);
    EXPECT_EQ(window->logic().channels().intPlayingNode(), 1);

    // Away from the first click, so that the two make no double-click.
    ASSERT_TRUE(click(*tree()->viewport(), row.topLeft() + QPoint(20, row.height() / 2)));
    ASSERT_TRUE(waitFor([&] { return site.requestCount("/un.mp4") > requests; }))
        << "the failed channel was not tried again";
    EXPECT_TRUE(QTest::qWaitFor(failed, 20000)) << player.statusText().toStdString();
}

}  // namespace
}  // namespace qova::ui
