#include "app/main_form.h"

#include <algorithm>
#include <utility>

#include "directory/channel_record.h"
#include "directory/channel_tree.h"
#include "directory/country_lists.h"
#include "directory/directory_download.h"
#include "directory/list_formats.h"
#include "favorites/favorites.h"
#include "platform/address_policy.h"
#include "platform/text.h"
#include "playback/playback.h"
#include "playback/player_pages.h"
#include "state/config.h"
#include "state/messages.h"

namespace qova::app {
MainForm::MainForm(state::MainControls& controls, state::Site site)
    : controls_(controls), site_(std::move(site)) {
    wireEvents();
}

MainForm::~MainForm() {
    controls_.cmbCountry.onClick = nullptr;
    controls_.trView.onClick = nullptr;
    controls_.cmdFavorite.onClick = nullptr;
    controls_.wbDownload.onDocumentComplete = nullptr;
    controls_.wbDownload.onNavigateError = nullptr;
}

void MainForm::wireEvents() {
    controls_.cmbCountry.onClick = [this] { cmbCountry_Click(); };
    controls_.trView.onClick = [this] { trView_Click(); };
    controls_.cmdFavorite.onClick = [this] { cmdFavorite_Click(); };
    controls_.wbDownload.onDocumentComplete = [this](const std::string&) {
        wbDownload_DocumentComplete();
    };
    controls_.wbDownload.onNavigateError = [this](const std::string&, std::int32_t code) {
        wbDownload_NavigateError(code);
    };
    controls_.wbDownload.setTextTransform(&directory::ListPageAsDirectoryLines);
    lists_.onChannelsChanged = [this] { addedChannelsChanged(); };
    search_.onFolded = [this] { showSearch(); };
}

void MainForm::addedChannelsChanged() {
    directoryChanged();
    directory::RefreshCountryLists(ctx_);
}

void MainForm::directoryChanged() {
    search_.invalidate();
    // Folded again at once while the search is open, for the next keystroke or the one waiting.
    if (searchOpen_)
        search_.prepare(ctx_);
}

void MainForm::Form_Load() {
    // The added lists' kept copies join the directory from its first showing on.
    lists_.load();
    health_.load();
    state_.intFormHeight = controls_.window.heightTwips();
    loadConfig();
    controls_.wbMain.navigate(state::kBlankPlayerPage);
    controls_.wbArea.navigate(site_.page("/info3.html"));
    state_.strNavError.clear();
    listening_.load();
    checkPlayer();
}

void MainForm::loadConfig() {
    const auto text = controls_.files.read(state::kConfigFile);
    if (!text) {
        controls_.messages.show("The configuration file \"" +
                                controls_.files.path(state::kConfigFile) +
                                "\" cannot be read, so no channel directory is loaded.");
        return;
    }
    // A relative path counts from the folder of the Config.txt that names it, as a link in a
    // page counts from the page's: the program folder, or the user's data folder for a
    // Config.txt of their own there.
    const std::string configPath = controls_.files.path(state::kConfigFile);
    const std::string configFolder = configPath.substr(0, configPath.rfind('/') + 1);
    for (const state::ConfigLine& line : state::parseConfig(text->view())) {
        state_.strConfigKey = line.key;
        state_.strDirectoryAddress = platform::resolvedAgainst(line.value, configFolder);
        controls_.wbDownload.navigate(state_.strDirectoryAddress);
    }
}

void MainForm::checkPlayer() {
    for (const char* progId : platform::kRealPlayerProgIds) {
        switch (controls_.probe.probePlayerControl(progId)) {
            case platform::ProbeResult::Object:
                controls_.trView.setBackColour(directory::kListBackColour);
                return;
            case platform::ProbeResult::Failure:
                controls_.messages.show(state::kMessageRealPlayerRequired);
                return;
            case platform::ProbeResult::NoObject:
                break;
        }
    }
    controls_.messages.show(state::kMessageInstallRealPlayer);
    controls_.trView.setBackColour(directory::kListBackColour);
}

void MainForm::cmbCountry_Click() {
    directory::BeginTreeRebuild(ctx_);
    if (platform::equalsIgnoreCase(state_.strCategory, directory::kCategoryFavorite)) {
        favorites::ShowFavorites(ctx_);
    } else {
        directory::FillTreeFromDirectory(ctx_);
    }
    directory::EndTreeRebuild(ctx_);
    health_.showMarks();
}

void MainForm::imgTV_Click() {
    directory::SwitchCategory(ctx_, directory::kCategoryVideo, [this] { cmbCountry_Click(); });
}

void MainForm::imgRadio_Click() {
    directory::SwitchCategory(ctx_, directory::kCategoryRadio, [this] { cmbCountry_Click(); });
}

void MainForm::wbDownload_DocumentComplete() {
    directory::DirectoryDocumentComplete(ctx_, [this] { cmbCountry_Click(); });
    directoryChanged();
    if (!std::exchange(listsFetched_, true))
        lists_.refreshAll();
}

void MainForm::search(const std::string& query) {
    searchOpen_ = true;
    if (query.find_first_not_of(" \t") == std::string::npos) {
        unansweredQuery_.clear();
        cmbCountry_Click();
        return;
    }
    unansweredQuery_ = query;
    if (search_.index() != nullptr)
        showSearch();
    else
        search_.prepare(ctx_);
}

void MainForm::showSearch() {
    const directory::SearchIndex* index = search_.index();
    if (index == nullptr || unansweredQuery_.empty())
        return;
    const std::string query = std::exchange(unansweredQuery_, {});
    directory::SearchIndex::Result found = index->find(query, kShownResults);
    if (alsoFound) {
        for (std::string& record : alsoFound(query)) {
            if (found.records.size() < kShownResults &&
                std::find(found.records.begin(), found.records.end(), record) ==
                    found.records.end()) {
                found.records.push_back(std::move(record));
                ++found.total;
            }
        }
    }
    directory::ShowSearchResults(ctx_, found);
    health_.showMarks();
}

void MainForm::searchOpened() {
    searchOpen_ = true;
    search_.prepare(ctx_);
}

void MainForm::endSearch() {
    searchOpen_ = false;
    unansweredQuery_.clear();
    cmbCountry_Click();
}

int MainForm::addFavorites(std::string_view channels) {
    const int added = favorites::AddFavorites(ctx_, channels);
    // The stars of the tree shown follow.
    if (added > 0)
        cmbCountry_Click();
    return added;
}

std::string MainForm::exportFavorites() const {
    return directory::ToM3u(state_.strFavorites);
}

void MainForm::playFound(const std::vector<std::string>& records, std::size_t index) {
    directory::SearchIndex::Result found;
    found.records.assign(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                records.size(), kShownResults)));
    found.total = found.records.size();
    directory::ShowSearchResults(ctx_, found);
    health_.showMarks();
    if (index >= found.records.size())
        return;
    controls_.trView.selectNode(static_cast<int>(index) + 1);
    trView_Click();
}

