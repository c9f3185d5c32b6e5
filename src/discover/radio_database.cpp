#include "discover/radio_database.h"

#include <utility>

#include "discover/sources.h"
#include "platform/text.h"

namespace qova::discover {
namespace {

constexpr const char* kNoServer = "No server of the radio station database answers.";

}  // namespace

bool IsServerFailure(const HttpAnswer& answer) {
    if (answer.status == 0 || answer.status >= 500 || answer.status == 429)
        return true;
    if (answer.status >= 300)
        return false;
    // Every call answers with a JSON array or object; a page of anything else is a server that
    // is not the database, or not itself.
    const std::string_view body = platform::trimmed(platform::withoutByteOrderMark(answer.body));
    return body.empty() || (body.front() != '[' && body.front() != '{');
}

RadioDatabase::RadioDatabase(HttpGetter& http, RadioServers& servers)
    : http_(http), servers_(servers) {}

RadioDatabase::~RadioDatabase() {
    for (const auto& [id, request] : requests_) {
        if (request.get != 0)
            http_.cancel(request.get);
    }
}

std::uint64_t RadioDatabase::request(const std::string& path, std::size_t maxBytes,
                                     std::function<void(Answer)> done) {
    const std::uint64_t id = ++lastId_;
    requests_[id] = Request{path, maxBytes, std::move(done), 0, 0};
    ask(id);
    return id;
}

void RadioDatabase::cancel(std::uint64_t id) {
    const auto found = requests_.find(id);
    if (found == requests_.end())
        return;
    if (found->second.get != 0)
        http_.cancel(found->second.get);
    requests_.erase(found);
}

void RadioDatabase::countPlay(const std::string& stationId) {
    const std::string path = CountPath(stationId);
    if (!path.empty())
        request(path, kMaxAnswerBytes, [](const Answer&) {});
}

void RadioDatabase::ask(std::uint64_t id) {
    std::weak_ptr<int> alive = alive_;
    servers_.server([this, alive, id](std::string base) {
        if (alive.expired())
            return;
        const auto found = requests_.find(id);
        if (found == requests_.end())
            return;
        Request& request = found->second;
        // Bounded: every server of a round is tried once at most.
        if (base.empty() || request.tries >= servers_.roundSize()) {
            finish(id, {{}, kNoServer});
            return;
        }
        ++request.tries;
        request.get = http_.get(base + request.path, request.maxBytes,
                                [this, alive, id, base](HttpAnswer answer) {
                                    if (!alive.expired())
                                        answered(id, base, std::move(answer));
                                });
    });
}

void RadioDatabase::answered(std::uint64_t id, const std::string& base, HttpAnswer answer) {
    const auto found = requests_.find(id);
    if (found == requests_.end())
        return;
    found->second.get = 0;
    if (IsServerFailure(answer)) {
        servers_.failed(base);
        ask(id);
        return;
    }
    if (answer.status >= 300) {
        finish(id,
               {{}, "The radio station database answered " + std::to_string(answer.status) + "."});
        return;
    }
    finish(id, {std::move(answer.body), {}});
}

void RadioDatabase::finish(std::uint64_t id, Answer answer) {
    const auto found = requests_.find(id);
    if (found == requests_.end())
        return;
    auto done = std::move(found->second.done);
    requests_.erase(found);
    if (done)
        done(std::move(answer));
}

}  // namespace qova::discover
