#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qova::player {

/// The address of the first media player a page embeds: the first <object>'s data attribute,
/// else the src (or url, or filename) parameter of that object, else the first <embed>'s src.
/// Character references are decoded, so the address comes back exactly as it was before it was
/// written into the markup. Nothing when the page embeds no player or gives it no address. Tag
/// and attribute names ignore ASCII case; values may be double-quoted, single-quoted or bare.
std::optional<std::string> embeddedPlayerAddress(std::string_view markup);

/// What a reader sees of a page: its title and the text of its body, without markup, runs of
/// white space collapsed, every line given as CR LF. What an embedded player shows in place of
/// its fallback content is no text.
struct PageText {
    std::string title;
    std::string body;
};
PageText pageText(std::string_view markup);

/// Replaces character references (&amp; &quot; &#39; &#x26; ...) with the characters they
/// stand for, written as UTF-8. Unknown names and stray ampersands stay as they are.
std::string decodeCharacterReferences(std::string_view text);

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
