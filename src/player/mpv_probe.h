#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/player_probe.h"
#include "player/mpv_engine.h"

namespace qova::player {

/// Whether the player behind a ProgID would be there, judged by what the engine can play: Object
/// when the engine covers that player's streams, Failure otherwise and for unknown ProgIDs.
/// ProgIDs compare without regard to ASCII case.
platform::ProbeResult probeResultFor(std::string_view progId,
                                     const MediaCapabilities& capabilities);

/// Answers the player-presence questions from what the media engine can play. The engine is
/// asked once, at the first probe, and its answer is kept for the life of the object; when it
/// cannot tell, every probe fails.
class MpvProbe : public platform::PlayerProbe {
  public:
    using CapabilityReader = std::function<std::optional<MediaCapabilities>()>;

    explicit MpvProbe(CapabilityReader reader);

    platform::ProbeResult probePlayerControl(const std::string& progId) override;

  private:
    CapabilityReader reader_;
    bool asked_ = false;
    std::optional<MediaCapabilities> capabilities_;
};

/// A probe whose engine is asked at once, on a thread of its own, while the program goes on
/// starting (loading libmpv takes tens of milliseconds); the first probe waits for the answer.
std::unique_ptr<MpvProbe> probeAskingInBackground();

}  // namespace qova::player
