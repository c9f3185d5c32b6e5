// Neighbouring channels kept ready through the real window: three Icecast stations in a tree,
// the next channel taken as the media keys take it, and stand-ins of UPower and NetworkManager on
// a private session bus (the test runs under dbus-run-session). What the program connects to is
// read from Icecast's count of listeners.
#include <gtest/gtest.h>

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "neighbours/neighbour_keeper.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/main_window.h"
#include "support/stream_servers_suite.h"
#include "testkit/loopback_http_server.h"
#include "testkit/stream_servers.h"

namespace qova::ui {
namespace {

constexpr int kWaitMs = 15000;

class FakeUPower : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower")
    Q_PROPERTY(bool OnBattery MEMBER onBattery)
  public:
    bool onBattery = false;
};

class FakeNetworkManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint Metered MEMBER metered)
  public:
    uint metered = 4;  // guessed not metered
};

class NeighboursWindowTest : public testing::ToneServersSuite<-30, -20, -10> {
  protected:
    void SetUp() override {
        ToneServersSuite::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(system.isConnected()) << "no session bus: run under dbus-run-session";
        ASSERT_TRUE(system.registerObject(QStringLiteral("/org/freedesktop/UPower"), &upower,
                                          QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(system.registerObject(QStringLiteral("/org/freedesktop/NetworkManager"),
                                          &network, QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(system.registerService(QStringLiteral("org.freedesktop.UPower")));
        ASSERT_TRUE(system.registerService(QStringLiteral("org.freedesktop.NetworkManager")));
        directory.serve("/channels.txt",
                        "Test|Radio|Quiet|" + servers->icecastToneUrl(-30) + "|EN\n" +
                            "Test|Radio|Middle|" + servers->icecastToneUrl(-20) + "|EN\n" +
                            "Test|Radio|Loud|" + servers->icecastToneUrl(-10) + "|EN\n");
        folder.write("Config.txt", "URLTXT=" + directory.url("/channels.txt") + "\r\n");
        folder.write("Player.html", "shipped page\r\n");
        FrmMainOptions options = testing::windowOptions(folder);
        options.powerOnSessionBus = true;
        window = testing::startWindow(std::move(options));
        window->findChild<QPushButton*>(QStringLiteral("imgRadio"))->click();
        ASSERT_TRUE(testing::chooseCountry(*window, QStringLiteral("Test")));
    }
    void TearDown() override {
        window.reset();
        system.unregisterService(QStringLiteral("org.freedesktop.UPower"));
        system.unregisterService(QStringLiteral("org.freedesktop.NetworkManager"));
    }

    /// Icecast's listeners of each tone, "-30" to "-10", become these.
    static bool listeners(int quiet, int middle, int loud) {
        const auto count = [](int level) {
            return servers->listeners("/tone" + std::to_string(level) + ".mp3");
        };
        return QTest::qWaitFor(
            [&] { return count(-30) == quiet && count(-20) == middle && count(-10) == loud; },
            kWaitMs);
    }
    void metered(uint value) {
        network.metered = value;
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/NetworkManager"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.freedesktop.NetworkManager")
               << QVariantMap{{QStringLiteral("Metered"), value}} << QStringList();
        system.send(signal);
    }
    bool playsThrough(const std::string& what) {
        player::MpvPlayer& player = window->playerArea().player();
        return QTest::qWaitFor(
            [&] {
                return player.state() == player::MpvPlayer::State::Playing &&
                       player.path().find(what) != std::string::npos;
            },
            kWaitMs);
    }
    void trigger(const char* action) {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }

    QDBusConnection system =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-system"));
    FakeUPower upower;
    FakeNetworkManager network;
    testkit::LoopbackHttpServer directory;
    testkit::TempFolder folder;
    std::unique_ptr<FrmMain> window;
};

TEST_F(NeighboursWindowTest, NextIsReadyLetGoWhenMeteredOrMinimisedAndOffMakesNoConnection) {
    testing::clickNode(*window, 0);
    ASSERT_TRUE(playsThrough("/tone-30.mp3"));
    // The next channel of the tree is made ready; there is no previous one.
    ASSERT_TRUE(listeners(1, 1, 0));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->neighbourKeeper().ready(servers->icecastToneUrl(-20)); }, kWaitMs));

    // Next, as the media keys and Ctrl+Down take it: the ready connection is the one heard.
    trigger("mnuNext");
    ASSERT_TRUE(playsThrough("/tone-20.mp3"));
    EXPECT_EQ(window->neighbourKeeper().handedOver(), 1);
    // Now the next, and the previous which is also the one played before: each once.
    EXPECT_TRUE(listeners(1, 1, 1));

    metered(1);
    EXPECT_TRUE(listeners(0, 1, 0)) << "let go on a metered connection";
    metered(2);
    EXPECT_TRUE(listeners(1, 1, 1));
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(listeners(0, 1, 0)) << "let go while minimised";
    window->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(listeners(1, 1, 1));

    // Off: let go at once, and the next channel is opened as ever, with nothing beside it.
    trigger("mnuPrepareNeighbours");
    EXPECT_TRUE(listeners(0, 1, 0));
    trigger("mnuNext");
    ASSERT_TRUE(playsThrough("/tone-10.mp3"));
    EXPECT_TRUE(listeners(0, 0, 1));
    EXPECT_EQ(window->neighbourKeeper().handedOver(), 1) << "off, nothing is handed over";
    window.reset();
    const std::string settings = folder.read("settings.ini").value_or("");
    EXPECT_NE(settings.find("prepareNeighbours=0"), std::string::npos) << settings;
    EXPECT_NE(settings.find("equalLoudness=1"), std::string::npos)
        << "the default of a new settings file is kept with it";
}

TEST_F(NeighboursWindowTest, VideoChannelsTooFollowsTheNeighbourItemAndIsKept) {
    const auto items = [&] {
        return std::pair{window->findChild<QAction*>(QStringLiteral("mnuPrepareNeighbours")),
                         window->findChild<QAction*>(QStringLiteral("mnuPrepareVideoNeighbours"))};
    };
    auto [neighbours, video] = items();
    ASSERT_TRUE(neighbours && video);
    const QList<QAction*> menu =
        qobject_cast<QMenu*>(video->associatedObjects().value(0))->actions();
    EXPECT_EQ(menu.indexOf(video), menu.indexOf(neighbours) + 1);
    EXPECT_EQ(video->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+V")));
    EXPECT_FALSE(video->isChecked()) << "off by default";
    EXPECT_TRUE(video->isEnabled());

    trigger("mnuPrepareVideoNeighbours");
    EXPECT_TRUE(window->neighbourKeeper().conditions().videoToo);
    trigger("mnuPrepareNeighbours");
    EXPECT_FALSE(video->isEnabled()) << "nothing to prepare whole while nothing is prepared";

    window.reset();
    FrmMainOptions options = testing::windowOptions(folder);
    options.powerOnSessionBus = true;
    window = testing::startWindow(std::move(options));
    std::tie(neighbours, video) = items();
    EXPECT_FALSE(neighbours->isChecked());
    EXPECT_TRUE(video->isChecked()) << "kept across a restart";
    EXPECT_FALSE(video->isEnabled());
    trigger("mnuPrepareNeighbours");
    EXPECT_TRUE(video->isEnabled());
}

}  // namespace
}  // namespace qova::ui

#include "neighbours_window_test.moc"
