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
    mnuPlayback_->addSeparator();
    addPlaybackChoice(QStringLiteral("&Equal Loudness"), "mnuEqualLoudness",
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U),
                      tr("Every channel about as loud as the others, from its next start"),
                      kEqualLoudnessKey, [this](bool on) { loudness_->setEnabled(on); });
    buildNeighbours(fresh);
}

}  // namespace qova::ui
