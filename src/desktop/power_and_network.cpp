#include "desktop/power_and_network.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace qova::desktop {
namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kOnBattery = QStringLiteral("OnBattery");
const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kMetered = QStringLiteral("Metered");
// NetworkManager's NMMetered: yes, and guessed yes (a phone's hotspot, say).
constexpr uint kMeteredYes = 1;
constexpr uint kMeteredGuessYes = 3;

}  // namespace

PowerAndNetwork::PowerAndNetwork(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    if (!bus_.isConnected())
        return;
    const QString changed = QStringLiteral("PropertiesChanged");
    bus_.connect(kUPower, kUPowerPath, kProperties, changed, this,
                 SLOT(powerChanged(QString, QVariantMap, QStringList)));
    bus_.connect(kNetworkManager, kNetworkManagerPath, kProperties, changed, this,
                 SLOT(networkChanged(QString, QVariantMap, QStringList)));
    ask(kUPower, kUPowerPath, kUPower, kOnBattery);
    ask(kNetworkManager, kNetworkManagerPath, kNetworkManager, kMetered);
}

void PowerAndNetwork::ask(const QString& service, const QString& path, const QString& interface,
                          const QString& property) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, kProperties, QStringLiteral("Get"));
    call << interface << property;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, interface, property](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *answered;
                if (!reply.isError())
                    apply(interface, {{property, reply.value().variant()}});
            });
}

void PowerAndNetwork::powerChanged(const QString& interface, const QVariantMap& values,
                                   const QStringList&) {
    apply(interface, values);
}

void PowerAndNetwork::networkChanged(const QString& interface, const QVariantMap& values,
                                     const QStringList&) {
    apply(interface, values);
}

void PowerAndNetwork::apply(const QString& interface, const QVariantMap& values) {
    bool onBattery = onBattery_;
    bool metered = metered_;
    if (interface == kUPower && values.contains(kOnBattery))
        onBattery = values.value(kOnBattery).toBool();
    if (interface == kNetworkManager && values.contains(kMetered)) {
        const uint value = values.value(kMetered).toUInt();
        metered = value == kMeteredYes || value == kMeteredGuessYes;
    }
    if (onBattery == onBattery_ && metered == metered_)
        return;
    onBattery_ = onBattery;
    metered_ = metered;
    emit changed();
}

}  // namespace qova::desktop
