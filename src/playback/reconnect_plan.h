#pragma once

#include <string>
#include <vector>

namespace qova::playback {

/// When a stream that played breaks (the connection lost, the server restarted, a live stream
/// that ends, no data for too long), the player tries it again by itself, waiting longer before
/// each try, and then gives up. A stream that plays again, another channel and the stop button
/// each start the count afresh.
class ReconnectPlan {
  public:
    /// The waits before the tries, in milliseconds.
    static std::vector<int> defaultWaits() { return {500, 1000, 2000, 4000, 8000}; }
    /// How long the engine may wait for data before the stream counts as broken.
    static constexpr int kStallLimitMs = 10000;
    /// How long it waits for data before the player area says it is buffering; shorter waits
    /// pass unseen.
    static constexpr int kBufferingShownAfterMs = 1000;
    /// How long a stream that came back must play before a later break counts from the first
    /// try again.
    static constexpr int kSteadyAfterMs = 10000;

    struct Next {
        /// No try is left: the stream cannot be played.
        bool giveUp = false;
        int waitMs = 0;
        /// Which try this is, from 1.
        int attempt = 0;
    };

    explicit ReconnectPlan(std::vector<int> waitsMs = defaultWaits());

    /// The stream broke, or a try failed: what comes next.
    Next broke();
    void reset() { tries_ = 0; }
    bool trying() const { return tries_ > 0; }
    int tries() const { return static_cast<int>(waits_.size()); }

    /// What the player area says while a try is under way or waited for.
    static std::string reconnectingText(int attempt, int of);
    /// What it says while the engine waits for data; percent of the buffer it wants, or -1.
    static std::string bufferingText(int percent);
    /// What it says when a stream its station ended while it was paused is tried again, once
    /// what was held of it has played.
    static std::string notHeldText() {
        return "The station did not wait while paused: playing live again.";
    }

  private:
    std::vector<int> waits_;
    int tries_ = 0;
};

}  // namespace qova::playback
