// The Playback menu's choices of the program's own (equal loudness, and the neighbouring channels
// kept ready), kept in the settings beside the program.
#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "platform/posix_text_files.h"
#include "platform/settings.h"
#include "player/mpv_loudness.h"
#include "player/player_view.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

constexpr const char* kEqualLoudnessKey = "equalLoudness";

}  // namespace

void FrmMain::buildEqualLoudness(const std::string& settingsFile) {
    loudness_ = std::make_unique<player::MpvLoudness>(wbMain_->player(), *files_);
    // On for a person new to the program; one who has settings from before it came keeps the
    // sound as it was until they choose. A settings file that comes to exist keeps the choice
    // made for it, so that the next run does not take it for an old one.
    const bool fresh = !QFileInfo::exists(QString::fromStdString(settingsFile));
    if (fresh)
        settings_->setIntValueWithNextWrite(kEqualLoudnessKey, 1);
    const bool on = settings_->intValue(kEqualLoudnessKey, 0) != 0;
    loudness_->setEnabled(on);

    mnuPlayback_->addSeparator();
    QAction* action = mnuPlayback_->addAction(QStringLiteral("&Equal Loudness"));
    action->setObjectName(QStringLiteral("mnuEqualLoudness"));
    action->setCheckable(true);
    action->setChecked(on);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
    action->setToolTip(tr("Every channel about as loud as the others, from its next start"));
    wbMain_->addAction(action);
    connect(action, &QAction::toggled, this, [this](bool checked) {
        loudness_->setEnabled(checked);
        settings_->setIntValue(kEqualLoudnessKey, checked ? 1 : 0);
    });
    buildNeighbours(fresh);
}

}  // namespace qova::ui
