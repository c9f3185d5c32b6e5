#include "neighbours/neighbour_keeper.h"

#include <algorithm>

#include "neighbours/warm_stream.h"

namespace qova::neighbours {

NeighbourKeeper::NeighbourKeeper(std::string userAgent, QObject* parent)
    : QObject(parent), userAgent_(std::move(userAgent)) {
    idle_.setSingleShot(true);
    idle_.setInterval(playback::kNeighbourIdleLimit);
    connect(&idle_, &QTimer::timeout, this, [this] {
        conditions_.idle = true;
        apply();
    });
}

NeighbourKeeper::~NeighbourKeeper() = default;

void NeighbourKeeper::setConditions(const playback::NeighbourConditions& conditions) {
    const bool idle = conditions_.idle;
    conditions_ = conditions;
    conditions_.idle = idle;
    apply();
}

void NeighbourKeeper::channelChanged(const std::vector<playback::NeighbourChannel>& wanted) {
    wanted_ = wanted;
    conditions_.idle = false;
    if (conditions_.enabled)
        idle_.start();
    apply();
}

void NeighbourKeeper::apply() {
    std::vector<std::string> keep;
    if (playback::preparesNeighbours(conditions_)) {
        for (const playback::NeighbourChannel& channel : wanted_) {
            // Sound alone, where the engine would meet the station through the relay.
            if (!channel.firstSegmentOnly && WarmStream::keepable(channel.address, httpsKept_) &&
                keep.size() < static_cast<std::size_t>(playback::kMaxNeighbours))
                keep.push_back(channel.address);
        }
    }
    for (auto it = prepared_.begin(); it != prepared_.end();) {
        if (std::find(keep.begin(), keep.end(), it->first) == keep.end()) {
            it->second->deleteLater();
            it = prepared_.erase(it);
        } else {
            ++it;
        }
    }
    for (const std::string& address : keep) {
        if (prepared_.count(address) > 0)
            continue;
        auto* stream = new WarmStream(address, userAgent_, this);
        prepared_.emplace(address, stream);
        connect(stream, &WarmStream::becameReady, this,
                [this, address] { emit becameReady(address); });
        // Failed or ended: simply not ready. It is asked for again at the next change.
        connect(stream, &WarmStream::ended, this, [this, address, stream] {
            if (const auto found = prepared_.find(address);
                found != prepared_.end() && found->second == stream)
                prepared_.erase(found);
            stream->deleteLater();
        });
    }
}

bool NeighbourKeeper::ready(const std::string& address) const {
    const auto found = prepared_.find(address);
    return found != prepared_.end() && found->second->ready();
}

std::string NeighbourKeeper::route(const std::string& address) {
    const auto found = prepared_.find(address);
    if (found == prepared_.end() || !found->second->ready())
        return address;
    WarmStream* stream = found->second;
    const std::string local = stream->handOver();
    if (local.empty())
        return address;
    // Now the engine's: it lives until the engine lets go of it.
    prepared_.erase(found);
    ++handedOver_;
    return local;
}

}  // namespace qova::neighbours
