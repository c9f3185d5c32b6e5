// The main window's commands for keeping what plays: recording, saving the song that plays and
// where the files go, pausing and moving behind the live point, in the Playback menu, with the
// mark they show in the player area.
#include <QAction>
#include <QMenu>
#include <QTimer>
#include <cmath>

#include "player/channel_recording.h"
#include "player/mpv_player.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

// Less than this behind the live point is what the engine holds anyway.
constexpr double kShownBehind = 3.0;
constexpr double kStepSeconds = 10.0;

// "−1:32": how far behind the live point, in minutes and seconds.
QString behind(double seconds) {
    const long whole = std::lround(seconds);
    return QStringLiteral("\u2212%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

void FrmMain::buildRecordingCommands() {
    auto* recording = new player::ChannelRecording(wbMain_->player(), this);
    // The mark: the recording's, and how far behind live what plays is while it is.
    auto* behindTimer = new QTimer(this);
    behindTimer->setInterval(500);
    const auto showMark = [this, recording, behindTimer] {
        player::MpvPlayer& engine = wbMain_->player();
        const double seconds = engine.behindLive();
        const bool held = engine.paused() || seconds >= kShownBehind;
        if (!held)
            behindTimer->stop();
        QString mark = recording->mark();
        if (held)
            mark += (mark.isEmpty() ? QString() : QStringLiteral("  ")) + behind(seconds);
        wbMain_->setMark(mark);
    };
    connect(behindTimer, &QTimer::timeout, this, showMark);
    connect(recording, &player::ChannelRecording::markChanged, this, showMark);
    const auto moved = [behindTimer, showMark] {
        behindTimer->start();
        showMark();
    };
    // Keys that other controls need too (the arrows, End) act only where the picture has focus.
    const auto command = [this](const char* name, const QString& text, QKeySequence key,
                                Qt::ShortcutContext context, const QString& tip, auto handler) {
        QAction* action = mnuPlayback_->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(context);
        action->setToolTip(tip);
        // Also from the picture when it fills the screen, a window of its own then.
        wbMain_->addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    const auto add = [command](const char* name, const QString& text, QKeySequence key,
                               const QString& tip, auto handler) {
        command(name, text, key, Qt::WindowShortcut, tip, handler);
    };
    const auto inPicture = [command](const char* name, const QString& text, Qt::Key key,
                                     const QString& tip, auto handler) {
        command(name, text, key, Qt::WidgetShortcut, tip, handler);
    };
    mnuPlayback_->addSeparator();
    add("mnuRecord", tr("&Record"), QKeySequence(Qt::CTRL | Qt::Key_R),
        tr("Records what plays as the station sends it, each song also in a file of its own; "
           "again to stop"),
        [this, recording] { recording->toggle(wbMain_->overlay().channel()); });
    add("mnuSaveSong", tr("Save &Song"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
        tr("Saves the song that plays, from its beginning on to its end"),
        [this, recording] { recording->saveSong(wbMain_->overlay().channel()); });
    add("mnuRecordingsFolder", tr("Recordings Fo&lder..."),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), tr("Where recordings and saved songs go"),
        [this] {
            const QString folder =
                chooseFile(FileUse::RecordingsFolder,
                           QString::fromStdString(player::recordingsFolder(false).string()));
            if (!folder.isEmpty())
                player::chooseRecordingsFolder(folder.toStdString());
        });

    mnuPlayback_->addSeparator();
    player::MpvPlayer& engine = wbMain_->player();
    add("mnuPause", tr("P&ause or Play"), QKeySequence(Qt::CTRL | Qt::Key_P),
        tr("Holds a stream where it is, and goes on from there; a stream that cannot be held "
           "stops"),
        [this, moved] {
            logic_->listening().pauseOrPlay();
            moved();
        });
    inPicture("mnuGoLive", tr("&Go Live"), Qt::Key_End, tr("End, in the picture"),
              [&engine, moved] {
                  engine.goLive();
                  moved();
              });
    inPicture("mnuBack", tr("&Back 10 Seconds"), Qt::Key_Left, tr("Left, in the picture"),
              [&engine, moved] {
                  engine.seekBy(-kStepSeconds);
                  moved();
              });
    inPicture("mnuForward", tr("F&orward 10 Seconds"), Qt::Key_Right, tr("Right, in the picture"),
              [&engine, moved] {
                  engine.seekBy(kStepSeconds);
                  moved();
              });
}

}  // namespace qova::ui
