#pragma once

#include "state/main_context.h"

namespace qova::directory {

/// The colours every node of the channel tree gets, and the tree's own background.
inline constexpr platform::Colour kListBackColour = platform::Colour::rgb(204, 204, 204);
inline constexpr platform::Colour kListForeColour = platform::Colour::rgb(76, 76, 76);
/// The image of a favourite's node: the filled star.
inline constexpr int kFavouriteImage = 2;

/// A rebuild of the channel tree and of the records behind its nodes. Begin empties both and
/// hides the tree's redrawing; end shows the tree again with its grey background.
void BeginTreeRebuild(state::MainContext& ctx);
void EndTreeRebuild(state::MainContext& ctx);

/// Adds one node for a record, with the star when it is a favourite and the country list's
/// colours, and its record at the same position.
void AddChannelNode(state::MainContext& ctx, std::string_view record, std::string_view name,
                    bool favourite);

/// Fills the tree with the channels of Channel.txt in the current category and the country
/// chosen in the country list, in file order, favourites starred.
void FillTreeFromDirectory(state::MainContext& ctx);

}  // namespace qova::directory
