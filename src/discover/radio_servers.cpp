#include "discover/radio_servers.h"

#include <algorithm>
#include <utility>

#include "discover/sources.h"

namespace qova::discover {

RadioServers::RadioServers(Resolver& resolver, std::vector<std::string> fixedServers, Random random)
    : resolver_(resolver), fixed_(std::move(fixedServers)), random_(std::move(random)) {}

RadioServers::~RadioServers() = default;

std::size_t RadioServers::roundSize() const {
    return std::max<std::size_t>(1, fixed_.empty() ? candidates_.size() : fixed_.size());
}

void RadioServers::server(std::function<void(std::string base)> done) {
    if (!base_.empty()) {
        done(base_);
        return;
    }
    if (exhausted_) {
        // Said once to the request that saw the last server fail; the next begins anew.
        exhausted_ = false;
        candidates_.clear();
        done({});
        return;
    }
    waiting_.push_back(std::move(done));
    if (!finding_)
        find();
}

void RadioServers::failed(const std::string& base) {
    if (base.empty() || base != base_)
        return;
    failedBases_.insert(base_);
    base_.clear();
    moveOn();
    if (!exhausted_ && !waiting_.empty() && !finding_)
        find();
}

void RadioServers::moveOn() {
    ++next_;
    if (next_ >= candidates_.size())
        exhausted_ = true;
}

void RadioServers::find() {
    if (candidates_.empty()) {
        next_ = 0;
        failedBases_.clear();
        if (!fixed_.empty()) {
            candidates_ = fixed_;
        } else {
            finding_ = true;
            std::weak_ptr<int> alive = alive_;
            resolver_.addressesOf(
                std::string(kRadioDatabaseHost), [this, alive](std::vector<std::string> addresses) {
                    if (alive.expired())
                        return;
                    finding_ = false;
                    std::sort(addresses.begin(), addresses.end());
                    addresses.erase(std::unique(addresses.begin(), addresses.end()),
                                    addresses.end());
                    if (addresses.size() > kMaxServers)
                        addresses.resize(kMaxServers);
                    // One at random first, then on round from it.
                    if (!addresses.empty()) {
                        std::rotate(
                            addresses.begin(),
                            addresses.begin() + static_cast<std::ptrdiff_t>(
                                                    random_(addresses.size()) % addresses.size()),
                            addresses.end());
                    }
                    candidates_ = std::move(addresses);
                    if (candidates_.empty()) {
                        settle({});
                        return;
                    }
                    nameCandidate();
                });
            return;
        }
    }
    nameCandidate();
}

void RadioServers::nameCandidate() {
    if (next_ >= candidates_.size()) {
        exhausted_ = true;
        settle({});
        return;
    }
    if (!fixed_.empty()) {
        settle(candidates_[next_]);
        return;
    }
    finding_ = true;
    std::weak_ptr<int> alive = alive_;
    resolver_.nameOf(candidates_[next_], [this, alive](std::string name) {
        if (alive.expired())
            return;
        finding_ = false;
        const std::string base = ServerBase(name);
        // An address without a name cannot be asked over https, and a server's other address
        // (its IPv6 beside its IPv4) is the server that failed already: the next one.
        if (base.empty() || failedBases_.count(base) != 0) {
            moveOn();
            if (exhausted_) {
                settle({});
                return;
            }
            nameCandidate();
            return;
        }
        settle(base);
    });
}

void RadioServers::settle(const std::string& base) {
    base_ = base;
    if (base.empty()) {
        // Every waiting request hears that no server is left; the round is over.
        exhausted_ = false;
        candidates_.clear();
    }
    auto waiting = std::exchange(waiting_, {});
    for (auto& done : waiting)
        done(base);
}

}  // namespace qova::discover
