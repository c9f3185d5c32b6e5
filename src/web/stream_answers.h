#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qova::web {

/// What the channel check reads of a server's answer, apart from the sockets that bring it, so
/// that it can be tried on any bytes at all.

/// The first line of an RTSP answer, once it has come whole.
struct RtspStatus {
    /// Whether the line is an RTSP status line ("RTSP/1.0 200 OK").
    bool understood = false;
    /// The status code as the server wrote it; empty when not understood.
    std::string code;
};
/// The status of an RTSP answer that began with these bytes; nothing while its first line has
/// not come whole. At most kMaxRtspStatusLine bytes are looked at: a longer first line is no
/// status line.
std::optional<RtspStatus> rtspStatus(std::string_view answer);
inline constexpr std::size_t kMaxRtspStatusLine = 4096;

/// Whether an HTTP answer is an HLS playlist: by its path (.m3u8), its Content-Type (an mpegurl
/// kind) or its first bytes (#EXTM3U).
bool isPlaylistAnswer(std::string_view path, std::string_view contentType, std::string_view start);

/// The first address an HLS playlist names, as written: a variant's playlist when it lists
/// variants, else a segment.
struct PlaylistEntry {
    std::string_view address;
    /// Whether the playlist lists variants, so that the address is another playlist.
    bool variant = false;
};
/// Nothing when the playlist names no address.
std::optional<PlaylistEntry> firstPlaylistEntry(std::string_view playlist);

}  // namespace qova::web
