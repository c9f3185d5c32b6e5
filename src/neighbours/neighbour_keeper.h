#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "playback/neighbours.h"

namespace qova::neighbours {

class WarmStream;
class WarmHls;

/// Keeps the neighbouring channels ready while a channel plays (see playback::neighboursOf for
/// which): each a WarmStream, at most three, let go when the conditions say so and after
/// kNeighbourIdleLimit without a channel change. A channel asked for that is ready is handed
/// over: the engine opens its loopback address and has its sound at once. A picture channel
/// over HLS is a WarmHls instead: its playlist and first segment kept warm, or with videoToo
/// everything the engine reads first. Off, it makes no connection at all.
class NeighbourKeeper : public QObject {
    Q_OBJECT
  public:
    explicit NeighbourKeeper(std::string userAgent, QObject* parent = nullptr);
    ~NeighbourKeeper() override;

    /// The Playback menu's choice, the window's state and the computer's; a change applies at once.
    void setConditions(const playback::NeighbourConditions& conditions);
    const playback::NeighbourConditions& conditions() const { return conditions_; }
    /// A channel was changed to: these are the ones to keep ready now, and the idle time starts
    /// again.
    void channelChanged(const std::vector<playback::NeighbourChannel>& wanted);
    /// The address for the engine to open for a channel's line (its address with the headers
    /// it carries): a ready channel's loopback address, handed over; otherwise the line itself.
    /// Off as on, the picture channel handed over before is let go: the engine is done with it.
    std::string route(const std::string& address);

    /// How many channels are being kept ready or connecting now.
    int prepared() const { return static_cast<int>(prepared_.size()); }
    bool ready(const std::string& address) const;
    /// How many ready channels were handed to the engine so far.
    int handedOver() const { return handedOver_; }
    void setIdleLimit(std::chrono::milliseconds limit) { idle_.setInterval(limit); }
    /// Whether https stations are kept ready: not when the engine meets them itself (its own
    /// tls- options), since a ready channel would then take a certificate the engine would not.
    void setHttpsKept(bool kept) { httpsKept_ = kept; }

    /// The picture channel last handed over, which serves the engine until the next
    /// address is routed; nothing when there is none.
    const WarmHls* handedOverPictures() const;

  signals:
    /// A channel became ready.
    void becameReady(const std::string& address);

  private:
    /// A channel being kept ready: a WarmStream for sound, a WarmHls for pictures.
    struct Prepared {
        QObject* warm = nullptr;
        bool wholeWindow = false;
        std::function<bool()> ready;
        std::function<std::string()> handOver;
    };

    void apply();
    template <typename Warm>
    void prepare(const std::string& address, Warm* warm, bool wholeWindow);

    std::string userAgent_;
    playback::NeighbourConditions conditions_;
    std::vector<playback::NeighbourChannel> wanted_;
    std::map<std::string, Prepared> prepared_;
    QPointer<QObject> pictures_;
    QTimer idle_;
    int handedOver_ = 0;
    bool httpsKept_ = true;
};

}  // namespace qova::neighbours
