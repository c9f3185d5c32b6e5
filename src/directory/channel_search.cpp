#include "directory/channel_search.h"

#include <algorithm>

#include "directory/channel_record.h"
#include "directory/channel_tree.h"
#include "directory/directory_lines.h"
#include "platform/text.h"
#include "state/favourite_lines.h"

namespace qova::directory {
namespace {

// The language, where a line gives one: the field after the address.
constexpr std::size_t kLanguage = 4;

}  // namespace

SearchIndex::Source SearchIndex::sourceOf(const state::MainContext& ctx) {
    return {ctx.controls.files.read(state::kChannelFile), ctx.state.strAddedChannels};
}

SearchIndex::SearchIndex(Source source) : source_(std::move(source)) {
    DirectoryLines reader(source_.stored, source_.added);
    std::string_view line;
    while (reader.next(line)) {
        if (!platform::hasFields(line, kFieldsOfAChannel))
            continue;
        std::string_view name;
        std::string_view country;
        std::string_view language;
        platform::fieldAt(line, kChannelName, name);
        platform::fieldAt(line, kCountry, country);
        folded_ += platform::foldedForSearch(name);
        folded_ += '\n';
        folded_ += platform::foldedForSearch(country);
        if (platform::fieldAt(line, kLanguage, language)) {
            folded_ += '\n';
            folded_ += platform::foldedForSearch(language);
        }
        records_.push_back(line);
        ends_.push_back(folded_.size());
    }
}

SearchIndex::Result SearchIndex::find(std::string_view query, std::size_t limit) const {
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
    const std::string_view all = folded_;
    std::size_t start = 0;
    for (std::size_t i = 0; i < records_.size(); start = ends_[i], ++i) {
        const std::string_view haystack = all.substr(start, ends_[i] - start);
        if (!std::all_of(words.begin(), words.end(), [&](const std::string& word) {
                return haystack.find(word) != std::string_view::npos;
            }))
            continue;
        if (result.records.size() < limit)
            result.records.emplace_back(records_[i]);
        ++result.total;
    }
    return result;
}

ChannelSearch::ChannelSearch()
    : worker_([](const std::function<Index()>& fold, const std::function<void(Index)>& done) {
          done(fold());
      }) {}

void ChannelSearch::invalidate() {
    ++generation_;
    index_.reset();
    folding_ = false;
}

void ChannelSearch::prepare(const state::MainContext& ctx) {
    if (index_ || folding_)
        return;
    folding_ = true;
    // Shared, not copied, as the worker's function is passed around.
    auto source = std::make_shared<SearchIndex::Source>(SearchIndex::sourceOf(ctx));
    worker_([source] { return std::make_shared<const SearchIndex>(std::move(*source)); },
            [this, alive = std::weak_ptr<int>(alive_), generation = generation_](Index index) {
                if (alive.expired() || generation != generation_)
                    return;
                folding_ = false;
                index_ = std::move(index);
                if (onFolded)
                    onFolded();
            });
}

void ShowSearchResults(state::MainContext& ctx, const SearchIndex::Result& result) {
    platform::TreeView& tree = ctx.controls.trView;
    BeginTreeRebuild(ctx);
    ctx.channels.clear();
    const state::FavouriteLines favourites(ctx.state.strFavorites);
    for (const std::string& record : result.records) {
        std::string_view name;
        std::string_view country;
        platform::fieldAt(record, kChannelName, name);
        platform::fieldAt(record, kCountry, country);
        // Each part cut to what is shown before they are joined: a name may run to megabytes.
        ctx.channels.add(record,
                         std::string(platform::shownText(name)) + " \u2014 " +
                             std::string(platform::shownText(country)),
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
