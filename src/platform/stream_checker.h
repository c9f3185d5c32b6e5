#pragma once

#include <functional>
#include <string>

namespace qova::platform {

/// Checks whether a channel's stream answers, the way the player would open it but playing
/// nothing: for HTTP the answer and its first bytes, for HLS the playlist and one segment, for
/// RTSP a DESCRIBE; a local file that it is there. What the player would refuse fails unopened,
/// with the player's reason. Each check gives up after a few seconds.
class StreamChecker {
  public:
    enum class Verdict {
        Answers,
        Fails,
        /// The kind of address cannot be checked without playing it.
        Unknown,
    };
    struct Result {
        Verdict verdict = Verdict::Unknown;
        /// Why it fails, in words for the user; "" otherwise.
        std::string reason;
        /// When it was checked, as the user reads it: "2026-12-06 19:05" local time.
        std::string when;
    };

    virtual ~StreamChecker() = default;
    /// Starts a check beside those under way. localFileAllowed: the channel may name a file
    /// here, as the player is told for its start (MediaPlayer::allowLocalFile). done is called
    /// later, never from within check, on the thread that called it.
    virtual void check(const std::string& address, bool localFileAllowed,
                       std::function<void(Result)> done) = 0;
    /// Gives up every check under way: their done are never called.
    virtual void cancelAll() = 0;
};

}  // namespace qova::platform
