#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "state/keyed_collection.h"

namespace qova::directory {

/// Where the countries the added lists name are listed, so that one country is one entry
/// whatever list named it. A country listed under the same name joins it, as the directory's own
/// do; otherwise a country that Qt's locale data knows (by its code, its English name or its name
/// in one of its own languages) joins the entry listed first for that country, the directory's
/// ahead of the lists'; a country the directory names only in the other category takes the
/// directory's name. The name a list gave is filed as another key of the entry it joined. The
/// directory's entries are never changed.
class AddedCountries {
  public:
    /// The country lists as the directory's lines left them.
    AddedCountries(state::KeyedCollection& video, state::KeyedCollection& radio);

    /// Lists the country of an added line, as shown, in its category's list.
    void place(bool video, std::string_view country);

  private:
    struct Category {
        state::KeyedCollection& list;
        // Country code -> the entry listed first for it.
        std::unordered_map<std::string, int> entries;
    };
    void learnDirectory();
    const std::string& identity(const std::string& name);

    Category video_;
    Category radio_;
    // Country code -> the directory's name for it, in either category.
    std::unordered_map<std::string, std::string> directoryNames_;
    // What each name met means, asked of the locale data once.
    std::unordered_map<std::string, std::string> identities_;
    bool learned_ = false;
};

}  // namespace qova::directory
