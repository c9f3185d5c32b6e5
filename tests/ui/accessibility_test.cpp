// The window as a screen reader meets it, over the desktop's accessibility bus (AT-SPI) on a
// private session bus and a real display: what plays, which the picture shows only as drawn
// lines, and why a channel is greyed, which the mouse finds in a tool tip. The reader asks from a
// thread of its own while the window answers from the test's event loop.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/main_window.h"
#include "support/stream_servers_suite.h"
#include "testkit/loopback_http_server.h"
#include "testkit/screen_reader.h"

namespace qova::ui {
namespace {

using testkit::AccessibleObject;
using testkit::whileLoopTurns;

constexpr int kWaitLimitMs = 20000;

class AccessibilityTest : public testing::StreamServersSuite<true, false, false> {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs a display; the test command runs this under Xvfb";
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus: run under dbus-run-session";
        StreamServersSuite::SetUp();
        if (IsSkipped())
            return;
        reader = std::make_unique<testkit::ScreenReader>();
        ASSERT_EQ(reader->why(), "");
        directory.serve("/channels.txt", "Test|Radio|Mp3 Tone|" + servers->icecastMp3Url() +
                                             "|EN\n" + "Test|Radio|Silent|" +
                                             testkit::closedPortUrl() + "gone.mp3|EN\n");
        folder.write("Config.txt", "URLTXT=" + directory.url("/channels.txt") + "\r\n");
        folder.write("Player.html", "\r\n");
        FrmMainOptions options = testing::windowOptions(folder);
        options.channelCheckLimitMs = 1000;
        window = testing::startWindow(std::move(options));
        window->logic().imgRadio_Click();
        ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("Test")));
        ASSERT_EQ(window->channelTree()->topLevelItemCount(), 2);
        ASSERT_TRUE(whileLoopTurns(
            [&] { program = reader->application(QCoreApplication::applicationName(), 15000); },
            kWaitLimitMs));
        ASSERT_TRUE(program) << "the program never joined the accessibility bus";
    }
    void TearDown() override {
        window.reset();
        reader.reset();
    }

    /// The first of the program's objects with this name, as a screen reader finds it.
    std::optional<AccessibleObject> named(const QString& name) {
        std::optional<AccessibleObject> found;
        whileLoopTurns(
            [&] {
                found = reader->find(*program, [&](const AccessibleObject& each) {
                    return reader->name(each) == name;
                });
            },
            kWaitLimitMs);
        return found;
    }
    QString description(const AccessibleObject& object) {
        QString text;
        whileLoopTurns([&] { text = reader->description(object); }, kWaitLimitMs);
        return text;
    }

    testkit::LoopbackHttpServer directory;
    testkit::TempFolder folder;
    std::unique_ptr<testkit::ScreenReader> reader;
    std::unique_ptr<FrmMain> window;
    std::optional<AccessibleObject> program;
};

TEST_F(AccessibilityTest, WhatPlaysIsReadFromThePlayerAreaAndANewTitleIsAnnounced) {
    window->logic().listening().next();
    player::PlayerView& area = window->playerArea();
    const std::string firstTitle = servers->mp3StreamTitle();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return area.player().streamTitle() == firstTitle &&
                   area.player().facts().audioBitrate > 0;
        },
        kWaitLimitMs))
        << area.statusText().toStdString();

    const std::optional<AccessibleObject> player = named(QStringLiteral("Player"));
    ASSERT_TRUE(player);
    const QString read = description(*player);
    for (const QString& part : {QStringLiteral("Mp3 Tone \u2014 Test"),
                                QString::fromStdString(firstTitle), QStringLiteral("MP3")})
        EXPECT_TRUE(read.contains(part)) << read.toStdString() << " lacks " << part.toStdString();

    bool listening = false;
    whileLoopTurns([&] { listening = reader->listen(); }, kWaitLimitMs);
    ASSERT_TRUE(listening);
    const std::string song = "Second Song \u2013 \u00C9t\u00E9";
    ASSERT_TRUE(servers->setMp3Title(song));
    const auto announced = [&] {
        for (const testkit::AccessibleEvent& event : reader->events()) {
            if (event.source.path == player->path && event.kind == "accessible-description")
                return true;
        }
        return false;
    };
    // Listeners hear the new song after the audio already on its way to them.
    EXPECT_TRUE(QTest::qWaitFor(announced, 30000));
    EXPECT_TRUE(description(*player).contains(QString::fromStdString(song)))
        << description(*player).toStdString();
}

TEST_F(AccessibilityTest, AGreyedChannelSaysWhyToScreenReadersAsItsToolTipDoes) {
    window->findChild<QAction*>(QStringLiteral("mnuCheckChannels"))->trigger();
    QTreeWidgetItem* silent =
        window->channelTree()->findItems(QStringLiteral("Silent"), Qt::MatchExactly).value(0);
    ASSERT_NE(silent, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !silent->toolTip(0).isEmpty(); }, kWaitLimitMs));
    QTextDocument tip;
    tip.setHtml(silent->toolTip(0));

    const std::optional<AccessibleObject> node = named(QStringLiteral("Silent"));
    ASSERT_TRUE(node);
    EXPECT_EQ(description(*node).toStdString(), tip.toPlainText().toStdString());
    const std::optional<AccessibleObject> answered = named(QStringLiteral("Mp3 Tone"));
    ASSERT_TRUE(answered);
    EXPECT_EQ(description(*answered), "");
}

}  // namespace
}  // namespace qova::ui
