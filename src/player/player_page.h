#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qova::player {

/// The rules the player keeps for stream addresses: which it opens, and how it tunes the engine
/// for each. (Reading the pages that embed a player is platform/markup_reader's.)

/// Whether an address names a local file (a plain path or a file: URL) rather than a stream.
bool isLocalMediaAddress(std::string_view address);

/// Whether a tenth of a second of a stream shows the engine all it needs: an HTTP(S) stream of a
/// sound format (.mp3, .aac, .ogg, .opus, ...) or a mount without an extension when the channel
/// is known to carry sound alone, and RTSP, whose tracks its session description lists and
/// whose packets come each on their own. Playlists and other HTTP streams get the engine's full
/// look: a picture interleaved with the sound would start with too little sound in hand.
bool isShortAnalysisStream(std::string_view address, bool soundOnly);

/// Whether closing a stream from this address says goodbye to its server (an RTSP TEARDOWN, an
/// RTMP or MMS close), which the engine must be given the time to send.
bool closesWithGoodbye(std::string_view address);

/// Why the player must not open an address, in a few words for the user; nothing when it may.
/// Streams are read over http, https, rtsp, rtsps, rtmp, rtmps, mms, mmsh and mmst only: the
/// engine also knows addresses that switch on a camera, build media from a recipe or read any
/// file, which a channel directory from elsewhere must not reach. Local files and relative paths
/// play only where allowed (a channel directory that is itself a local file, as the demo is).
std::optional<std::string> refusedStreamAddress(std::string_view address, bool localFilesAllowed);

}  // namespace qova::player
