#include "player/channel_recording.h"

#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include "player/mpv_player.h"
#include "stream/recent_audio.h"
#include "stream/recorder.h"
#include "stream/stream_relay.h"

namespace qova::player {
namespace {

constexpr int kSaidForMs = 6000;
constexpr const char* kFolderKey = "recordings/folder";

QSettings choices() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("qova"),
                     QStringLiteral("recordings"));
}

std::filesystem::path desktopFolder(const char* kind, const char* fallback) {
    const QString home = QDir::homePath();
    QProcess ask;
    ask.start(QStringLiteral("xdg-user-dir"), {QString::fromLatin1(kind)});
    if (ask.waitForFinished(2000) && ask.exitCode() == 0) {
        const QString folder = QString::fromLocal8Bit(ask.readAllStandardOutput()).trimmed();
        // Without a folder of its kind the desktop names the home folder itself.
        if (!folder.isEmpty() && QDir(folder) != QDir(home))
            return folder.toStdString();
    }
    return (home + QLatin1Char('/') + QLatin1String(fallback)).toStdString();
}

QString fileName(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

QString clock(qint64 seconds) {
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    const QString minutes = two(seconds / 60 % 60) + QLatin1Char(':') + two(seconds % 60);
    return seconds >= 3600 ? QString::number(seconds / 3600) + QLatin1Char(':') + minutes : minutes;
}

}  // namespace

std::filesystem::path recordingsFolder(bool pictures) {
    const QString chosen = choices().value(QLatin1String(kFolderKey)).toString();
    if (!chosen.isEmpty())
        return chosen.toStdString();
    return desktopFolder(pictures ? "VIDEOS" : "MUSIC", pictures ? "Videos" : "Music") / "QOVA";
}

void chooseRecordingsFolder(const std::filesystem::path& folder) {
    choices().setValue(QLatin1String(kFolderKey), QString::fromStdString(folder.string()));
}

std::filesystem::path playerCacheFolder() {
    return (QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
            QStringLiteral("/qova"))
        .toStdString();
}

ChannelRecording::ChannelRecording(MpvPlayer& player, QObject* parent)
    : QObject(parent), player_(&player) {
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, &ChannelRecording::tick);
    sayFor_.setSingleShot(true);
    sayFor_.setInterval(kSaidForMs);
    connect(&sayFor_, &QTimer::timeout, this, [this] { say(QString()); });
    // A recording is of one channel: another one, or Stop, ends it.
    connect(&player, &MpvPlayer::streamReplaced, this, [this] {
        stop();
        if (saver_ && relay())
            relay()->withTape(
                [this](stream::StreamTape& tape, const stream::StationAnswer&) {
                    tape.removeSink(saver_.get());
                    saver_->finish();
                },
                true);
    });
    connect(&player, &MpvPlayer::playbackRestarted, this, &ChannelRecording::attach);
}

ChannelRecording::~ChannelRecording() {
    stop();
    if (stream::StreamRelay* relay = this->relay(); relay && attachedTo_ == relay) {
        relay->withTape(
            [this](stream::StreamTape& tape, const stream::StationAnswer&) {
                tape.removeSink(recent_.get());
                if (saver_)
                    tape.removeSink(saver_.get());
            },
            true);
    }
}

stream::StreamRelay* ChannelRecording::relay() const {
    return player_ ? player_->relay() : nullptr;
}

void ChannelRecording::attach() {
    stream::StreamRelay* relay = this->relay();
    if (relay == nullptr || relay == attachedTo_)
        return;
    if (!recent_)
        recent_ = std::make_unique<stream::RecentAudio>(playerCacheFolder());
    attachedTo_ = relay;
    relay->withTape([this](stream::StreamTape& tape,
                           const stream::StationAnswer&) { tape.addSink(recent_.get()); },
                    true);
}

