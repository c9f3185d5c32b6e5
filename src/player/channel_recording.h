#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>

namespace qova::stream {
class RecentAudio;
class Recorder;
class SongSaver;
class StreamRelay;
}  // namespace qova::stream

namespace qova::player {

class MpvPlayer;

/// Where recordings go: the folder the user chose, else the desktop's music folder for sound
/// and its videos folder for pictures (xdg-user-dir, else ~/Music and ~/Videos), in "QOVA".
std::filesystem::path recordingsFolder(bool pictures);
/// The folder the user chose for recordings, kept between runs; empty for the desktop's.
void chooseRecordingsFolder(const std::filesystem::path& folder);
/// Where the recent audio and the engine's cache of a channel lie: ~/.cache/qova.
std::filesystem::path playerCacheFolder();

/// Recording what plays, and "Save song", for the player: a recording is of the channel that
/// plays and ends with it (another channel, Stop). The channel's recent audio is held on disk
/// for as long as a relayed channel plays, so that a song can be saved from its beginning.
class ChannelRecording : public QObject {
    Q_OBJECT
  public:
    explicit ChannelRecording(MpvPlayer& player, QObject* parent = nullptr);
    ~ChannelRecording() override;

    /// Starts recording the channel that plays (its name for the files), or stops recording.
    void toggle(const std::string& channel);
    void stop();
    bool recording() const { return recorder_ != nullptr; }
    /// Saves the song that plays, from its beginning, on to its end.
    void saveSong(const std::string& channel);
    /// "● REC 00:42" while recording; otherwise what was last said for a few seconds (the
    /// finished file's name, why it stopped); empty when there is nothing to say.
    QString mark() const { return mark_; }

  signals:
    void markChanged(const QString& mark);

  private:
    void attach();
    void say(const QString& text);
    void failed(const QString& why);
    void tick();

    // The relay the sinks are on; the player, until it is destroyed (with its relay) first.
    stream::StreamRelay* relay() const;
    QPointer<MpvPlayer> player_;
    QPointer<stream::StreamRelay> attachedTo_;
    std::unique_ptr<stream::RecentAudio> recent_;
    std::unique_ptr<stream::Recorder> recorder_;
    std::unique_ptr<stream::SongSaver> saver_;
    QElapsedTimer since_;
    QTimer ticker_;
    QTimer sayFor_;
    QString mark_;
};

}  // namespace qova::player
