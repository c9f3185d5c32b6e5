#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct mpv_handle;

namespace qova::player {

/// Prepares the process for the engine; called once by main() right after the Qt application is
/// made, before any engine starts (the benchmarks call it alike, to measure what users run).
///  - Numbers: libmpv parses them with the C library for as long as it runs and refuses to start
///    under another LC_NUMERIC, and Qt has just set the locale from the environment. The program
///    formats its own numbers through Qt, which ignores it.
///  - Memory: the C library gives threads that allocate at once arenas of their own, up to eight
///    a core, and keeps what was freed in each. The engine starts threads for every stream, so
///    an evening of channel changes left more than 100 MB resident that nothing used; two arenas
///    keep the program near what it uses.
void prepareProcess();

/// Gives the system back the memory the C library keeps freed, also between blocks still in use.
/// A stream's end frees tens of megabytes its threads held; without this they stay resident as
/// a high-water mark that grows with every channel that once needed more. Takes milliseconds
/// with the allocator locked: call it off the Qt thread, when little is allocated.
void returnFreedMemory();

/// What the engine tells a stream that names no agent of its own: libmpv's own default, set
/// explicitly so that it is known before the engine runs (the channel checks send it too, and a
/// server answers them as it answers the player).
inline constexpr const char* kEngineUserAgent = "libmpv";

/// How the program's media engine is set up.
struct MpvPlayerOptions {
    /// Whether video goes to a render context (MpvVideoWidget); otherwise it is decoded unseen.
    bool renderVideo = true;
    /// libmpv's audio output; empty for its default. "null" plays silently, in real time.
    std::string audioOutput;
    /// The waits before each try to reconnect a stream that broke, and how long the engine may
    /// wait for data; tests shorten them. Empty and 0 for the player's own.
    std::vector<int> reconnectWaitsMs{};
    int stallLimitMs = 0;
    /// How long the engine waits for data of a stream that played before the user is told; 0
    /// for the player's own.
    int bufferingShownAfterMs = 0;
    /// Whether http:// and https:// streams go through a relay of the program's own (see
    /// stream::StreamRelay), which records them and keeps their recent audio.
    bool relayStreams = true;
    /// Options given to the engine after the player's own, by name and value: tests and
    /// benchmarks send the sound to a file this way, to measure what a listener would hear.
    std::vector<std::pair<std::string, std::string>> moreEngineOptions{};
};

/// An option given to libmpv before it starts.
struct MpvEngineOption {
    std::string name;
    std::string value;
    // Options of the scripting layer exist only when libmpv was built with it.
    bool mayBeMissing = false;
};

/// The options the player starts libmpv with; the benchmarks start a bare engine alike.
std::vector<MpvEngineOption> mpvEngineOptions(const MpvPlayerOptions& options);

/// Gives a handle not yet initialised its options, in order. False at the first that libmpv
/// refuses (unless it may be missing); `error` then names it and says why.
bool applyEngineOptions(mpv_handle* handle, const std::vector<MpvEngineOption>& options,
                        std::string* error);

/// What the media engine can open: the protocols it can read streams over and the container
/// formats it can take apart, as libmpv names them.
struct MediaCapabilities {
    std::vector<std::string> protocols;
    std::vector<std::string> demuxers;

    bool hasProtocol(std::string_view name) const;
    /// Demuxer entries may name several formats at once ("mov,mp4,m4a"); each name counts.
    bool hasDemuxer(std::string_view name) const;
};

/// Reads what a running engine can open. Empty when a list cannot be read; `error` says why.
std::optional<MediaCapabilities> readCapabilities(mpv_handle* handle, std::string* error);

/// Reads what the engine can open from an instance started for that alone (loading libmpv if it
/// is not, which the caller may unload again: unloadEngineLibraryIfUnused). Empty when it cannot
/// tell; `error` says why.
std::optional<MediaCapabilities> readEngineCapabilities(std::string* error);

/// failureReason and endFileMessage of failure_reason.h, with libmpv's words for its codes.
std::string failureReason(int error, const std::vector<std::string>& log);
std::string endFileMessage(int reason, int error, const std::vector<std::string>& log = {});

}  // namespace qova::player
