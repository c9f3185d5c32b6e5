#include "playback/playback.h"

#include <optional>
#include <string>

#include "directory/channel_record.h"
#include "platform/text.h"
#include "playback/player_pages.h"
#include "state/local_sources.h"
#include "state/messages.h"

namespace qova::playback {
namespace {

using platform::ProbeResult;

std::optional<std::string> streamUrl(std::string_view record) {
    std::string_view url;
    if (!platform::fieldAt(record, directory::kStreamUrl, url))
        return std::nullopt;
    return std::string(url);
}

void showSoftwareRequired(state::MainContext& ctx, const state::Site& site, const char* player,
                          const char* download) {
    state::SharedStrings& shared = ctx.controls.shared;
    shared.strSoftHeading = "This channel requires:";
    shared.strSoftCenter = player;
    shared.strSoftDownload = download;
    shared.strSoftUrl = site.page("/software.html");
    ctx.controls.windows.showSoftRequired();
}

void showRealPlayerRequired(state::MainContext& ctx, const state::Site& site) {
    showSoftwareRequired(ctx, site, "REAL PLAYER", "Click here to download the Real Player");
}

}  // namespace

bool TreeClick(state::MainContext& ctx, const state::Site& site) {
    platform::TreeView& tree = ctx.controls.trView;
    const int selected = tree.selectedIndex();
    // A line that stands for no channel (the count of search results not shown) starts nothing.
    if (selected == 0 || ctx.channels.record(selected) == nullptr)
        return false;
    // Once its stream failed or its tries are over, the channel started last is not playing:
    // the click is a try again.
    if (selected == ctx.channels.intPlayingNode() &&
        ctx.controls.player.state() != platform::MediaPlayer::State::Stopped)
        return false;
    ctx.channels.setPlayingNode(selected, ctx.controls.cmbCountry.backColour());
    const platform::PictureButton& source =
        tree.nodeImage(selected) != 0 ? ctx.controls.cmdRemoveFav : ctx.controls.cmdAddFav;
    ctx.controls.cmdFavorite.setPicture(source.picture());
    PlayChannel(ctx, site);
    return true;
}

void PlayChannel(state::MainContext& ctx, const state::Site& site) {
    const int selected = ctx.controls.trView.selectedIndex();
    if (selected == 0) {
        ctx.controls.messages.show(state::kMessageSelectChannel);
        return;
    }
    const std::string* record = ctx.channels.record(selected);
    if (record == nullptr)
        return;
    ctx.state.strCurrentRecord = *record;
    const std::string line = *record;
    // Decided for this start from where the line came: a file here plays only from a list that
    // is itself a file here.
    ctx.controls.player.allowLocalFile(
        state::LocalSources(ctx).allowLocalFile(line) ? streamUrl(line).value_or("") : "");
    switch (ChoosePlayer(GetStreamKind(line))) {
        case PlayerKind::RealPlayer:
            ShowRealPlayerPage(ctx, site, line);
            break;
        case PlayerKind::Winamp:
            ShowWinampPage(ctx, site, line);
            break;
        case PlayerKind::MediaPlayer:
            ShowMediaPlayerPage(ctx, site, line);
            break;
    }
}

void ShowMediaPlayerPage(state::MainContext& ctx, const state::Site& site,
                         std::string_view record) {
    // A line with no address gives a page whose player has nothing to play.
    const std::string url = streamUrl(record).value_or("");
    if (GetUrlPrefix(url) == "rtsp") {
        ShowRealPlayerPage(ctx, site, record);
        return;
    }
    platform::TextFiles& files = ctx.controls.files;
    if (!files.exists(kPlayerFile))
        return;
    // A page made anew for every channel: no waiting for the disk on the way to the picture.
    if (!files.replaceWithLine(kPlayerFile, MediaPlayerPage(url, site),
                               platform::Durability::Scratch)) {
        // The old page would play the channel before: better to say so than to play that.
        ctx.controls.messages.show("The player page \"" + files.path(kPlayerFile) +
                                   "\" cannot be written, so the channel cannot be shown.");
        return;
    }
    ctx.controls.wbMain.navigate2(files.path(kPlayerFile));
}

void ShowRealPlayerPage(state::MainContext& ctx, const state::Site& site, std::string_view record) {
    bool found = false;
    for (const char* progId : platform::kRealPlayerProgIds) {
        const ProbeResult result = ctx.controls.probe.probePlayerControl(progId);
        if (result == ProbeResult::Failure) {
            showRealPlayerRequired(ctx, site);
            return;
        }
        if (result == ProbeResult::Object) {
            found = true;
            break;
        }
    }
    if (!found)
        ctx.controls.messages.show(state::kMessageInstallRealPlayer);
    const auto url = streamUrl(record);
    if (!url) {
        showRealPlayerRequired(ctx, site);
        return;
    }
    ctx.controls.wbMain.navigate(RealPlayerAddress(*url));
}

void ShowWinampPage(state::MainContext& ctx, const state::Site& site, std::string_view record) {
    ProbeResult result = ctx.controls.probe.probePlayerControl(platform::kWinampProgIds[0]);
    if (result == ProbeResult::NoObject) {
        result = ctx.controls.probe.probePlayerControl(platform::kWinampProgIds[1]);
    }
    const auto url = streamUrl(record);
    if (result == ProbeResult::Failure || !url) {
        showSoftwareRequired(ctx, site, "WINAMP", "Click here to download the Winamp Player");
        return;
    }
    ctx.controls.wbMain.navigate(WinampAddress(*url));
}

void StopPlayback(state::MainContext& ctx) {
    ctx.state.strCurrentRecord.clear();
    ctx.controls.wbMain.navigate(state::kBlankPlayerPage);
    ctx.channels.forgetPlayingNode();
}

}  // namespace qova::playback
