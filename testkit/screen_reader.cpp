#include "testkit/screen_reader.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <thread>

namespace qova::testkit {
namespace {

constexpr int kCallLimitMs = 10000;
const AccessibleObject kRegistryRoot{QStringLiteral("org.a11y.atspi.Registry"),
                                     QStringLiteral("/org/a11y/atspi/accessible/root")};
const AccessibleObject kRegistry{QStringLiteral("org.a11y.atspi.Registry"),
                                 QStringLiteral("/org/a11y/atspi/registry")};
/// Where the desktop says whether accessibility is on and where its bus is.
const AccessibleObject kLauncher{QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus")};
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

QDBusMessage callOn(QDBusConnection& bus, const AccessibleObject& object, const char* interface,
                    const char* method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        object.service, object.path, QString::fromLatin1(interface), QString::fromLatin1(method));
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallLimitMs);
}

QDBusMessage setAccessibility(bool on) {
    QDBusConnection session = QDBusConnection::sessionBus();
    return callOn(session, kLauncher, kProperties, "Set",
                  {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                   QVariant::fromValue(QDBusVariant(on))});
}

}  // namespace

ScreenReader::ScreenReader(const QString& name) : name_(name) {
    const QDBusMessage enabled = setAccessibility(true);
    QDBusConnection session = QDBusConnection::sessionBus();
    const QDBusMessage address = callOn(session, kLauncher, "org.a11y.Bus", "GetAddress", {});
    if (enabled.type() != QDBusMessage::ReplyMessage ||
        address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty()) {
        why_ = QStringLiteral("no accessibility bus (at-spi2-core): ") + enabled.errorMessage() +
               address.errorMessage();
        return;
    }
    bus_ = QDBusConnection::connectToBus(address.arguments().front().toString(), name_);
    if (!bus_->isConnected())
        why_ = QStringLiteral("cannot connect to the accessibility bus");
}

ScreenReader::~ScreenReader() {
    bus_.reset();
    QDBusConnection::disconnectFromBus(name_);
    setAccessibility(false);
}

QDBusMessage ScreenReader::call(const AccessibleObject& object, const char* interface,
                                const char* method, const QVariantList& arguments) {
    return callOn(*bus_, object, interface, method, arguments);
}

std::vector<AccessibleObject> ScreenReader::children(const AccessibleObject& object) {
    const QDBusMessage reply = call(object, kAccessible, "GetChildren");
    std::vector<AccessibleObject> children;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return children;
    const auto list = reply.arguments().front().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        AccessibleObject child;
        QDBusObjectPath path;
        list.beginStructure();
        list >> child.service >> path;
        list.endStructure();
        child.path = path.path();
        children.push_back(child);
    }
    list.endArray();
    return children;
}

QString ScreenReader::property(const AccessibleObject& object, const char* name) {
    const QDBusMessage reply = call(object, kProperties, "Get",
                                    {QString::fromLatin1(kAccessible), QString::fromLatin1(name)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QString value = reply.arguments().front().value<QDBusVariant>().variant().toString();
    // Read, but empty: told apart from a property that could not be read.
    return value.isNull() ? QStringLiteral("") : value;
}

std::optional<AccessibleObject> ScreenReader::application(const QString& applicationName,
                                                          int limitMs) {
    // A program joins the accessibility bus when it learns that accessibility is on; the
    // registry lists it from then on.
    const QDeadlineTimer deadline(limitMs);
    while (!deadline.hasExpired()) {
        for (const AccessibleObject& candidate : children(kRegistryRoot)) {
            if (name(candidate) == applicationName)
                return candidate;
        }
        QThread::msleep(50);
    }
    return std::nullopt;
}

std::optional<AccessibleObject> ScreenReader::find(
    const AccessibleObject& root, const std::function<bool(const AccessibleObject&)>& test,
    int limit) {
    std::vector<AccessibleObject> next{root};
    for (std::size_t i = 0; i < next.size() && static_cast<int>(i) < limit; ++i) {
        if (test(next[i]))
            return next[i];
        for (const AccessibleObject& child : children(next[i]))
            next.push_back(child);
    }
    return std::nullopt;
}

bool ScreenReader::listen() {
    // Programs send only the events some reader registered for; "object:" asks for all of them.
    const QDBusMessage registered =
        call(kRegistry, "org.a11y.atspi.Registry", "RegisterEvent", {QStringLiteral("object:")});
    return registered.type() == QDBusMessage::ReplyMessage &&
           bus_->connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"),
                         QString(), this, SLOT(heard(QDBusMessage)));
}

std::vector<AccessibleEvent> ScreenReader::events() const {
    const QMutexLocker lock(&eventsMutex_);
    return events_;
}

void ScreenReader::heard(const QDBusMessage& message) {
    AccessibleEvent event{message.member(), {}, {message.service(), message.path()}};
    if (!message.arguments().isEmpty())
        event.kind = message.arguments().front().toString();
    const QMutexLocker lock(&eventsMutex_);
    events_.push_back(std::move(event));
}

bool whileLoopTurns(const std::function<void()>& work, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // The program keeps answering until the questions have ended, whatever the limit.
    loop.exec();
    worker.join();
    return clock.elapsed() <= limitMs;
}

}  // namespace qova::testkit
