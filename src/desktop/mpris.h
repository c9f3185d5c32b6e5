#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>

#include "platform/desktop.h"

namespace qova::desktop {

class MprisRoot;
class MprisPlayerAdaptor;

/// The program as a media player on the desktop's session bus (MPRIS 2): the name
/// org.mpris.MediaPlayer2.qova, or one with an instance suffix when another QOVA holds it, and the
/// object /org/mpris/MediaPlayer2 with the MediaPlayer2 and MediaPlayer2.Player interfaces. Every
/// change of PlaybackStatus, Metadata and Volume is announced with PropertiesChanged. Without a
/// session bus it does nothing.
///
/// Metadata: mpris:trackid names the channel started, xesam:title is the stream's title (the
/// channel's name while it has none) and xesam:artist the channel's name, which desktops show
/// under the title.
class Mpris : public QObject, public platform::DesktopPlayer {
    Q_OBJECT

  public:
    /// `desktopEntry` names the program's desktop file without ".desktop".
    explicit Mpris(QString desktopEntry, QObject* parent = nullptr);
    ~Mpris() override;

    /// The bus name taken, empty when there is no session bus.
    QString serviceName() const { return serviceName_; }

    void setStatus(Status status) override;
    void setTrack(const std::string& id, const std::string& title,
                  const std::string& channel) override;
    void setVolume(double volume) override;
    void setCanSeek(bool canSeek) override;

  private:
    friend class MprisRoot;
    friend class MprisPlayerAdaptor;

    void announce(const QString& property, const QVariant& value);

    QString desktopEntry_;
    QString serviceName_;
    QString status_ = QStringLiteral("Stopped");
    QVariantMap metadata_;
    double volume_ = 1.0;
    bool canSeek_ = false;
    MprisRoot* root_ = nullptr;
    MprisPlayerAdaptor* player_ = nullptr;
};

}  // namespace qova::desktop
