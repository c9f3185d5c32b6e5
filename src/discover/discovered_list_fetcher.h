#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "discover/radio_database.h"
#include "platform/list_fetcher.h"

namespace qova::discover {

/// Fetches the lists a user added, the discovered ones from their sources and any other through
/// the fetcher given. A country's stations come from a live server of the radio station
/// database, whatever server fetched them last, and keep each station's id before its line for
/// counting plays; a country's TV playlist comes from the playlist tree (the environment's
/// mirror where one is set), its channels all under that country. Both carry the program's
/// User-Agent and are converted away from the thread that asked.
class DiscoveredListFetcher : public platform::ListFetcher {
  public:
    /// Runs work, then hands its result to done on the calling thread, later.
    using Worker =
        std::function<void(std::function<Converted()> work, std::function<void(Converted)> done)>;

    /// A list of more than maxListBytes is a fetch that failed, as any added list's is.
    DiscoveredListFetcher(platform::ListFetcher& others, RadioDatabase& radio, HttpGetter& http,
                          std::string tvBase, std::size_t maxListBytes, Worker worker);
    ~DiscoveredListFetcher() override;

    void fetch(const std::string& address, Convert convert,
               std::function<void(Outcome)> done) override;
    void cancel(const std::string& address) override;

    /// How the lists of the sources are converted.
    static Converted ConvertRadioList(std::string_view page);
    static Converted ConvertTvList(std::string_view page, std::string_view country);

  private:
    struct Fetch {
        std::uint64_t id = 0;
        bool radio = false;
        std::uint64_t request = 0;  // the database's request or the GET under way; 0 for none
        std::function<void(Outcome)> done;
    };
    void arrived(const std::string& address, std::uint64_t id, std::string body, std::string error);
    Fetch* find(const std::string& address, std::uint64_t id);

    platform::ListFetcher& others_;
    RadioDatabase& radio_;
    HttpGetter& http_;
    std::string tvBase_;
    std::size_t maxListBytes_;
    Worker worker_;
    std::map<std::string, Fetch> fetches_;
    std::uint64_t lastId_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace qova::discover
