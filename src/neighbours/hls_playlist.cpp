#include "neighbours/hls_playlist.h"

#include <QString>
#include <QUrl>
#include <algorithm>
#include <charconv>

#include "platform/text.h"

namespace qova::neighbours {
namespace {

constexpr std::string_view kHeader = "#EXTM3U";
// The engine starts a live playlist this many segments before its end.
constexpr std::size_t kLiveStartFromEnd = 3;

/// One attribute of a tag's list (NAME=value or NAME="value"), the value as written without
/// its quotes, and where it stands in the line.
struct Attribute {
    std::string_view name;
    std::string_view value;
    std::size_t at = 0;
};

/// Calls `each` for the attributes after the tag's colon; a list that breaks off (a quote
/// never closed) ends there.
template <typename Each>
void forEachAttribute(std::string_view line, Each&& each) {
    std::size_t at = line.find(':');
    if (at == std::string_view::npos)
        return;
    ++at;
    while (at < line.size()) {
        const std::size_t equals = line.find('=', at);
        if (equals == std::string_view::npos)
            return;
        const std::string_view name = platform::trimmed(line.substr(at, equals - at));
        std::size_t start = equals + 1;
        std::size_t end = 0;
        if (start < line.size() && line[start] == '"') {
            ++start;
            end = line.find('"', start);
            if (end == std::string_view::npos)
                return;
            at = line.find(',', end);
        } else {
            end = std::min(line.find(',', start), line.size());
            at = end;
        }
        each(Attribute{name, line.substr(start, end - start), start});
        if (at == std::string_view::npos)
            return;
        ++at;
    }
}

bool isTag(std::string_view line, std::string_view tag) {
    return line.starts_with(tag) &&
           (line.size() == tag.size() || line[tag.size()] == ':' || line[tag.size()] == ' ');
}

/// Calls `each(line)` for every line of the text, without its end and the space around it, for
/// as long as it returns true. False when it was stopped.
template <typename Each>
bool forEachLine(std::string_view text, Each&& each) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (!each(platform::trimmed(text.substr(start, end - start))))
            return false;
        start = end + 1;
    }
    return true;
}

long long number(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && value >= 0 ? value : 0;
}

}  // namespace

bool looksLikeHlsPlaylist(std::string_view start) {
    // Each compared only as far as the text goes, so that the first bytes of either pass.
    const auto begins = [](std::string_view text, std::string_view with) {
        return with.starts_with(text.substr(0, with.size()));
    };
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    return (start.size() < kByteOrderMark.size() && begins(start, kByteOrderMark)) ||
           begins(platform::withoutByteOrderMark(start), kHeader);
}

std::optional<HlsPlaylist> readHlsPlaylist(std::string_view text) {
    text = platform::withoutByteOrderMark(text);
    if (text.size() > kMaxPlaylistBytes || !text.starts_with(kHeader))
        return std::nullopt;
    HlsPlaylist playlist;
    enum class Next { Nothing, Segment, Variant } next = Next::Nothing;
    long long bandwidth = 0;
    std::size_t key = kNoSection;
    std::size_t map = kNoSection;
    const bool read = forEachLine(text, [&](std::string_view line) {
        if (line.size() > kMaxPlaylistLineBytes)
            return false;
        if (line.empty())
            return true;
        if (line.front() != '#') {
            if (next == Next::Segment)
                playlist.segments.push_back({std::string(line), key, map});
            else if (next == Next::Variant)
                playlist.variants.push_back({std::string(line), bandwidth});
            next = Next::Nothing;
            return playlist.segments.size() + playlist.variants.size() <= kMaxPlaylistEntries;
        }
        if (isTag(line, "#EXTINF")) {
            next = Next::Segment;
        } else if (isTag(line, "#EXT-X-STREAM-INF")) {
            next = Next::Variant;
            bandwidth = 0;
            forEachAttribute(line, [&](const Attribute& attribute) {
                if (attribute.name == "BANDWIDTH")
                    bandwidth = number(attribute.value);
            });
        } else if (isTag(line, "#EXT-X-KEY") || isTag(line, "#EXT-X-MAP")) {
            std::string_view uri;
            bool none = false;
            forEachAttribute(line, [&](const Attribute& attribute) {
                if (attribute.name == "URI")
                    uri = attribute.value;
                none = none || (attribute.name == "METHOD" && attribute.value == "NONE") ||
                       attribute.name == "BYTERANGE";
            });
            // Named once, however many segments it stands before.
            std::size_t& section = isTag(line, "#EXT-X-KEY") ? key : map;
            section = kNoSection;
            if (!none && !uri.empty()) {
                section = playlist.sections.size();
                playlist.sections.emplace_back(uri);
            }
        } else if (isTag(line, "#EXT-X-ENDLIST")) {
            playlist.endList = true;
        } else if (isTag(line, "#EXT-X-BYTERANGE")) {
            playlist.byteRanges = true;
        } else if (isTag(line, "#EXT-X-TARGETDURATION")) {
            playlist.targetDuration = static_cast<double>(number(line.substr(line.find(':') + 1)));
        }
        return true;
    });
    if (!read || (playlist.variants.empty() && playlist.segments.empty()))
        return std::nullopt;
    return playlist;
}

