#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qova::discover {

/// Looks names up in the DNS: the addresses of a host name, and the host name of an address.
/// Answers come later, on the thread that asked.
class Resolver {
  public:
    virtual ~Resolver() = default;
    /// The addresses the name has; none when it cannot be resolved.
    virtual void addressesOf(const std::string& host,
                             std::function<void(std::vector<std::string> addresses)> done) = 0;
    /// The host name of an address; "" when it has none.
    virtual void nameOf(const std::string& address, std::function<void(std::string name)> done) = 0;
};

/// The server of the radio station database to ask, chosen as the database asks its clients
/// to: the addresses of its common name looked up, one of them taken at random and
/// reverse-resolved to its own host name, which is then used over https; on a failure, the next
/// address, and so on round them once. A server is kept while it answers; no two are asked at
/// once. Servers the environment names are used in their order instead, without the DNS.
class RadioServers {
  public:
    /// A number below the one given, at random.
    using Random = std::function<std::size_t(std::size_t below)>;
    /// The most addresses of the common name taken.
    static constexpr std::size_t kMaxServers = 16;

    RadioServers(Resolver& resolver, std::vector<std::string> fixedServers, Random random);
    ~RadioServers();
    RadioServers(const RadioServers&) = delete;
    RadioServers& operator=(const RadioServers&) = delete;

    /// Hands the base address of the server to ask to done, at once when it is known, later when
    /// it must be found; "" when every server has failed since the last round began, and the
    /// next call begins a new round.
    void server(std::function<void(std::string base)> done);
    /// The server of this base did not answer as it should: the next is asked from now on. A
    /// base that is no longer the one in use changes nothing.
    void failed(const std::string& base);

    /// How many servers a round holds, at least 1: how many tries a request may make.
    std::size_t roundSize() const;

  private:
    void find();
    void nameCandidate();
    void moveOn();
    void settle(const std::string& base);

    Resolver& resolver_;
    std::vector<std::string> fixed_;
    Random random_;
    // The round under way: the addresses (or fixed bases) in the order they are tried.
    std::vector<std::string> candidates_;
    std::size_t next_ = 0;
    std::string base_;
    // The servers of this round that failed.
    std::set<std::string> failedBases_;
    bool finding_ = false;
    bool exhausted_ = false;
    std::vector<std::function<void(std::string)>> waiting_;
    // Held while this object lives: a lookup that ends later finds it gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace qova::discover
