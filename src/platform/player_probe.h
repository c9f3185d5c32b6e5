#pragma once

#include <string>

namespace qova::platform {

/// The outcome of creating a player's automation object only to learn whether it is there.
enum class ProbeResult { Object, NoObject, Failure };

/// Creates objects by ProgID for the player-presence tests.
class PlayerProbe {
  public:
    virtual ~PlayerProbe() = default;
    virtual ProbeResult probePlayerControl(const std::string& progId) = 0;
};

}  // namespace qova::platform
