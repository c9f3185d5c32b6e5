#include "discover/discovered_list_fetcher.h"

#include <utility>

#include "directory/channel_record.h"
#include "directory/country_names.h"
#include "directory/list_formats.h"
#include "discover/sources.h"
#include "platform/qt_strings.h"
#include "platform/text.h"

namespace qova::discover {
namespace {

std::size_t channelCount(std::string_view lines) {
    std::size_t count = 0;
    platform::LineReader reader(lines);
    std::string_view line;
    while (reader.next(line))
        count += platform::hasFields(line, directory::kFieldsOfAChannel) ? 1 : 0;
    return count;
}

// Why a playlist could not be had, as the lists window says it.
std::string playlistError(const HttpAnswer& answer) {
    if (!answer.error.empty())
        return answer.error;
    if (answer.status == 404)
        return "The playlist server has no list for this country.";
    return "The playlist server answered " + std::to_string(answer.status) + ".";
}

}  // namespace

DiscoveredListFetcher::DiscoveredListFetcher(platform::ListFetcher& others, RadioDatabase& radio,
                                             HttpGetter& http, std::string tvBase,
                                             std::size_t maxListBytes, Worker worker)
    : others_(others),
      radio_(radio),
      http_(http),
      tvBase_(std::move(tvBase)),
      maxListBytes_(maxListBytes),
      worker_(std::move(worker)) {
    if (!worker_) {
        worker_ = [](std::function<Converted()> work, std::function<void(Converted)> done) {
            done(work());
        };
    }
}

DiscoveredListFetcher::~DiscoveredListFetcher() {
    for (const auto& [address, fetch] : fetches_) {
        if (fetch.request == 0)
            continue;
        if (fetch.radio)
            radio_.cancel(fetch.request);
        else
            http_.cancel(fetch.request);
    }
}

platform::ListFetcher::Converted DiscoveredListFetcher::ConvertRadioList(std::string_view page) {
    directory::ConvertOptions options;
    options.stationIds = true;
    const directory::ListFormat format = directory::RecogniseListFormat(page);
    // Only a station list is the database's; a page of anything else holds none of its stations.
    std::string lines = format == directory::ListFormat::StationJson
                            ? directory::ToNativeLines(page, format, options)
                            : std::string();
    const std::size_t channels = channelCount(lines);
    return {std::move(lines), channels};
}

platform::ListFetcher::Converted DiscoveredListFetcher::ConvertTvList(std::string_view page,
                                                                      std::string_view country) {
    directory::ConvertOptions options;
    options.country = std::string(country);
    const directory::ListFormat format = directory::RecogniseListFormat(page);
    // Only a playlist is the tree's; a page of anything else holds no channel of it.
    std::string lines = format == directory::ListFormat::M3u
                            ? directory::ToNativeLines(page, format, options)
                            : std::string();
    const std::size_t channels = channelCount(lines);
    return {std::move(lines), channels};
}

void DiscoveredListFetcher::fetch(const std::string& address, Convert convert,
                                  std::function<void(Outcome)> done) {
    const auto list = Discovered(address);
    if (!list) {
        others_.fetch(address, std::move(convert), std::move(done));
        return;
    }
    cancel(address);
    const std::uint64_t id = ++lastId_;
    Fetch& fetch = fetches_[address];
    fetch.id = id;
    fetch.radio = list->source == DiscoveredList::Source::Radio;
    fetch.done = std::move(done);
    std::weak_ptr<int> alive = alive_;
    if (fetch.radio) {
        fetch.request = radio_.request(RadioDatabasePath(address), maxListBytes_,
                                       [this, alive, address, id](RadioDatabase::Answer answer) {
                                           if (!alive.expired())
                                               arrived(address, id, std::move(answer.body),
                                                       std::move(answer.error));
                                       });
        return;
    }
    fetch.request = http_.get(TvFetchAddress(address, tvBase_), maxListBytes_,
                              [this, alive, address, id](HttpAnswer answer) {
                                  if (alive.expired())
                                      return;
                                  const bool ok = answer.error.empty() && answer.status >= 200 &&
                                                  answer.status < 300;
                                  std::string error = ok ? std::string() : playlistError(answer);
                                  arrived(address, id, std::move(answer.body), std::move(error));
                              });
}

void DiscoveredListFetcher::cancel(const std::string& address) {
    const auto found = fetches_.find(address);
    if (found == fetches_.end()) {
        others_.cancel(address);
        return;
    }
    if (found->second.request != 0) {
        if (found->second.radio)
            radio_.cancel(found->second.request);
        else
            http_.cancel(found->second.request);
    }
    fetches_.erase(found);
}

DiscoveredListFetcher::Fetch* DiscoveredListFetcher::find(const std::string& address,
                                                          std::uint64_t id) {
    const auto found = fetches_.find(address);
    return found != fetches_.end() && found->second.id == id ? &found->second : nullptr;
}

void DiscoveredListFetcher::arrived(const std::string& address, std::uint64_t id, std::string body,
                                    std::string error) {
    Fetch* fetch = find(address, id);
    if (fetch == nullptr)
        return;
    fetch->request = 0;
    if (!error.empty()) {
        auto done = std::move(fetch->done);
        fetches_.erase(address);
        done({{}, 0, std::move(error), {}});
        return;
    }
    const auto list = Discovered(address);
    const bool radio = fetch->radio;
    const std::string country = list ? directory::CountryOfCode(list->countryCode) : std::string();
    std::weak_ptr<int> alive = alive_;
    worker_(
        [radio, country, page = std::move(body)] {
            return radio ? ConvertRadioList(page) : ConvertTvList(page, country);
        },
        [this, alive, address, id](Converted converted) {
            if (alive.expired())
                return;
            Fetch* under = find(address, id);
            if (under == nullptr)
                return;
            auto done = std::move(under->done);
            fetches_.erase(address);
            done({std::move(converted.lines), converted.channels, {}, platform::minuteNow()});
        });
}

}  // namespace qova::discover
