#pragma once

// A fake of the added lists' fetcher: fetches are answered when a test says so.

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/list_fetcher.h"

namespace qova::fakes {

class FakeListFetcher : public platform::ListFetcher {
  public:
    void fetch(const std::string& address, Convert convert,
               std::function<void(Outcome)> done) override {
        cancel(address);
        pending_.push_back({address, std::move(convert), std::move(done)});
        ++fetches;
        mostAtOnce = std::max(mostAtOnce, static_cast<int>(pending_.size()));
    }
    void cancel(const std::string& address) override {
        std::erase_if(pending_, [&](const Pending& each) { return each.address == address; });
    }
    /// The addresses being fetched, in the order their fetches started.
    std::vector<std::string> underWay() const {
        std::vector<std::string> addresses;
        for (const Pending& each : pending_)
            addresses.push_back(each.address);
        return addresses;
    }
    /// Answers a fetch under way (the one started first when none is named): the page held for
    /// its address, or its failure.
    void answer(const std::string& address = {}) {
        const auto found = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& each) {
            return address.empty() || each.address == address;
        });
        if (found == pending_.end())
            throw std::logic_error("no fetch under way");
        const Pending answered = std::move(*found);
        pending_.erase(found);
        if (const auto page = pages.find(answered.address); page != pages.end()) {
            Converted converted = answered.convert(page->second);
            answered.done(Outcome{std::move(converted.lines), converted.channels, {}, when});
        } else {
            answered.done(Outcome{{}, 0, "Not found.", {}});
        }
    }

    std::map<std::string, std::string> pages;
    std::string when = "2026-12-06 10:00";
    int fetches = 0;
    int mostAtOnce = 0;

  private:
    struct Pending {
        std::string address;
        Convert convert;
        std::function<void(Outcome)> done;
    };
    std::vector<Pending> pending_;
};

}  // namespace qova::fakes
