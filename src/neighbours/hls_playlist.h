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
/// line, and nothing in it is trusted to be well formed. What reading it costs stays near its
/// size: a line (and so an address or attribute) longer than kMaxPlaylistLineBytes or more than
/// kMaxPlaylistEntries entries refuse it, and a key or section named once is kept once.
inline constexpr std::size_t kMaxPlaylistBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxPlaylistLineBytes = 8 * 1024;
inline constexpr std::size_t kMaxPlaylistEntries = 10000;
/// A playlist handed over grows by the addresses put in (see rewrittenPlaylist): no bigger.
inline constexpr std::size_t kMaxRewrittenBytes = 4 * kMaxPlaylistBytes;

inline constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

struct HlsSegment {
    /// As written in the playlist.
    std::string uri;
    /// What the engine needs before it reads the segment, as an index into
    /// HlsPlaylist::sections: the key it is encrypted with (EXT-X-KEY) and its initialisation
    /// section (EXT-X-MAP, unless a part of a file); kNoSection when none.
    std::size_t key = kNoSection;
    std::size_t map = kNoSection;
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
    /// The URIs of the keys and sections the segments name, as written, each once.
    std::vector<std::string> sections;
    bool endList = false;
    /// Segments that are parts of a file (EXT-X-BYTERANGE): nothing of them is kept.
    bool byteRanges = false;
    /// EXT-X-TARGETDURATION in seconds, 0 when not given.
    double targetDuration = 0;

    bool master() const { return !variants.empty(); }
    /// A key or section of a segment as written; empty for kNoSection.
    std::string_view section(std::size_t index) const {
        return index < sections.size() ? std::string_view(sections[index]) : std::string_view();
    }
};

/// Whether text that begins a playlist's answer (the first bytes, however few came) can still be
/// an HLS playlist: it begins with #EXTM3U after a byte order mark, or with a beginning of them.
bool looksLikeHlsPlaylist(std::string_view start);

/// Nothing for text that is no HLS playlist: not beginning with #EXTM3U (after a byte order
/// mark), beyond the bounds above, or naming neither a variant (#EXT-X-STREAM-INF) nor a
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
/// one that resolves to nothing is left as written. Lines end in LF. Nothing when it would grow
/// beyond kMaxRewrittenBytes.
std::optional<std::string> rewrittenPlaylist(
    std::string_view text, const std::string& base,
    const std::function<std::string(const std::string& address, HlsReference kind)>& local);

}  // namespace qova::neighbours
