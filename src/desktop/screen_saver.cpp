#include "desktop/screen_saver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace qova::desktop {
namespace {

QDBusMessage screenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                          QStringLiteral("/org/freedesktop/ScreenSaver"),
                                          QStringLiteral("org.freedesktop.ScreenSaver"),
                                          QString::fromLatin1(method));
}

}  // namespace

ScreenSaver::ScreenSaver(QObject* parent) : QObject(parent) {}

ScreenSaver::~ScreenSaver() {
    if (cookie_)
        release(*cookie_);
}

void ScreenSaver::inhibit(const std::string& reason) {
    wanted_ = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (cookie_ || asking_ || !bus.isConnected())
        return;
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QStringLiteral("QOVA") << QString::fromStdString(reason);
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        asking_ = false;
        const QDBusPendingReply<quint32> reply = *w;
        if (reply.isError())
            return;
        // Not wanted any more by the time the desktop answered: given back at once.
        if (wanted_)
            cookie_ = reply.value();
        else
            release(reply.value());
    });
}

void ScreenSaver::uninhibit() {
    wanted_ = false;
    if (cookie_)
        release(*std::exchange(cookie_, std::nullopt));
}

void ScreenSaver::release(quint32 cookie) {
    QDBusMessage call = screenSaverCall("UnInhibit");
    call << cookie;
    QDBusConnection::sessionBus().asyncCall(call);
}

}  // namespace qova::desktop
