#include "directory/added_countries.h"

#include "directory/country_names.h"

namespace qova::directory {

AddedCountries::AddedCountries(state::KeyedCollection& video, state::KeyedCollection& radio)
    : video_{video, {}}, radio_{radio, {}} {}

const std::string& AddedCountries::identity(const std::string& name) {
    auto found = identities_.find(name);
    if (found == identities_.end())
        found = identities_.emplace(name, CountryIdentity(name)).first;
    return found->second;
}

void AddedCountries::learnDirectory() {
    // Only now, at the first added line: a directory alone costs no lookup, and every entry so
    // far is the directory's.
    learned_ = true;
    for (Category* category : {&video_, &radio_}) {
        for (int n = 1; n <= category->list.count(); ++n) {
            const std::string& name = category->list.item(n);
            const std::string& code = identity(name);
            if (code.empty())
                continue;
            category->entries.emplace(code, n);
            directoryNames_.emplace(code, name);
        }
    }
}

void AddedCountries::place(bool video, std::string_view country) {
    Category& category = video ? video_ : radio_;
    if (category.list.find(country) != nullptr)
        return;
    if (!learned_)
        learnDirectory();
    const std::string shown(country);
    const std::string& code = identity(shown);
    if (code.empty()) {
        category.list.add(shown, shown);
        return;
    }
    if (const auto entry = category.entries.find(code); entry != category.entries.end()) {
        category.list.alias(shown, entry->second);
        return;
    }
    const auto directoryName = directoryNames_.find(code);
    const std::string& name =
        directoryName != directoryNames_.end() ? directoryName->second : shown;
    if (!category.list.add(name, name)) {
        category.list.add(shown, shown);
        return;
    }
    category.entries.emplace(code, category.list.count());
    if (name != shown)
        category.list.alias(shown, category.list.count());
}

}  // namespace qova::directory
