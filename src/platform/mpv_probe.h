#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/player_probe.h"

namespace qova::platform {

/// What the media engine says it can open: the protocols it can read streams over and the
/// container formats it can take apart, as libmpv names them.
struct MediaCapabilities {
    std::vector<std::string> protocols;
    std::vector<std::string> demuxers;

    bool hasProtocol(std::string_view name) const;
    /// Demuxer entries may name several formats at once ("mov,mp4,m4a"); each name counts.
    bool hasDemuxer(std::string_view name) const;
};

/// An engine option given to libmpv before it starts.
struct MpvOption {
    std::string name;
    std::string value;
};

/// Starts a short-lived, silent libmpv instance and reads what it can play. Empty when the engine
/// cannot be created, configured or started; `error` (when given) then says why.
std::optional<MediaCapabilities> readMpvCapabilities(
    const std::vector<MpvOption>& extraOptions = {}, std::string* error = nullptr);

/// Whether the player behind a ProgID would be there, judged by what the engine can play: Object
/// when the engine covers that player's streams, Failure otherwise and for unknown ProgIDs.
/// ProgIDs compare without regard to ASCII case.
ProbeResult probeResultFor(std::string_view progId, const MediaCapabilities& capabilities);

/// Answers the player-presence questions from the capabilities of libmpv. The engine is asked
/// once, at the first probe, and its answer is kept for the life of the object; when it cannot be
/// started every probe fails.
class MpvProbe : public PlayerProbe {
  public:
    using CapabilityReader = std::function<std::optional<MediaCapabilities>()>;

    /// Asks the real engine, reporting through qWarning when it cannot be started.
    MpvProbe();
    explicit MpvProbe(CapabilityReader reader);

    ProbeResult probePlayerControl(const std::string& progId) override;

  private:
    CapabilityReader reader_;
    bool asked_ = false;
    std::optional<MediaCapabilities> capabilities_;
};

}  // namespace qova::platform
