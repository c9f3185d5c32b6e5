// The Playback menu's choice of keeping neighbouring channels ready, and what lets them go: the
// window minimised, the computer on battery or on a metered connection.
#include <QAction>
#include <QEvent>
#include <QMenu>

#include "app/main_form.h"
#include "desktop/power_and_network.h"
#include "neighbours/neighbour_keeper.h"
#include "platform/settings.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "ui/frm_main.h"

namespace qova::ui {
namespace {

constexpr const char* kNeighboursKey = "prepareNeighbours";
constexpr const char* kVideoNeighboursKey = "prepareVideoNeighbours";

/// Tells the keeper when the window is minimised and when it comes back.
class WindowStateWatch : public QObject {
  public:
    WindowStateWatch(QWidget& window, std::function<void(bool)> minimised)
        : QObject(&window), window_(window), minimised_(std::move(minimised)) {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::WindowStateChange)
            minimised_(window_.isMinimized());
        return false;
    }

  private:
    QWidget& window_;
    std::function<void(bool)> minimised_;
};

}  // namespace

void FrmMain::buildNeighbours(bool freshSettings) {
    player::MpvPlayer& player = wbMain_->player();
    neighbours_ = std::make_unique<neighbours::NeighbourKeeper>(player.defaultUserAgent());
    neighbours_->setHttpsKept(!player.meetsHttpsItself());
    const auto update = [this] {
        playback::NeighbourConditions conditions = neighbours_->conditions();
        conditions.minimised = isMinimized();
        if (power_) {
            conditions.onBattery = power_->onBattery();
            conditions.metered = power_->metered();
        }
        neighbours_->setConditions(conditions);
    };
    const auto enable = [this, update](bool on) {
        playback::NeighbourConditions conditions = neighbours_->conditions();
        conditions.enabled = on;
        neighbours_->setConditions(conditions);
        if (!on)
            return;
        if (!power_) {
            power_ = std::make_unique<desktop::PowerAndNetwork>(options_.powerOnSessionBus
                                                                    ? QDBusConnection::sessionBus()
                                                                    : QDBusConnection::systemBus());
            connect(power_.get(), &desktop::PowerAndNetwork::changed, this, update);
        }
        update();
    };
    // Off, the keeper gives every address back as it is, and only lets go of a picture channel
    // handed over before, which the engine read until then.
    player.routeAddress = [this](const std::string& address) {
        return neighbours_->route(address);
    };
    new WindowStateWatch(*this, [update](bool) { update(); });

    // A channel that plays: its neighbours, and the one played before it, are made ready.
    auto started = std::move(logic_->onChannelStarted);
    logic_->onChannelStarted = [this, started = std::move(started)] {
        if (started)
            started();
        const std::string& record = logic_->state().strCurrentRecord;
        if (record != playingRecord_)
            playedBefore_ = std::exchange(playingRecord_, record);
    };
    auto plays = std::move(logic_->onChannelPlays);
    logic_->onChannelPlays = [this, plays = std::move(plays)] {
        if (plays)
            plays();
        neighbours_->channelChanged(
            playback::neighboursOf(logic_->channels(), logic_->channels().intPlayingNode(),
                                   playedBefore_, neighbours_->conditions()));
    };

    if (freshSettings)
        settings_->setIntValueWithNextWrite(kNeighboursKey, 1);
    QAction* action = addPlaybackChoice(
        QStringLiteral("Prepare Neighbouring C&hannels"), "mnuPrepareNeighbours",
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
        tr("The next, the previous and the last channel kept ready: they sound at once"),
        kNeighboursKey, enable);
    buildVideoNeighbours(*action);
}

void FrmMain::buildVideoNeighbours(QAction& neighbours) {
    const auto videoToo = [this](bool on) {
        playback::NeighbourConditions conditions = neighbours_->conditions();
        conditions.videoToo = on;
        neighbours_->setConditions(conditions);
    };
    QAction* action = addPlaybackChoice(
        QStringLiteral("Prepare &Video Channels Too"), "mnuPrepareVideoNeighbours",
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V),
        tr("Channels with pictures kept ready whole, not only their first segment"),
        kVideoNeighboursKey, videoToo);
    action->setEnabled(neighbours.isChecked());
    connect(&neighbours, &QAction::toggled, action, &QAction::setEnabled);
}

}  // namespace qova::ui
