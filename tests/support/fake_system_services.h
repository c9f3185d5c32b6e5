#pragma once

// Stand-ins of the system's services the program asks about the battery and the connection.

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace qova::testing {

/// UPower's stand-in: the one property of it that is read.
class FakeUPower : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower")
    Q_PROPERTY(bool OnBattery MEMBER onBattery)
  public:
    bool onBattery = false;
};

/// NetworkManager's stand-in: the one property of it that is read (NMMetered: 1 metered,
/// 2 not, 3 guessed metered, 4 guessed not).
class FakeNetworkManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint Metered MEMBER metered)
  public:
    uint metered = 4;
};

/// UPower and NetworkManager on the session bus (a private one: the tests run under
/// dbus-run-session), on a connection of their own, so that every call and signal goes through
/// the bus daemon as the system's would. Their names are given up again on destruction.
class FakeSystemServices {
  public:
    explicit FakeSystemServices(uint metered = 4);
    ~FakeSystemServices();
    FakeSystemServices(const FakeSystemServices&) = delete;
    FakeSystemServices& operator=(const FakeSystemServices&) = delete;

    /// Empty when both services are on the bus; otherwise what failed.
    const QString& error() const { return error_; }
    /// Sets the property and says so, as the services do.
    void setOnBattery(bool onBattery);
    void setMetered(uint metered);

  private:
    void changed(QObject& service, const char* property, const QVariant& value);

    QDBusConnection bus_;
    FakeUPower upower_;
    FakeNetworkManager network_;
    QString error_;
};

}  // namespace qova::testing
