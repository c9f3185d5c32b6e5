#pragma once

#include <string>

namespace qova::platform {

/// The outcome of creating a player's automation object only to learn whether it is there.
enum class ProbeResult { Object, NoObject, Failure };

/// The ProgIDs of the RealPlayer control, in the order they are tried.
inline constexpr const char* kRealPlayerProgIds[] = {
    "rmocx.RealPlayer G2 Control",
    "RealPlayer.RealPlayer(tm) ActiveX Control (32-bit)",
    "RealVideo.RealVideo(tm) ActiveX Control (32-bit)",
};
/// The ProgIDs of Winamp, in the order they are tried.
inline constexpr const char* kWinampProgIds[] = {
    "WinampCom.Application",
    "gen_scripting.winamp",
};

/// Creates objects by ProgID for the player-presence tests.
class PlayerProbe {
  public:
    virtual ~PlayerProbe() = default;
    virtual ProbeResult probePlayerControl(const std::string& progId) = 0;
};

}  // namespace qova::platform
