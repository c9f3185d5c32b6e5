// The battery and a metered connection as the system's services tell them, with stand-ins of
// UPower and NetworkManager on a private session bus (the test runs under dbus-run-session) and
// on a connection of their own, so that every call and signal goes through the bus daemon.
#include "desktop/power_and_network.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "support/fake_system_services.h"

namespace qova::desktop {
namespace {

TEST(PowerAndNetwork, FollowsTheBatteryAndAMeteredConnection) {
    testing::FakeSystemServices system(1);  // metered
    ASSERT_EQ(system.error().toStdString(), "");

    PowerAndNetwork watched(QDBusConnection::sessionBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.metered(); }, 5000)) << "metered at start";
    EXPECT_FALSE(watched.onBattery());

    system.setOnBattery(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.onBattery(); }, 5000));
    system.setMetered(2);  // not metered
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watched.metered(); }, 5000));
    system.setMetered(3);  // guessed metered, as a phone's hotspot
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.metered(); }, 5000));
    QSignalSpy changes(&watched, &PowerAndNetwork::changed);
    system.setOnBattery(false);
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_FALSE(watched.onBattery());
    EXPECT_TRUE(watched.metered());
}

}  // namespace
}  // namespace qova::desktop
