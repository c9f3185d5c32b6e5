#pragma once

#include <string>
#include <vector>

namespace qova::player {

// What the media engine logged when a stream failed, read into words for the user. Plain C++
// over libmpv's codes: it needs libmpv's headers, never its library (the fuzz target links it
// alone).

/// libmpv's own words for one of its error codes, as mpv_error_string gives them.
using EngineErrorWords = const char* (*)(int error);

/// Why a stream cannot be played, in words a user understands: from what the engine logged while
/// it tried (its last warnings and errors, oldest first) where that tells, else from its error
/// code. What a server said of itself is shown as plain words on one line, within a bound.
std::string failureReason(int error, const std::vector<std::string>& log, EngineErrorWords words);

/// What the player area says when playback of a stream stops by itself, from libmpv's end-of-file
/// reason and error code and what it logged. Empty when there is nothing to tell the user
/// (stopped, replaced, quit).
std::string endFileMessage(int reason, int error, const std::vector<std::string>& log,
                           EngineErrorWords words);

}  // namespace qova::player
