#pragma once

#include <string_view>

#include "app/main_context.h"
#include "app/site.h"

namespace qova::playback {

inline constexpr const char* kPlayerFile = "Player.html";
inline constexpr const char* kMessageSelectChannel = "Please select the channel to play.";

/// A click in the channel tree: starts the selected channel unless it is the one started last,
/// takes the highlight off the node started before, and sets the favourite button's picture.
void TreeClick(app::MainContext& ctx, const app::Site& site);

/// Plays the record of the selected node with the player its line asks for.
void PlayChannel(app::MainContext& ctx, const app::Site& site);

void ShowMediaPlayerPage(app::MainContext& ctx, const app::Site& site, std::string_view record);
void ShowRealPlayerPage(app::MainContext& ctx, const app::Site& site, std::string_view record);
void ShowWinampPage(app::MainContext& ctx, const app::Site& site, std::string_view record);

/// The stop button: a blank player area, and no channel counted as started.
void StopPlayback(app::MainContext& ctx);

}  // namespace qova::playback
