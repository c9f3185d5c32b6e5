#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>
#include <vector>

namespace qova::testkit {

/// An object a program shows to screen readers, as the accessibility bus names it.
struct AccessibleObject {
    QString service;
    QString path;

    friend bool operator==(const AccessibleObject&, const AccessibleObject&) = default;
};

/// An event a program sent to screen readers (org.a11y.atspi.Event.Object), such as a
/// "PropertyChange" of its "accessible-name" or "accessible-description".
struct AccessibleEvent {
    QString member;
    QString kind;
    AccessibleObject source;
};

/// A screen reader on the desktop's accessibility bus (AT-SPI; at-spi2-core, which a session bus
/// starts on demand, so run under dbus-run-session and a display): it turns accessibility on, as
/// Orca does, reads the objects of programs and hears their events. Both are undone when it goes.
///
/// Every question is a blocking call that the program answers from its own event loop: ask from
/// another thread while that loop runs (see whileLoopTurns) or from another process.
class ScreenReader : public QObject {
    Q_OBJECT

  public:
    /// `name` names the reader's connection; two readers at once need two names.
    explicit ScreenReader(const QString& name = QStringLiteral("testkit-screen-reader"));
    ~ScreenReader() override;

    /// Empty when connected; otherwise why it cannot read.
    const QString& why() const { return why_; }

    std::vector<AccessibleObject> children(const AccessibleObject& object);
    /// An accessible property ("Name", "Description"); null when it cannot be read.
    QString property(const AccessibleObject& object, const char* name);
    QString name(const AccessibleObject& object) { return property(object, "Name"); }
    QString description(const AccessibleObject& object) { return property(object, "Description"); }

    /// The program of this name among those the desktop's registry lists, once it is there.
    std::optional<AccessibleObject> application(const QString& applicationName, int limitMs);
    /// The first of a program's objects, breadth first among at most `limit`, that passes.
    std::optional<AccessibleObject> find(const AccessibleObject& root,
                                         const std::function<bool(const AccessibleObject&)>& test,
                                         int limit = 400);

    /// Asks the desktop's programs for their object events, as a screen reader registers for
    /// them; from then on they are kept, to be read with events().
    bool listen();
    std::vector<AccessibleEvent> events() const;

  private slots:
    void heard(const QDBusMessage& message);

  private:
    QDBusMessage call(const AccessibleObject& object, const char* interface, const char* method,
                      const QVariantList& arguments = {});

    QString name_;
    std::optional<QDBusConnection> bus_;
    QString why_;
    mutable QMutex eventsMutex_;
    std::vector<AccessibleEvent> events_;
};

/// Runs `work` on a thread of its own while this thread's event loop turns, so that a program of
/// this process answers what `work` asks; true when it ended within the limit. The thread is
/// always waited for: `work` must end by itself (every call of the reader gives up in 10 s).
bool whileLoopTurns(const std::function<void()>& work, int limitMs);

}  // namespace qova::testkit
