#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace qova::desktop {

/// What makes keeping channels ready costly to the person: running on battery (UPower's
/// OnBattery) and a metered connection (NetworkManager's Metered, yes or guessed yes). Read at
/// start and followed as they change, on the system bus; without the bus or the services both
/// stay false. Calls never wait for the services.
class PowerAndNetwork : public QObject {
    Q_OBJECT
  public:
    /// `bus`: where the services are; the system bus, or a test's own.
    explicit PowerAndNetwork(QDBusConnection bus = QDBusConnection::systemBus(),
                             QObject* parent = nullptr);

    bool onBattery() const { return onBattery_; }
    bool metered() const { return metered_; }

  signals:
    /// onBattery() or metered() changed.
    void changed();

  private slots:
    void powerChanged(const QString& interface, const QVariantMap& changed, const QStringList&);
    void networkChanged(const QString& interface, const QVariantMap& changed, const QStringList&);

  private:
    void ask(const QString& service, const QString& path, const QString& interface,
             const QString& property);
    void apply(const QString& interface, const QVariantMap& values);

    QDBusConnection bus_;
    bool onBattery_ = false;
    bool metered_ = false;
};

}  // namespace qova::desktop
