#include "playback/reconnect_plan.h"

#include <algorithm>
#include <utility>

namespace qova::playback {

ReconnectPlan::ReconnectPlan(std::vector<int> waitsMs) : waits_(std::move(waitsMs)) {}

ReconnectPlan::Next ReconnectPlan::broke() {
    if (tries_ >= static_cast<int>(waits_.size())) {
        tries_ = 0;
        return {true, 0, 0};
    }
    const int wait = waits_[static_cast<std::size_t>(tries_)];
    ++tries_;
    return {false, wait, tries_};
}

std::string ReconnectPlan::reconnectingText(int attempt, int of) {
    return "Reconnecting... (" + std::to_string(attempt) + " of " + std::to_string(of) + ")";
}

std::string ReconnectPlan::bufferingText(int percent) {
    if (percent < 0)
        return "Buffering...";
    return "Buffering... " + std::to_string(std::clamp(percent, 0, 100)) + "%";
}

}  // namespace qova::playback
