#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_files.h"
#include "state/main_context.h"

namespace qova::directory {

/// The channels of the whole directory, both categories, as a search looks through them: each
/// line with its name, country and language folded (regardless of case and accents). Made from a
/// snapshot it owns, so that folding can go on on any thread; read only once made, and never
/// moved, as it points into what it owns.
class SearchIndex {
  public:
    /// What a fold reads: Channel.txt as stored and the added lists' lines, as they are when the
    /// fold is asked for.
    struct Source {
        std::optional<platform::FileText> stored;
        std::string added;
    };
    struct Result {
        /// The matching directory lines, in directory order, at most the limit asked for.
        std::vector<std::string> records;
        /// How many lines match in all.
        std::size_t total = 0;
    };

    /// Taken on the Qt thread; the added lines are copied, the stored file is shared.
    static Source sourceOf(const state::MainContext& ctx);

    /// Folds every channel of the source.
    explicit SearchIndex(Source source);
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    /// The channels in which every word of the query appears.
    Result find(std::string_view query, std::size_t limit) const;

  private:
    const Source source_;
    std::vector<std::string_view> records_;
    // The folded name, country and language of every record, one after the other; ends_ holds
    // where each record's ends.
    std::string folded_;
    std::vector<std::size_t> ends_;
};

/// Keeps the search index of the directory as it is, and folds a new one when asked after a
/// change, through a worker that can take the fold off the Qt thread.
class ChannelSearch {
  public:
    using Index = std::shared_ptr<const SearchIndex>;
    /// Runs fold, then hands its index to done on the calling thread. The default folds at once,
    /// within the call; the window's runs fold on a worker thread and done later.
    using Worker =
        std::function<void(std::function<Index()> fold, std::function<void(Index)> done)>;

    ChannelSearch();
    void setWorker(Worker worker) { worker_ = std::move(worker); }

    /// Forgets the index: the directory changed. A fold under way is dropped when it ends.
    void invalidate();
    /// Starts folding the directory as it is now, unless that is folded or being folded.
    void prepare(const state::MainContext& ctx);
    /// The index of the directory as it is; null until its fold has ended.
    const SearchIndex* index() const { return index_.get(); }

    /// Heard when a fold of the directory as it is has ended, never after this object is gone.
    std::function<void()> onFolded;

  private:
    Worker worker_;
    Index index_;
    bool folding_ = false;
    // Counts changes of the directory, so that a fold of an older one is never taken.
    std::uint64_t generation_ = 0;
    // Held while this object lives: a fold that ends later finds it gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

/// Shows the channels a search found in the tree: name and country, starred as favourites, each
/// with its record, and a last line saying how many more there are beyond those shown.
void ShowSearchResults(state::MainContext& ctx, const SearchIndex::Result& result);

}  // namespace qova::directory
