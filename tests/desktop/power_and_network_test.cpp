// The battery and a metered connection as the system's services tell them, with stand-ins of
// UPower and NetworkManager on a private session bus (the test runs under dbus-run-session) and
// on a connection of their own, so that every call and signal goes through the bus daemon.
#include "desktop/power_and_network.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>

namespace qova::desktop {
namespace {

/// UPower's and NetworkManager's stand-ins: the one property of each that is read.
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
    uint metered = 1;  // metered
};

/// Sets a stand-in's property and says so, as the services do.
template <typename Value>
void change(QDBusConnection& bus, QObject& service, const char* property, Value value) {
    service.setProperty(property, QVariant::fromValue(value));
    const QString interface = QString::fromLatin1(service.metaObject()->classInfo(0).value());
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1Char('/') + QString(interface).replace(u'.', u'/'),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << interface << QVariantMap{{QString::fromLatin1(property), QVariant::fromValue(value)}}
           << QStringList();
    bus.send(signal);
}

TEST(PowerAndNetwork, FollowsTheBatteryAndAMeteredConnection) {
    QDBusConnection system =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-system"));
    ASSERT_TRUE(system.isConnected()) << "no session bus: run under dbus-run-session";
    FakeUPower upower;
    FakeNetworkManager network;
    ASSERT_TRUE(system.registerObject(QStringLiteral("/org/freedesktop/UPower"), &upower,
                                      QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(system.registerObject(QStringLiteral("/org/freedesktop/NetworkManager"), &network,
                                      QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(system.registerService(QStringLiteral("org.freedesktop.UPower")));
    ASSERT_TRUE(system.registerService(QStringLiteral("org.freedesktop.NetworkManager")));

    PowerAndNetwork watched(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.metered(); }, 5000)) << "metered at start";
    EXPECT_FALSE(watched.onBattery());

    change(system, upower, "OnBattery", true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.onBattery(); }, 5000));
    change(system, network, "Metered", 2u);  // not metered
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watched.metered(); }, 5000));
    change(system, network, "Metered", 3u);  // guessed metered, as a phone's hotspot
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.metered(); }, 5000));
    QSignalSpy changes(&watched, &PowerAndNetwork::changed);
    change(system, upower, "OnBattery", false);
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_FALSE(watched.onBattery());
    EXPECT_TRUE(watched.metered());
}

}  // namespace
}  // namespace qova::desktop

#include "power_and_network_test.moc"
