// The program on a private session bus (the test runs under dbus-run-session): as a media player
// that the desktop's media keys and applets drive (MPRIS), and holding the screen saver off while
// a picture plays. The desktop's side is a second connection of this process, so every call goes
// through the bus daemon; the window answers from the same event loop, so calls never block.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "player/mpv_player.h"
#include "player/player_view.h"
#include "support/stream_servers_suite.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "ui/frm_main.h"
#include "ui/secondary_windows.h"

namespace qova::ui {
namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.qova");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

/// A desktop's screen saver, on the desktop's connection: counts what it is asked.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

  public slots:
    uint Inhibit(const QString&, const QString&) {
        ++inhibited;
        return 7;
    }
    void UnInhibit(uint cookie) { released.push_back(cookie); }

  public:
    int inhibited = 0;
    std::vector<uint> released;
};

/// What the player announces with PropertiesChanged.
class Announcements : public QObject {
    Q_OBJECT

  public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&) {
        for (auto it = properties.begin(); it != properties.end(); ++it)
            seen.emplace_back(it.key(), it.value());
    }

  public:
    /// Waits until the property is announced with a value that passes the test.
    bool waitFor(const char* property, const std::function<bool(const QVariant&)>& test) const {
        return QTest::qWaitFor(
            [&] {
                return std::any_of(seen.begin(), seen.end(), [&](const auto& each) {
                    return each.first == QLatin1String(property) && test(each.second);
                });
            },
            15000);
    }
    bool waitFor(const char* property, const QVariant& value) const {
        return waitFor(property, [&](const QVariant& each) { return each == value; });
    }
    std::vector<std::pair<QString, QVariant>> seen;
};

class DesktopTest : public testing::StreamServersSuite<true, true, false> {
  protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus: run under dbus-run-session";
        StreamServersSuite::SetUp();
        if (IsSkipped())
            return;
        desktop = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop")));
        ASSERT_TRUE(desktop->registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                            &screenSaver, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(desktop->registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        ASSERT_TRUE(desktop->connect(kService, kPath,
                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                     QStringLiteral("PropertiesChanged"), &announcements,
                                     SLOT(changed(QString, QVariantMap, QStringList))));

        directory.serve("/channels.txt", "Test|Radio|Mp3 Tone|" + servers->icecastMp3Url() +
                                             "|EN\nTest|Video|Hls Card|" + servers->hlsUrl() +
                                             "|EN\n");
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
    void TearDown() override {
        window.reset();
        desktop.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    }

    /// Calls the player as the desktop would, without waiting for the answer.
    void press(const char* method) {
        desktop->asyncCall(
            QDBusMessage::createMethodCall(kService, kPath, kPlayer, QString::fromLatin1(method)));
    }
    void chooseCountry(void (app::MainForm::*category)()) {
        (window->logic().*category)();
        QComboBox* list = window->countryList();
        list->setCurrentIndex(list->findText(QStringLiteral("Test")));
        emit list->activated(list->currentIndex());
    }
    player::MpvPlayer& engine() { return window->playerArea().player(); }

    testkit::LoopbackHttpServer directory;
    testkit::TempFolder folder;
    std::unique_ptr<QDBusConnection> desktop;
    FakeScreenSaver screenSaver;
    Announcements announcements;
    std::unique_ptr<FrmMain> window;
};

TEST_F(DesktopTest, MediaKeysDriveTheWindowEveryChangeIsAnnouncedAndOnlyAPictureHoldsTheScreen) {
    chooseCountry(&app::MainForm::imgRadio_Click);
    press("Next");  // nothing played yet: the first channel
    EXPECT_TRUE(QTest::qWaitFor([&] { return servers->listeners("/live.mp3") == 1; }, 10000));
    EXPECT_TRUE(announcements.waitFor("PlaybackStatus", QStringLiteral("Playing")));
    EXPECT_TRUE(announcements.waitFor("Metadata", [&](const QVariant& value) {
        const QVariantMap metadata = qdbus_cast<QVariantMap>(value);
        return metadata.value(QStringLiteral("xesam:title")).toString().toStdString() ==
                   servers->mp3StreamTitle() &&
               metadata.value(QStringLiteral("xesam:artist")).toStringList() ==
                   QStringList{QStringLiteral("Mp3 Tone")};
    }));

    QDBusMessage setVolume = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    setVolume << kPlayer << QStringLiteral("Volume") << QVariant::fromValue(QDBusVariant(0.4));
    desktop->asyncCall(setVolume);
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine().volume() == 40; }, 5000));
    EXPECT_TRUE(announcements.waitFor("Volume", 0.4));

    press("Stop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return servers->listeners("/live.mp3") == 0; }, 10000));
    EXPECT_TRUE(announcements.waitFor("PlaybackStatus", QStringLiteral("Stopped")));
    EXPECT_EQ(screenSaver.inhibited, 0) << "sound alone keeps no screen awake";

    // The last channel is not among the pictures: Play starts the first of them.
    chooseCountry(&app::MainForm::imgTV_Click);
    press("Play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return screenSaver.inhibited == 1; }, 20000))
        << window->playerArea().statusText().toStdString();
    // A live stream pauses, its connection kept, and lets the screen sleep; it plays on again.
    press("PlayPause");
    EXPECT_TRUE(announcements.waitFor("PlaybackStatus", QStringLiteral("Paused")));
    EXPECT_TRUE(announcements.waitFor("CanSeek", true));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return screenSaver.released == std::vector<uint>{7}; }, 10000));
    EXPECT_FALSE(engine().idle());
    press("PlayPause");
    EXPECT_TRUE(announcements.waitFor("PlaybackStatus", QStringLiteral("Playing")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenSaver.inhibited == 2; }, 10000));
    press("Stop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine().idle(); }, 5000));
}

// Quit from the desktop while a modal window waits for the user: the modal window closes first,
// and the main window goes once the modal window's loop has returned, ending the run as main()
// runs it.
TEST_F(DesktopTest, QuitWhileAModalWindowWaitsClosesItFirstAndThenEndsTheRun) {
    const QPointer<FrmMain> main = window.release();
    main->setAttribute(Qt::WA_DeleteOnClose);
    bool returnedToTheWindow = false;
    main->secondaryWindows().onShown = [&](QDialog& shown) {
        desktop->asyncCall(QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit")));
        // A person would close it at last; here it bounds a run that fails.
        QTimer::singleShot(20000, &shown, &QDialog::reject);
    };
    QTimer::singleShot(0, main, [&] {
        main->findChild<QAction*>(QStringLiteral("mnuAboutUs"))->trigger();
        returnedToTheWindow = !main.isNull() && main->isVisible();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_LT(clock.elapsed(), 15000) << "the modal window waited for a person";
    EXPECT_TRUE(returnedToTheWindow);
    EXPECT_TRUE(main.isNull());
}

}  // namespace
}  // namespace qova::ui

#include "desktop_test.moc"
