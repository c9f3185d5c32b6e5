#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "directory/added_lists.h"
#include "directory/channel_search.h"
#include "playback/channel_health.h"
#include "playback/listening.h"
#include "state/channel_list.h"
#include "state/main_context.h"
#include "state/site.h"

namespace qova::app {

/// The contact window's text; it shows it in upper case.
inline constexpr const char* kContactText =
    "\r\n\r\nIF YOU NEED HELP, WANT TO SUBMIT A\r\nCHANNEL OR WOULD LIKE TO REPORT A\r\nCHANNEL "
    "then "
    "email us at:";

/// The logic of the main window: its state, its load step and its event handlers. It wires
/// itself to the controls' events; the window only provides the controls.
class MainForm {
  public:
    MainForm(state::MainControls& controls, state::Site site);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;
    ~MainForm();

    void Form_Load();

    void cmbCountry_Click();
    void imgTV_Click();
    void imgRadio_Click();
    void wbDownload_DocumentComplete();
    void wbDownload_NavigateError(std::int32_t statusCode);
    void trView_Click();
    void imgFavorits_Click();
    void cmdFavorite_Click();
    void cmdStopButton_Click();
    void imgHome_Click();
    void imgTVOnDemand_Click();
    void imgVideoSearch_Click();
    void imgStreamTest_Click();
    void mnuCont_Click();
    void mnuAboutUs_Click();

    /// Shows the channels of the whole directory that a query finds, in place of the tree; an
    /// empty query brings the view that was there back. Before the directory has been folded
    /// for searching, the latest query is answered once it has.
    void search(const std::string& query);
    /// The search field opened: the directory is folded for it, ahead of the first keystroke.
    void searchOpened();
    void endSearch();
    /// How the search's folds run (on a worker thread in the window); at once when not given.
    void runSearchFoldsWith(directory::ChannelSearch::Worker worker) {
        search_.setWorker(std::move(worker));
    }
    /// How many found channels the tree shows at most; one more line counts the rest.
    static constexpr std::size_t kShownResults = 1000;
    /// More directory lines a search finds, after the directory's own matches (channels whose
    /// programme titles match, from the programme guide); nothing where it is not set.
    std::function<std::vector<std::string>(const std::string& query)> alsoFound;

    /// Adds channels (directory lines, as favorites::ChannelsToImport reads them from a list) to
    /// the favourites, each once, as the favourite button would. Returns how many were added;
    /// nothing changes and the favourites message is shown when the file cannot be written.
    int addFavorites(std::string_view channels);
    /// The favourites as an M3U8 playlist.
    std::string exportFavorites() const;

    /// Shows channels found outside the directory (directory lines, at most kShownResults) in
    /// the tree as the search shows what it found, and starts the one at index as a click on it
    /// would.
    void playFound(const std::vector<std::string>& records, std::size_t index);

    /// Heard after a channel was started, its record being state().strCurrentRecord; and when
    /// the channel started last plays.
    std::function<void()> onChannelStarted;
    std::function<void()> onChannelPlays;

    /// The channel lists the user added beside the directory.
    directory::AddedLists& addedLists() { return lists_; }
    /// The check of the channels shown, and the marks of those that did not answer.
    playback::ChannelHealth& health() { return health_; }

    const state::MainState& state() const { return state_; }
    state::MainState& state() { return state_; }
    const state::ChannelList& channels() const { return channels_; }
    /// Next, previous, play and stop, and the volume, as keys, menus and media keys ask for them.
    playback::Listening& listening() { return listening_; }
    state::ChannelList& channels() { return channels_; }
    const state::Site& site() const { return site_; }

  private:
    void wireEvents();
    void loadConfig();
    void checkPlayer();
    void addedChannelsChanged();
    void directoryChanged();
    void showSearch();

    state::MainControls& controls_;
    state::Site site_;
    state::MainState state_;
    state::ChannelList channels_{controls_.trView};
    directory::ChannelSearch search_;
    // The query typed last and not yet answered, for want of a folded directory.
    std::string unansweredQuery_;
    bool searchOpen_ = false;
    state::MainContext ctx_{state_, controls_, channels_};
    playback::ChannelHealth health_{ctx_, controls_.streamChecker};
    playback::Listening listening_{ctx_,
                                   {[this] { trView_Click(); }, [this] { cmdStopButton_Click(); },
                                    [this] {
                                        health_.played(state_.strCurrentRecord);
                                        if (onChannelPlays)
                                            onChannelPlays();
                                    }}};
    directory::AddedLists lists_{ctx_, controls_.listFetcher};
    // The added lists are fetched once a run, after the directory.
    bool listsFetched_ = false;
};

}  // namespace qova::app
