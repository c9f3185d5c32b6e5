#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "state/channel_list.h"

namespace qova::playback {

/// A channel to keep ready beside the one that plays: its address as a channel line gives it
/// (headers included), and whether only its playlist and first segment are kept warm, as they
/// are for a channel with pictures unless video channels are prepared too.
struct NeighbourChannel {
    std::string address;
    bool firstSegmentOnly = false;
    /// Whether the channel has pictures (any but a radio channel).
    bool picture = false;

    friend bool operator==(const NeighbourChannel&, const NeighbourChannel&) = default;
};

/// What decides whether neighbouring channels are kept ready at all.
struct NeighbourConditions {
    /// The Playback menu's choices.
    bool enabled = false;
    bool videoToo = false;
    /// The window, its state and the computer's: each of these lets every prepared channel go.
    bool minimised = false;
    bool onBattery = false;
    bool metered = false;
    /// No channel change for kNeighbourIdleLimit.
    bool idle = false;
};

inline constexpr int kMaxNeighbours = 3;
inline constexpr std::chrono::minutes kNeighbourIdleLimit{3};

/// Whether channels are prepared under these conditions: a ready channel is a listener to its
/// server like any other, so none is kept while the person is away, on battery or on a metered
/// connection.
bool preparesNeighbours(const NeighbourConditions& conditions);

/// The channels a person is most likely to go to next from the node that plays: the next and the
/// previous of the tree (the order the next and previous commands follow), then the channel
/// played before this one (`playedBefore`, a record, wherever it is now), each once, never the
/// one that plays and never a file here, at most kMaxNeighbours. Nothing at all when the
/// conditions prepare nothing.
std::vector<NeighbourChannel> neighboursOf(const state::ChannelList& channels, int playingNode,
                                           const std::string& playedBefore,
                                           const NeighbourConditions& conditions);

}  // namespace qova::playback
