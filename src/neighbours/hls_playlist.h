#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qova::neighbours {

/// What a picture channel kept warm reads of an HLS playlist, and the playlist as the engine is
/// given it on hand-over, apart from the sockets that bring it, so that it can be tried on any
/// bytes at all. A playlist comes from outside: it is read only up to kMaxPlaylistBytes, line by
/// line, and nothing in it is trusted to be well formed.
inline constexpr std::size_t kMaxPlaylistBytes = std::size_t{1} << 20;

struct HlsSegment {
    /// As written in the playlist.
    std::string uri;
    /// What the engine needs before it reads the segment, as written: the key it is encrypted
    /// with (EXT-X-KEY) and its initialisation section (EXT-X-MAP, unless a part of a file);
    /// empty when none.
    std::string key;
    std::string map;
};

struct HlsVariant {
    std::string uri;
    /// BANDWIDTH, 0 when it says none or nothing readable.
    long long bandwidth = 0;
};

/// A master playlist (variants) or a media playlist (segments).
struct HlsPlaylist {
    std::vector<HlsVariant> variants;
    std::vector<HlsSegment> segments;
    bool endList = false;
    /// Segments that are parts of a file (EXT-X-BYTERANGE): nothing of them is kept.
    bool byteRanges = false;
    /// EXT-X-TARGETDURATION in seconds, 0 when not given.
    double targetDuration = 0;

    bool master() const { return !variants.empty(); }
};

/// Nothing for text that is no HLS playlist: not beginning with #EXTM3U (after a byte order
/// mark), longer than kMaxPlaylistBytes, or naming neither a variant (#EXT-X-STREAM-INF) nor a
/// segment (#EXTINF).
std::optional<HlsPlaylist> readHlsPlaylist(std::string_view text);

/// The variant the engine plays of a master playlist: the one of the highest BANDWIDTH, the
/// first of them on a tie, as libmpv chooses by default.
std::size_t chosenVariant(const HlsPlaylist& playlist);

/// The segment the engine starts at: the first of a playlist that has ended, three from the end
/// of a live one (the first when it lists fewer).
std::size_t startSegment(const HlsPlaylist& playlist);

/// Past the last of the segments the engine reads in its first seconds: from startSegment to
/// the live edge, or a finished playlist's first three.
std::size_t windowEnd(const HlsPlaylist& playlist);

/// The absolute http:// address of a playlist's reference (`reference` as written, `base` the
/// playlist's own address); empty when it resolves to anything else.
std::string httpAddress(const std::string& base, std::string_view reference);

/// What a reference names: another playlist (a variant, a rendition) or a part of the media
/// (a segment, a key, an initialisation section).
enum class HlsReference { Playlist, Media };

/// The playlist with every reference that resolves to an http:// address (segment and variant
/// lines, and URI="..." attributes) replaced by `local(address, kind)`; a reference that
/// resolves to another scheme is made absolute, so that the engine still finds it elsewhere;
/// one that resolves to nothing is left as written. Lines end in LF.
std::string rewrittenPlaylist(
    std::string_view text, const std::string& base,
    const std::function<std::string(const std::string& address, HlsReference kind)>& local);

}  // namespace qova::neighbours
