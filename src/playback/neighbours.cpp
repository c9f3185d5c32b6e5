#include "playback/neighbours.h"

#include <algorithm>
#include <optional>

#include "directory/channel_record.h"
#include "platform/address_policy.h"
#include "platform/stream_address.h"
#include "platform/text.h"

namespace qova::playback {
namespace {

std::optional<NeighbourChannel> channelOf(const std::string* record, bool videoToo) {
    if (record == nullptr)
        return std::nullopt;
    const auto fields = platform::splitFields(*record);
    if (fields.size() <= directory::kStreamUrl)
        return std::nullopt;
    const std::string address(platform::trimmed(fields[directory::kStreamUrl]));
    if (address.empty() || platform::isLocalAddress(platform::splitHeaders(address).address))
        return std::nullopt;
    const bool radio =
        platform::equalsIgnoringAsciiCase(fields[directory::kCategory], directory::kCategoryRadio);
    return NeighbourChannel{address, !radio && !videoToo, !radio};
}

}  // namespace

bool preparesNeighbours(const NeighbourConditions& conditions) {
    return conditions.enabled && !conditions.minimised && !conditions.onBattery &&
           !conditions.metered && !conditions.idle;
}

std::vector<NeighbourChannel> neighboursOf(const state::ChannelList& channels, int playingNode,
                                           const std::string& playedBefore,
                                           const NeighbourConditions& conditions) {
    std::vector<NeighbourChannel> chosen;
    if (!preparesNeighbours(conditions) || playingNode <= 0)
        return chosen;
    const auto playing = channelOf(channels.record(playingNode), conditions.videoToo);
    const auto take = [&](const std::string* record) {
        const auto channel = channelOf(record, conditions.videoToo);
        if (!channel || (playing && channel->address == playing->address) ||
            std::find(chosen.begin(), chosen.end(), *channel) != chosen.end() ||
            chosen.size() >= static_cast<std::size_t>(kMaxNeighbours))
            return;
        chosen.push_back(*channel);
    };
    take(channels.record(playingNode + 1));
    take(channels.record(playingNode - 1));
    if (!playedBefore.empty())
        take(&playedBefore);
    return chosen;
}

}  // namespace qova::playback