void ChannelRecording::toggle(const std::string& channel) {
    if (recorder_) {
        stop();
        return;
    }
    attach();
    stream::StationAnswer answer;
    stream::StreamRelay* relay = player_ && player_->playsThroughRelay() ? this->relay() : nullptr;
    if (relay)
        relay->withTape(
            [&answer](stream::StreamTape&, const stream::StationAnswer& now) { answer = now; },
            true);
    if (!answer.taped) {
        say(tr("This channel cannot be recorded."));
        return;
    }
    const std::string extension = stream::extensionForContentType(answer.contentType);
    stream::RecordingPlan plan{
        recordingsFolder(extension == "ts"), channel, extension,
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm")).toStdString(),
        answer.metaint > 0};
    recorder_ = std::make_unique<stream::Recorder>(plan);
    const QPointer<ChannelRecording> self(this);
    stream::Recorder* recorder = recorder_.get();
    recorder_->onFailed = [self, recorder] {
        // On the relay's thread: the rest on this one.
        QMetaObject::invokeMethod(
            self,
            [self, recorder] {
                if (self && self->recorder_.get() == recorder)
                    self->failed(QString::fromStdString(recorder->error()));
            },
            Qt::QueuedConnection);
    };
    bool started = false;
    relay->withTape(
        [&](stream::StreamTape& tape, const stream::StationAnswer&) {
            started = recorder_->start(tape.currentTitle());
            if (started)
                tape.addSink(recorder_.get());
        },
        true);
    if (!started) {
        const QString why = QString::fromStdString(recorder_->error());
        recorder_.reset();
        say(tr("Cannot record: %1").arg(why));
        return;
    }
    since_.start();
    ticker_.start();
    tick();
}

void ChannelRecording::stop() {
    if (!recorder_)
        return;
    ticker_.stop();
    if (stream::StreamRelay* relay = this->relay())
        relay->withTape(
            [this](stream::StreamTape& tape, const stream::StationAnswer&) {
                tape.removeSink(recorder_.get());
                recorder_->finish();
            },
            true);
    const QString name = fileName(recorder_->path());
    recorder_.reset();
    say(tr("Recorded: %1").arg(name));
}

void ChannelRecording::failed(const QString& why) {
    stop();
    say(tr("Recording stopped: %1; what was recorded is kept.").arg(why));
}

void ChannelRecording::saveSong(const std::string& channel) {
    attach();
    stream::StreamRelay* relay = player_ && player_->playsThroughRelay() ? this->relay() : nullptr;
    if (relay == nullptr || !recent_ || !recent_->usable()) {
        say(tr("This channel's songs cannot be saved."));
        return;
    }
    QString error;
    relay->withTape(
        [&](stream::StreamTape& tape, const stream::StationAnswer& answer) {
            if (saver_) {
                tape.removeSink(saver_.get());
                saver_->finish();
            }
            const std::string extension = stream::extensionForContentType(answer.contentType);
            saver_ = std::make_unique<stream::SongSaver>(*recent_, recordingsFolder(false), channel,
                                                         extension);
            const QPointer<ChannelRecording> self(this);
            stream::SongSaver* saver = saver_.get();
            saver_->onDone = [self, saver] {
                QMetaObject::invokeMethod(
                    self,
                    [self, saver] {
                        if (!self || self->saver_.get() != saver)
                            return;
                        self->say(tr("Song saved: %1").arg(fileName(saver->path())));
                    },
                    Qt::QueuedConnection);
            };
            if (saver_->start())
                tape.addSink(saver_.get());
            else
                error = QString::fromStdString(saver_->error());
        },
        true);
    say(error.isEmpty() ? tr("Saving the song: %1").arg(fileName(saver_->path()))
                        : tr("Cannot save the song: %1").arg(error));
}

void ChannelRecording::tick() {
    if (!recorder_)
        return;
    mark_ = QStringLiteral("\u25CF REC ") + clock(since_.elapsed() / 1000);
    emit markChanged(mark_);
}

void ChannelRecording::say(const QString& text) {
    if (recorder_ && text.isEmpty()) {
        tick();
        return;
    }
    mark_ = text;
    emit markChanged(mark_);
    if (!text.isEmpty())
        sayFor_.start();
}

}  // namespace qova::player
