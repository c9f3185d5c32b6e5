#include "support/fake_system_services.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QMetaClassInfo>
#include <QVariantMap>

namespace qova::testing {
namespace {

QString pathOf(const QString& service) {
    return QLatin1Char('/') + QString(service).replace(u'.', u'/');
}

QString interfaceOf(const QObject& service) {
    return QString::fromLatin1(service.metaObject()->classInfo(0).value());
}

}  // namespace

FakeSystemServices::FakeSystemServices(uint metered)
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QStringLiteral("fake-system"))) {
    network_.metered = metered;
    if (!bus_.isConnected()) {
        error_ = QStringLiteral("no session bus: run under dbus-run-session");
        return;
    }
    for (QObject* service : {static_cast<QObject*>(&upower_), static_cast<QObject*>(&network_)}) {
        const QString name = interfaceOf(*service);
        if (!bus_.registerObject(pathOf(name), service, QDBusConnection::ExportAllProperties) ||
            !bus_.registerService(name))
            error_ += QStringLiteral("cannot offer %1: %2 ").arg(name, bus_.lastError().message());
    }
}

FakeSystemServices::~FakeSystemServices() {
    for (const QObject* service :
         {static_cast<QObject*>(&upower_), static_cast<QObject*>(&network_)})
        bus_.unregisterService(interfaceOf(*service));
    QDBusConnection::disconnectFromBus(bus_.name());
}

void FakeSystemServices::setOnBattery(bool onBattery) {
    changed(upower_, "OnBattery", onBattery);
}

void FakeSystemServices::setMetered(uint metered) {
    changed(network_, "Metered", metered);
}

void FakeSystemServices::changed(QObject& service, const char* property, const QVariant& value) {
    service.setProperty(property, value);
    const QString interface = interfaceOf(service);
    QDBusMessage signal = QDBusMessage::createSignal(
        pathOf(interface), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << interface << QVariantMap{{QString::fromLatin1(property), value}} << QStringList();
    bus_.send(signal);
}

}  // namespace qova::testing
