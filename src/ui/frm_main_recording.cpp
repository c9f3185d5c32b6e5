// The main window's commands for keeping what plays: recording, saving the song that plays and
// where the files go, in the Playback menu, with the mark they show in the player area.
#include <QAction>
#include <QFileDialog>
#include <QMenu>

#include "player/channel_recording.h"
#include "player/mpv_player.h"
#include "player/player_overlay_widget.h"
#include "player/player_view.h"
#include "ui/frm_main.h"

namespace qova::ui {

void FrmMain::buildRecordingCommands() {
    auto* recording = new player::ChannelRecording(wbMain_->player(), this);
    connect(recording, &player::ChannelRecording::markChanged, wbMain_,
            &player::PlayerView::setMark);
    const auto add = [this](const char* name, const QString& text, QKeySequence key,
                            const QString& tip, auto handler) {
        QAction* action = mnuPlayback_->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(tip);
        // Also from the picture when it fills the screen, a window of its own then.
        wbMain_->addAction(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    mnuPlayback_->addSeparator();
    add("mnuRecord", tr("&Record"), QKeySequence(Qt::CTRL | Qt::Key_R),
        tr("Records what plays as the station sends it, each song also in a file of its own; "
           "again to stop"),
        [this, recording] { recording->toggle(wbMain_->overlay().channel()); });
    add("mnuSaveSong", tr("Save &Song"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
        tr("Saves the song that plays, from its beginning on to its end"),
        [this, recording] { recording->saveSong(wbMain_->overlay().channel()); });
    add("mnuRecordingsFolder", tr("Recordings &Folder..."),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), tr("Where recordings and saved songs go"),
        [this] {
            const QString folder = QFileDialog::getExistingDirectory(
                this, tr("Recordings Folder"),
                QString::fromStdString(player::recordingsFolder(false).string()));
            if (!folder.isEmpty())
                player::chooseRecordingsFolder(folder.toStdString());
        });
}

}  // namespace qova::ui
