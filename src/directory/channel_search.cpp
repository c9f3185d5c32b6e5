#include "directory/channel_search.h"

#include <algorithm>

#include "directory/channel_record.h"
#include "directory/channel_tree.h"
#include "directory/directory_lines.h"
#include "platform/text.h"
#include "state/favourite_lines.h"

namespace qova::directory {

void ChannelSearch::load(const state::MainContext& ctx) {
    records_.clear();
    folded_.clear();
    loaded_ = true;
    DirectoryLines reader(ctx);
    std::string_view line;
    while (reader.next(line)) {
        const std::vector<std::string_view> fields = platform::splitFields(line);
        if (fields.size() < kFieldsOfAChannel)
            continue;
        std::string haystack(fields[kChannelName]);
        haystack += '\n';
        haystack += fields[kCountry];
        if (fields.size() > 4) {
            haystack += '\n';
            haystack += fields[4];
        }
        records_.emplace_back(line);
        folded_.push_back(platform::foldedForSearch(haystack));
    }
}

ChannelSearch::Result ChannelSearch::find(const state::MainContext& ctx, std::string_view query,
                                          std::size_t limit) {
    if (!loaded_)
        load(ctx);
    std::vector<std::string> words;
    const std::string folded = platform::foldedForSearch(query);
    for (std::string_view rest = folded; !rest.empty();) {
        const std::size_t start = rest.find_first_not_of(" \t");
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const std::size_t end = rest.find_first_of(" \t");
        words.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
    Result result;
    if (words.empty())
        return result;
    for (std::size_t i = 0; i < folded_.size(); ++i) {
        const std::string& haystack = folded_[i];
        if (!std::all_of(words.begin(), words.end(), [&](const std::string& word) {
                return haystack.find(word) != std::string::npos;
            }))
            continue;
        if (result.records.size() < limit)
            result.records.push_back(records_[i]);
        ++result.total;
    }
    return result;
}

void ShowSearchResults(state::MainContext& ctx, const ChannelSearch::Result& result) {
    platform::TreeView& tree = ctx.controls.trView;
    BeginTreeRebuild(ctx);
    ctx.channels.clear();
    const state::FavouriteLines favourites(ctx.state.strFavorites);
    for (const std::string& record : result.records) {
        std::string_view name;
        std::string_view country;
        platform::fieldAt(record, kChannelName, name);
        platform::fieldAt(record, kCountry, country);
        ctx.channels.add(record, std::string(name) + " \u2014 " + std::string(country),
                         favourites.contains(record) ? kFavouriteImage : 0,
                         ctx.controls.cmbCountry.backColour(),
                         ctx.controls.cmbCountry.foreColour());
    }
    if (result.total > result.records.size()) {
        // A line without a record: a click on it starts nothing.
        tree.addNode("\u2026 and " + std::to_string(result.total - result.records.size()) +
                         " more: type more words to narrow the search",
                     0);
    }
    EndTreeRebuild(ctx);
}

}  // namespace qova::directory