void MainForm::wbDownload_NavigateError(std::int32_t statusCode) {
    directory::DirectoryNavigateError(ctx_, statusCode);
}

}  // namespace qova::app

namespace qova::app {

void MainForm::trView_Click() {
    listening_.channelChosen(controls_.trView.selectedIndex());
    if (playback::TreeClick(ctx_, site_)) {
        listening_.channelStarted();
        if (onChannelStarted)
            onChannelStarted();
    }
}

void MainForm::imgFavorits_Click() {
    favorites::OpenFavoritesView(ctx_);
}

void MainForm::cmdFavorite_Click() {
    favorites::ToggleFavorite(ctx_);
}

void MainForm::cmdStopButton_Click() {
    playback::StopPlayback(ctx_);
    listening_.channelStopped();
}

void MainForm::imgHome_Click() {
    controls_.shell.open(site_.address);
}

void MainForm::imgTVOnDemand_Click() {
    controls_.shell.open(site_.page("/ondemand.html"));
}

void MainForm::imgVideoSearch_Click() {
    controls_.shell.open(site_.page("/video.html"));
}

void MainForm::imgStreamTest_Click() {
    controls_.shell.open(site_.page("/speedtest.html"));
}

void MainForm::mnuCont_Click() {
    controls_.shared.strCommonText = kContactText;
    controls_.shared.strCommonLink = site_.supportEmail;
    controls_.windows.showCommon();
}

void MainForm::mnuAboutUs_Click() {
    controls_.windows.showAbout();
}

}  // namespace qova::app
