#pragma once

namespace qova::state {

/// The program's name as its main window and its about window show it.
inline constexpr const char* kProductName = "QOVA - TV and Radio Player";

/// What the program tells its user in message boxes, where more than one window or subsystem
/// says it, or where tests and windows need the same words.
inline constexpr const char* kMessageChannelsMissing = "Required Channels file does not excist.";
inline constexpr const char* kMessageNoConnection = "Internet connection is not available.";
inline constexpr const char* kMessagePageMissing = "Page does not exist.";
inline constexpr const char* kMessageRealPlayerRequired =
    "This software required Real Media Player.";
inline constexpr const char* kMessageInstallRealPlayer = "Please install Real Media Player.";
inline constexpr const char* kMessageSelectChannel = "Please select the channel to play.";

}  // namespace qova::state
