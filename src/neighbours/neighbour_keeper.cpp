#include "neighbours/neighbour_keeper.h"

#include <algorithm>

#include "neighbours/warm_hls.h"
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
    std::vector<playback::NeighbourChannel> keep;
    if (playback::preparesNeighbours(conditions_)) {
        for (const playback::NeighbourChannel& channel : wanted_) {
            // Where the engine would meet the station through the relay.
            const bool keepable = channel.picture
                                      ? WarmHls::keepable(channel.address)
                                      : WarmStream::keepable(channel.address, httpsKept_);
            if (keepable && keep.size() < static_cast<std::size_t>(playback::kMaxNeighbours))
                keep.push_back(channel);
        }
    }
    for (auto it = prepared_.begin(); it != prepared_.end();) {
        const auto kept = std::find_if(keep.begin(), keep.end(), [&](const auto& channel) {
            return channel.address == it->first;
        });
        // A picture channel kept otherwise than now asked is kept anew.
        if (kept == keep.end() ||
            (kept->picture && it->second.wholeWindow != conditions_.videoToo)) {
            it->second.warm->deleteLater();
            it = prepared_.erase(it);
        } else {
            ++it;
        }
    }
    for (const playback::NeighbourChannel& channel : keep) {
        const std::string& address = channel.address;
        if (prepared_.count(address) > 0)
            continue;
        if (channel.picture)
            prepare(address, new WarmHls(address, userAgent_, conditions_.videoToo, this),
                    conditions_.videoToo);
        else
            prepare(address, new WarmStream(address, userAgent_, this), false);
    }
}

template <typename Warm>
void NeighbourKeeper::prepare(const std::string& address, Warm* warm, bool wholeWindow) {
    prepared_.emplace(address, Prepared{warm, wholeWindow, [warm] { return warm->ready(); },
                                        [warm] { return warm->handOver(); }});
    connect(warm, &Warm::becameReady, this, [this, address] { emit becameReady(address); });
    // Failed or ended: simply not ready. It is asked for again at the next change.
    connect(warm, &Warm::ended, this, [this, address, warm] {
        if (const auto found = prepared_.find(address);
            found != prepared_.end() && found->second.warm == warm)
            prepared_.erase(found);
        warm->deleteLater();
    });
}

bool NeighbourKeeper::ready(const std::string& address) const {
    const auto found = prepared_.find(address);
    return found != prepared_.end() && found->second.ready();
}

std::string NeighbourKeeper::route(const std::string& address) {
    // The engine opens another address: the picture channel handed over before has served.
    if (pictures_)
        pictures_->deleteLater();
    const auto found = prepared_.find(address);
    if (found == prepared_.end() || !found->second.ready())
        return address;
    const std::string local = found->second.handOver();
    if (local.empty())
        return address;
    // Now the engine's: it lives until the engine lets go of it.
    if (auto* pictures = qobject_cast<WarmHls*>(found->second.warm))
        pictures_ = pictures;
    prepared_.erase(found);
    ++handedOver_;
    return local;
}

const WarmHls* NeighbourKeeper::handedOverPictures() const {
    return qobject_cast<const WarmHls*>(pictures_.data());
}

}  // namespace qova::neighbours
