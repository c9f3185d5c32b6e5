#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "guide/channel_matching.h"

namespace qova::guide {

/// What a playlist says for the guide: the guides its header names (x-tvg-url, url-tvg or
/// tvg-url, each perhaps a comma-separated list) and each entry's tvg-id, tvg-name and
/// tvg-shift (the header's where the entry has none), by the channel's name as its directory
/// line gives it.
struct PlaylistHints {
    std::vector<std::string> guides;
    std::vector<ChannelHint> channels;
};

/// Nothing for a page that is no M3U playlist.
PlaylistHints ReadPlaylistHints(std::string_view page);

/// Whether a playlist's page says anything for a guide (a cheap look at its header and
/// attributes, before reading it).
bool MayHoldGuideHints(std::string_view page);

}  // namespace qova::guide
