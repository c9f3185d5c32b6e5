#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "playback/reconnect_plan.h"

namespace qova::player {

/// Keeps a stream that played going for the player: when it breaks it is tried again after
/// the plan's waits, and given up after the last; while the engine waits for data the user is
/// told so, and a wait past the stall limit counts as a break.
class StreamKeeper : public QObject {
    Q_OBJECT
  public:
    struct Limits {
        std::vector<int> waitsMs = playback::ReconnectPlan::defaultWaits();
        int stallLimitMs = playback::ReconnectPlan::kStallLimitMs;
        int bufferingShownAfterMs = playback::ReconnectPlan::kBufferingShownAfterMs;
        int steadyAfterMs = playback::ReconnectPlan::kSteadyAfterMs;
    };

    /// retry loads the stream again, in place of whatever the engine holds.
    StreamKeeper(Limits limits, std::function<void()> retry, QObject* parent = nullptr);

    /// Another stream was asked for, or the user stopped: nothing of this one goes on.
    void reset();
    /// The stream plays: it played once, and any try has come through.
    void played();
    /// Whether the stream played since it was asked for, or is being tried again.
    bool keeping() const { return played_ || retrying_; }
    /// Whether a try is waited for or under way.
    bool trying() const { return retrying_; }

    /// The stream broke; message is what the user reads if no try is left. Calls gaveUp then.
    void broke(const QString& message);
    /// The engine waits for data (percent of what it wants before it goes on, or -1), or stops
    /// waiting.
    void waitingForData(bool waiting, int percent);

  signals:
    void reconnecting(int attempt, int of);
    /// The player area should say the engine waits for data; percent as waitingForData's.
    void buffering(bool shown, int percent);
    void gaveUp(const QString& message);
    /// Data came back before the try a stall asked for: the stream goes on, nothing to say.
    void recovered();

  private:
    void hideBuffering();

    playback::ReconnectPlan plan_;
    Limits limits_;
    std::function<void()> retry_;
    QTimer retryTimer_;
    QTimer stallTimer_;
    QTimer bufferingTimer_;
    QTimer steadyTimer_;
    bool played_ = false;
    bool retrying_ = false;
    bool bufferingShown_ = false;
    int bufferingPercent_ = -1;
    // The try waited for was asked for by a stall, which data coming again makes needless.
    bool retryForStall_ = false;
};

}  // namespace qova::player
