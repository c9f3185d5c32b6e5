#pragma once

#include <string>
#include <string_view>

namespace qova::player {

/// How the player tunes the engine for a stream's address. (Which addresses it opens is
/// platform/address_policy's; reading the pages that embed a player is platform/markup_reader's.)

/// Whether a tenth of a second of a stream shows the engine all it needs: an HTTP(S) stream of a
/// sound format (.mp3, .aac, .ogg, .opus, ...) or a mount without an extension when the channel
/// is known to carry sound alone, and RTSP, whose tracks its session description lists and
/// whose packets come each on their own. Playlists and other HTTP streams get the engine's full
/// look: a picture interleaved with the sound would start with too little sound in hand.
bool isShortAnalysisStream(std::string_view address, bool soundOnly);

/// Whether closing a stream from this address says goodbye to its server (an RTSP TEARDOWN, an
/// RTMP or MMS close), which the engine must be given the time to send.
bool closesWithGoodbye(std::string_view address);

/// The cookies of a channel's Cookie header ("a=1; b=2") as the engine's cookies option takes
/// them: one a line, each bound to the host and port of the stream's address as written, so
/// that the engine sends them to that host alone and never on to another that a redirect or a
/// playlist leads to. Empty when no cookie is left, or the address names no host.
std::string hostBoundCookies(std::string_view cookieHeader, std::string_view address);

}  // namespace qova::player
