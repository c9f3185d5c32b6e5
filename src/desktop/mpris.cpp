#include "desktop/mpris.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include "desktop/mpris_adaptors.h"
#include "platform/qt_strings.h"

namespace qova::desktop {
namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.qova");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// A callback of the program, if it set one.
template <typename Callback, typename... Args>
void call(const Callback& callback, Args... args) {
    if (callback)
        callback(args...);
}

}  // namespace

Mpris::Mpris(QString desktopEntry, QObject* parent)
    : QObject(parent), desktopEntry_(std::move(desktopEntry)) {
    metadata_.insert(QStringLiteral("mpris:trackid"),
                     QVariant::fromValue(QDBusObjectPath(kNoTrack)));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // The adaptors are children of this object, which the bus exports with them.
    root_ = new MprisRoot(this, *this);
    player_ = new MprisPlayerAdaptor(this, *this);
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors))
        return;
    // A second QOVA takes a name of its own, so that desktop applets can tell the two apart.
    for (const QString& name :
         {kServiceName,
          kServiceName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid())}) {
        if (bus.registerService(name)) {
            serviceName_ = name;
            break;
        }
    }
}

Mpris::~Mpris() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!serviceName_.isEmpty())
        bus.unregisterService(serviceName_);
    if (root_ != nullptr)
        bus.unregisterObject(kObjectPath);
}

void Mpris::setStatus(Status status) {
    const QString text = status == Status::Playing  ? QStringLiteral("Playing")
                         : status == Status::Paused ? QStringLiteral("Paused")
                                                    : QStringLiteral("Stopped");
    if (text == status_)
        return;
    status_ = text;
    announce(QStringLiteral("PlaybackStatus"), status_);
}

void Mpris::setCanSeek(bool canSeek) {
    if (canSeek == canSeek_)
        return;
    canSeek_ = canSeek;
    announce(QStringLiteral("CanSeek"), canSeek_);
}

void Mpris::setTrack(const std::string& id, const std::string& title, const std::string& channel) {
    QVariantMap metadata;
    metadata.insert(
        QStringLiteral("mpris:trackid"),
        QVariant::fromValue(QDBusObjectPath(
            id.empty() ? kNoTrack : QStringLiteral("/org/qova/track/") + platform::toQString(id))));
    if (!title.empty())
        metadata.insert(QStringLiteral("xesam:title"), platform::toQString(title));
    if (!channel.empty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{platform::toQString(channel)});
    if (metadata == metadata_)
        return;
    metadata_ = metadata;
    announce(QStringLiteral("Metadata"), metadata_);
}

void Mpris::setVolume(double volume) {
    if (qFuzzyCompare(volume + 1.0, volume_ + 1.0))
        return;
    volume_ = volume;
    announce(QStringLiteral("Volume"), volume_);
}

void Mpris::announce(const QString& property, const QVariant& value) {
    if (serviceName_.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << QVariantMap{{property, value}} << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

MprisRoot::MprisRoot(QObject* object, Mpris& mpris) : QDBusAbstractAdaptor(object), mpris_(mpris) {}

QString MprisRoot::identity() const {
    return QStringLiteral("QOVA");
}

QString MprisRoot::desktopEntry() const {
    return mpris_.desktopEntry_;
}

void MprisRoot::Raise() {
    call(mpris_.onRaise);
}

void MprisRoot::Quit() {
    call(mpris_.onQuit);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* object, Mpris& mpris)
    : QDBusAbstractAdaptor(object), mpris_(mpris) {}

QString MprisPlayerAdaptor::playbackStatus() const {
    return mpris_.status_;
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    return mpris_.metadata_;
}

double MprisPlayerAdaptor::volume() const {
    return mpris_.volume_;
}

void MprisPlayerAdaptor::setVolume(double volume) {
    call(mpris_.onSetVolume, volume);
}

void MprisPlayerAdaptor::Next() {
    call(mpris_.onNext);
}

void MprisPlayerAdaptor::Previous() {
    call(mpris_.onPrevious);
}

void MprisPlayerAdaptor::Pause() {
    call(mpris_.onPause);
}

void MprisPlayerAdaptor::PlayPause() {
    call(mpris_.onPlayPause);
}

void MprisPlayerAdaptor::Stop() {
    call(mpris_.onStop);
}

void MprisPlayerAdaptor::Play() {
    call(mpris_.onPlay);
}

bool MprisPlayerAdaptor::canSeek() const {
    return mpris_.canSeek_;
}

void MprisPlayerAdaptor::Seek(qlonglong microseconds) {
    call(mpris_.onSeek, static_cast<double>(microseconds) / 1e6);
}

}  // namespace qova::desktop
