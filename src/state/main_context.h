#pragma once

#include "state/channel_list.h"
#include "state/main_controls.h"
#include "state/main_state.h"

namespace qova::state {

/// The main window's state together with the controls its handlers act on.
struct MainContext {
    MainState& state;
    MainControls& controls;
    ChannelList& channels;
};

/// The file names of the program's folder.
inline constexpr const char* kConfigFile = "Config.txt";
inline constexpr const char* kChannelFile = "Channel.txt";
inline constexpr const char* kFavoritesFile = "favorites.txt";

/// The empty black page of the player area.
inline constexpr const char* kBlankPlayerPage =
    "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"></body>";

}  // namespace qova::state
