#pragma once

// Fakes of the discover window's network: a DNS whose answers a test gives, and GETs answered
// when a test says so.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "discover/radio_database.h"
#include "discover/radio_servers.h"

namespace qova::fakes {

class FakeResolver : public discover::Resolver {
  public:
    void addressesOf(const std::string& host,
                     std::function<void(std::vector<std::string>)> done) override {
        hostsAsked.push_back(host);
        pendingAddresses_.push_back(std::move(done));
    }
    void nameOf(const std::string& address, std::function<void(std::string)> done) override {
        namesAsked.push_back(address);
        pendingNames_.push_back({address, std::move(done)});
    }
    /// Answers every lookup under way from the tables, including those the answers start.
    void answerAll() {
        for (int round = 0; round < 100 && (!pendingAddresses_.empty() || !pendingNames_.empty());
             ++round) {
            auto addressLookups = std::exchange(pendingAddresses_, {});
            for (auto& done : addressLookups)
                done(addresses);
            auto nameLookups = std::exchange(pendingNames_, {});
            for (auto& [address, done] : nameLookups) {
                const auto found = names.find(address);
                done(found == names.end() ? std::string() : found->second);
            }
        }
    }

    std::vector<std::string> addresses;
    std::map<std::string, std::string> names;
    std::vector<std::string> hostsAsked;
    std::vector<std::string> namesAsked;

  private:
    std::vector<std::function<void(std::vector<std::string>)>> pendingAddresses_;
    std::vector<std::pair<std::string, std::function<void(std::string)>>> pendingNames_;
};

class FakeHttpGetter : public discover::HttpGetter {
  public:
    std::uint64_t get(const std::string& url, std::size_t maxBytes,
                      std::function<void(discover::HttpAnswer)> done) override {
        asked.push_back(url);
        pending_.push_back({++lastId_, url, maxBytes, std::move(done)});
        return lastId_;
    }
    void cancel(std::uint64_t request) override {
        std::erase_if(pending_, [&](const Pending& each) { return each.id == request; });
    }
    /// The GETs under way, in the order they started.
    std::vector<std::string> underWay() const {
        std::vector<std::string> urls;
        for (const Pending& each : pending_)
            urls.push_back(each.url);
        return urls;
    }
    /// Answers the GET started first: the answer held for its address, else a server that
    /// cannot be reached.
    void answer() {
        if (pending_.empty())
            throw std::logic_error("no GET under way");
        Pending first = std::move(pending_.front());
        pending_.erase(pending_.begin());
        const auto found = answers.find(first.url);
        discover::HttpAnswer answer =
            found != answers.end() ? found->second
                                   : discover::HttpAnswer{0, {}, "The server cannot be reached."};
        if (answer.body.size() > first.maxBytes)
            answer = {0, {}, "Too large."};
        first.done(std::move(answer));
    }
    /// Answers until nothing is under way, answers starting more included.
    void answerAll() {
        for (int round = 0; round < 100 && !pending_.empty(); ++round)
            answer();
    }

    std::map<std::string, discover::HttpAnswer> answers;
    std::vector<std::string> asked;

  private:
    struct Pending {
        std::uint64_t id;
        std::string url;
        std::size_t maxBytes;
        std::function<void(discover::HttpAnswer)> done;
    };
    std::vector<Pending> pending_;
    std::uint64_t lastId_ = 0;
};

}  // namespace qova::fakes
