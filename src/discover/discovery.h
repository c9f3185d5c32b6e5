#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "directory/added_lists.h"
#include "discover/countries.h"
#include "discover/play_count.h"
#include "discover/radio_database.h"

namespace qova::discover {

/// What the discover window does: offers the countries (the system's first, with the database's
/// station counts once it answers), adds a country's radio stations or TV channels as added
/// lists, tells how each discovered list fares, and searches the database's stations by name.
/// Nothing of it is ever said in a message box: what goes wrong is said in the window.
class Discovery {
  public:
    /// A discovered list as the window shows it.
    struct ListLine {
        std::string title;
        std::size_t channels = 0;
        std::string state;
    };

    Discovery(directory::AddedLists& lists, RadioDatabase& radio, PlayCount& plays,
              std::string systemCountry);
    ~Discovery();
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    /// Asks the database for its countries, once a run while it has not answered.
    void loadCountries();
    const std::vector<Country>& countries() const { return countries_; }
    /// Counts the changes of countries(), so that a window refills its chooser only then.
    int countriesVersion() const { return countriesVersion_; }
    /// What the last try to reach the radio station database found wrong; "" when nothing.
    const std::string& radioNote() const { return radioNote_; }

    /// Adds the country's stations, or its TV channels, as an added list, which is fetched at
    /// once and at every start. Says how it went in note().
    void addRadio(const std::string& countryCode);
    void addTv(const std::string& countryCode);
    /// What the last addition did: "" before any.
    const std::string& note() const { return note_; }

    /// The discovered lists among the added lists, in their order.
    std::vector<ListLine> lists() const;
    /// The added lists changed: what they show is shown anew.
    void listsChanged();

    /// Searches the database's stations by name, in place of a search under way; an empty query
    /// forgets the results.
    void search(const std::string& words);
    const std::vector<FoundStation>& found() const { return found_; }
    /// "12 stations found.", "Searching…", or why nothing could be searched.
    const std::string& searchNote() const { return searchNote_; }

    /// Heard after anything the window shows changed.
    std::function<void()> onChanged;

  private:
    void add(const std::string& address, const std::string& title);
    void changed();

    directory::AddedLists& lists_;
    RadioDatabase& radio_;
    PlayCount& plays_;
    std::string systemCountry_;
    std::vector<Country> countries_;
    bool countriesKnown_ = false;
    int countriesVersion_ = 0;
    std::uint64_t countriesRequest_ = 0;
    std::string radioNote_;
    std::string note_;
    std::vector<FoundStation> found_;
    std::string searchNote_;
    std::uint64_t searchRequest_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace qova::discover
