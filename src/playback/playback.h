#pragma once

#include <string_view>

#include "state/main_context.h"
#include "state/site.h"

namespace qova::playback {

inline constexpr const char* kPlayerFile = "Player.html";

/// A click in the channel tree: starts the selected channel unless it is the one started last and
/// the player still plays, opens or tries it, takes the highlight off the node started before,
/// and sets the favourite button's picture. A node without a record starts nothing. Returns
/// whether it started the channel.
bool TreeClick(state::MainContext& ctx, const state::Site& site);

/// Plays the record of the selected node with the player its line asks for.
void PlayChannel(state::MainContext& ctx, const state::Site& site);

void ShowMediaPlayerPage(state::MainContext& ctx, const state::Site& site, std::string_view record);
void ShowRealPlayerPage(state::MainContext& ctx, const state::Site& site, std::string_view record);
void ShowWinampPage(state::MainContext& ctx, const state::Site& site, std::string_view record);

/// The stop button: a blank player area, and no channel counted as started.
void StopPlayback(state::MainContext& ctx);

}  // namespace qova::playback