std::size_t chosenVariant(const HlsPlaylist& playlist) {
    std::size_t chosen = 0;
    for (std::size_t i = 1; i < playlist.variants.size(); ++i) {
        if (playlist.variants[i].bandwidth > playlist.variants[chosen].bandwidth)
            chosen = i;
    }
    return chosen;
}

std::size_t startSegment(const HlsPlaylist& playlist) {
    const std::size_t count = playlist.segments.size();
    if (playlist.endList || count <= kLiveStartFromEnd)
        return 0;
    return count - kLiveStartFromEnd;
}

std::size_t windowEnd(const HlsPlaylist& playlist) {
    return std::min(playlist.segments.size(), startSegment(playlist) + kLiveStartFromEnd);
}

namespace {

/// The reference resolved against the playlist's address (read once for all its lines, so that
/// a long one costs no more than the lines that grow by it); invalid when it is no address.
QUrl resolved(const QUrl& base, std::string_view reference) {
    const QUrl relative(
        QString::fromUtf8(reference.data(), static_cast<qsizetype>(reference.size())),
        QUrl::StrictMode);
    if (!relative.isValid())
        return {};
    const QUrl absolute = base.resolved(relative);
    if (!absolute.isValid() || absolute.isRelative() || absolute.host().isEmpty())
        return {};
    return absolute;
}

QUrl baseUrl(const std::string& base) {
    return QUrl(QString::fromStdString(base), QUrl::StrictMode);
}

/// What the reference becomes in the playlist handed over.
std::string replacement(
    const QUrl& base, std::string_view reference, HlsReference kind,
    const std::function<std::string(const std::string& address, HlsReference kind)>& local) {
    const QUrl absolute = resolved(base, reference);
    if (!absolute.isValid())
        return std::string(reference);
    const std::string address = absolute.toString(QUrl::FullyEncoded).toStdString();
    if (absolute.scheme() == QLatin1String("http") && absolute.userInfo().isEmpty())
        return local(address, kind);
    return address;
}

}  // namespace

std::string httpAddress(const std::string& base, std::string_view reference) {
    const QUrl absolute = resolved(baseUrl(base), reference);
    if (!absolute.isValid() || absolute.scheme() != QLatin1String("http") ||
        !absolute.userInfo().isEmpty())
        return {};
    return absolute.toString(QUrl::FullyEncoded).toStdString();
}

std::optional<std::string> rewrittenPlaylist(
    std::string_view text, const std::string& base,
    const std::function<std::string(const std::string& address, HlsReference kind)>& local) {
    text = platform::withoutByteOrderMark(text.substr(0, kMaxPlaylistBytes));
    const QUrl baseAddress = baseUrl(base);
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    HlsReference lineKind = HlsReference::Media;
    const bool whole = forEachLine(text, [&](std::string_view line) {
        if (line.empty()) {
            out += '\n';
            return true;
        }
        if (line.front() != '#') {
            out += replacement(baseAddress, line, lineKind, local);
            out += '\n';
            lineKind = HlsReference::Media;
            return out.size() <= kMaxRewrittenBytes;
        }
        if (isTag(line, "#EXT-X-STREAM-INF"))
            lineKind = HlsReference::Playlist;
        const bool playlists = isTag(line, "#EXT-X-MEDIA") ||
                               isTag(line, "#EXT-X-I-FRAME-STREAM-INF") ||
                               isTag(line, "#EXT-X-RENDITION-REPORT");
        const HlsReference kind = playlists ? HlsReference::Playlist : HlsReference::Media;
        std::size_t copied = 0;
        forEachAttribute(line, [&](const Attribute& attribute) {
            if (attribute.name != "URI" || attribute.at == 0 || line[attribute.at - 1] != '"')
                return;
            out += line.substr(copied, attribute.at - copied);
            // A quote inside would end the attribute early: such an address stays as written.
            std::string address = replacement(baseAddress, attribute.value, kind, local);
            if (address.find('"') != std::string::npos)
                address = std::string(attribute.value);
            out += address;
            copied = attribute.at + attribute.value.size();
        });
        out += line.substr(copied);
        out += '\n';
        return out.size() <= kMaxRewrittenBytes;
    });
    if (!whole)
        return std::nullopt;
    return out;
}

}  // namespace qova::neighbours
