#include "discover/discovery.h"

#include <utility>

#include "discover/discovered_list_fetcher.h"
#include "discover/sources.h"
#include "platform/text.h"

namespace qova::discover {

Discovery::Discovery(directory::AddedLists& lists, RadioDatabase& radio, PlayCount& plays,
                     std::string systemCountry)
    : lists_(lists),
      radio_(radio),
      plays_(plays),
      systemCountry_(std::move(systemCountry)),
      countries_(ChooserCountries({}, systemCountry_)) {}

Discovery::~Discovery() {
    radio_.cancel(countriesRequest_);
    radio_.cancel(searchRequest_);
}

void Discovery::changed() {
    if (onChanged)
        onChanged();
}

void Discovery::loadCountries() {
    if (countriesKnown_ || countriesRequest_ != 0)
        return;
    std::weak_ptr<int> alive = alive_;
    countriesRequest_ = radio_.request(
        CountriesPath(), RadioDatabase::kMaxAnswerBytes,
        [this, alive](RadioDatabase::Answer answer) {
            if (alive.expired())
                return;
            countriesRequest_ = 0;
            const std::vector<Country> database =
                answer.error.empty() ? ReadCountries(answer.body) : std::vector<Country>();
            if (database.empty()) {
                radioNote_ = (answer.error.empty()
                                  ? std::string("The radio station database sent no countries.")
                                  : answer.error) +
                             " Radio stations added now are fetched at the next start; TV "
                             "channels come from elsewhere.";
            } else {
                countriesKnown_ = true;
                radioNote_.clear();
                countries_ = ChooserCountries(database, systemCountry_);
                ++countriesVersion_;
            }
            changed();
        });
}

void Discovery::addRadio(const std::string& countryCode) {
    add(RadioListAddress(countryCode), ListTitle(RadioListAddress(countryCode)));
}

void Discovery::addTv(const std::string& countryCode) {
    add(TvListAddress(countryCode), ListTitle(TvListAddress(countryCode)));
}

void Discovery::add(const std::string& address, const std::string& title) {
    using Result = directory::AddedLists::AddResult;
    switch (lists_.add(address)) {
        case Result::Added:
            note_ = title + ": added; its channels join the country lists once fetched.";
            break;
        case Result::AlreadyThere:
            note_ = title + ": added already.";
            break;
        case Result::NoAddress:
            note_ = "Choose a country first.";
            break;
        case Result::TooMany:
            note_ = "No more than " + std::to_string(directory::kMaxAddedLists) +
                    " lists can be added; remove one in Channel lists first.";
            break;
        case Result::CannotWrite:
            note_ =
                title + " cannot be kept: " + directory::kAddedListsFile + " cannot be written.";
            break;
    }
    changed();
}

std::vector<Discovery::ListLine> Discovery::lists() const {
    std::vector<ListLine> lines;
    for (const directory::AddedLists::List& list : lists_.lists()) {
        const std::string title = ListTitle(list.address);
        if (!title.empty())
            lines.push_back({title, list.channels, directory::StateText(list)});
    }
    return lines;
}

void Discovery::listsChanged() {
    changed();
}

void Discovery::search(const std::string& words) {
    radio_.cancel(std::exchange(searchRequest_, 0));
    // Words of megabytes make no search; a name is found by its first words.
    const std::string_view query = platform::trimmed(platform::shownText(words));
    if (query.empty()) {
        found_.clear();
        searchNote_.clear();
        changed();
        return;
    }
    searchNote_ = "Searching\u2026";
    changed();
    std::weak_ptr<int> alive = alive_;
    searchRequest_ = radio_.request(
        SearchPath(query, kSearchResults), RadioDatabase::kMaxAnswerBytes,
        [this, alive](RadioDatabase::Answer answer) {
            if (alive.expired())
                return;
            searchRequest_ = 0;
            if (!answer.error.empty()) {
                found_.clear();
                searchNote_ = answer.error;
            } else {
                found_ = StationsWithIds(DiscoveredListFetcher::ConvertRadioList(answer.body).lines,
                                         kSearchResults);
                searchNote_ = found_.empty() ? "No station found."
                              : found_.size() == 1
                                  ? "1 station found."
                                  : std::to_string(found_.size()) + " stations found.";
            }
            plays_.found(found_);
            changed();
        });
}

}  // namespace qova::discover
