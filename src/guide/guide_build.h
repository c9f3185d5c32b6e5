#pragma once

#include <map>
#include <string>
#include <vector>

#include "guide/channel_matching.h"
#include "guide/guide_time.h"

namespace qova::guide {

/// Programmes are kept from a day back to eight days ahead.
inline constexpr UnixTime kKeptBeforeSeconds = 86400;
inline constexpr UnixTime kKeptAheadSeconds = 8 * 86400;

/// What a store is built from: the guides' files in the order their sources were given, the
/// channels of the lists, and which of them each list holds.
struct BuildRequest {
    std::vector<std::string> guideFiles;
    std::vector<ChannelHint> channels;
    struct List {
        std::string address;
        std::vector<std::uint32_t> channels;
    };
    std::vector<List> lists;
    /// Guide channel ids chosen by hand, by channel name.
    std::map<std::string, std::string> chosen;
    UnixTime now = 0;
    std::string storePath;
};

struct BuildResult {
    /// Whether a new store is in place; a guide that is not whole leaves the old one as it was.
    bool written = false;
    /// Why not, in words for the lists window.
    std::string error;
    std::size_t channelsMatched = 0;
    std::size_t programmes = 0;
};

/// Reads each guide in turn and writes the store: a channel takes its programmes from the first
/// guide that matches it, moved by its tvg-shift. Runs for seconds on a large guide: never on the
/// Qt thread.
BuildResult BuildGuideStore(const BuildRequest& request);

}  // namespace qova::guide
