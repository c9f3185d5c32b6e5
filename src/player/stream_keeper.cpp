#include "player/stream_keeper.h"

#include <utility>

namespace qova::player {

StreamKeeper::StreamKeeper(Limits limits, std::function<void()> retry, QObject* parent)
    : QObject(parent), plan_(limits.waitsMs), limits_(std::move(limits)), retry_(std::move(retry)) {
    for (QTimer* timer : {&retryTimer_, &stallTimer_, &bufferingTimer_, &steadyTimer_})
        timer->setSingleShot(true);
    connect(&steadyTimer_, &QTimer::timeout, this, [this] { plan_.reset(); });
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        retryForStall_ = false;
        retry_();
    });
    connect(&stallTimer_, &QTimer::timeout, this, [this] {
        hideBuffering();
        broke(QString::fromStdString("The stream cannot be played: no data came for " +
                                     std::to_string(limits_.stallLimitMs / 1000) + " seconds."));
        retryForStall_ = retryTimer_.isActive();
    });
    connect(&bufferingTimer_, &QTimer::timeout, this, [this] {
        bufferingShown_ = true;
        emit buffering(true, bufferingPercent_);
    });
}

void StreamKeeper::reset() {
    plan_.reset();
    played_ = false;
    retrying_ = false;
    retryForStall_ = false;
    retryTimer_.stop();
    stallTimer_.stop();
    bufferingTimer_.stop();
    steadyTimer_.stop();
    bufferingShown_ = false;
}

void StreamKeeper::played() {
    played_ = true;
    retrying_ = false;
    retryTimer_.stop();
    retryForStall_ = false;
    // The count starts afresh only once the stream has held for a while: one that comes back
    // only to break again at once (or a file taken for a live stream) meets the end of the plan.
    if (plan_.trying())
        steadyTimer_.start(limits_.steadyAfterMs);
}

void StreamKeeper::broke(const QString& message) {
    steadyTimer_.stop();
    stallTimer_.stop();
    bufferingTimer_.stop();
    bufferingShown_ = false;
    const playback::ReconnectPlan::Next next = plan_.broke();
    if (next.giveUp) {
        played_ = false;
        retrying_ = false;
        emit gaveUp(message);
        return;
    }
    retrying_ = true;
    emit reconnecting(next.attempt, plan_.tries());
    retryTimer_.start(next.waitMs);
}

void StreamKeeper::waitingForData(bool waiting, int percent) {
    bufferingPercent_ = percent;
    if (!waiting) {
        stallTimer_.stop();
        hideBuffering();
        if (retryForStall_) {
            // The data came back before the try: the stream goes on as it was.
            retryTimer_.stop();
            retryForStall_ = false;
            retrying_ = false;
            plan_.reset();
            emit recovered();
        }
        return;
    }
    if (!played_ || retryTimer_.isActive())
        return;
    if (!stallTimer_.isActive())
        stallTimer_.start(limits_.stallLimitMs);
    if (bufferingShown_)
        emit buffering(true, percent);
    else if (!bufferingTimer_.isActive())
        bufferingTimer_.start(limits_.bufferingShownAfterMs);
}

void StreamKeeper::hideBuffering() {
    bufferingTimer_.stop();
    if (std::exchange(bufferingShown_, false))
        emit buffering(false, -1);
}

}  // namespace qova::player
