#pragma once

#include <string>
#include <string_view>

#include "state/main_context.h"

namespace qova::favorites {

inline constexpr const char* kFilterAll = "All";

/// Fills the tree with the favourites that pass the filter chosen in the country list ("All",
/// or a category), in file order, each starred, its record beside it.
void ShowFavorites(state::MainContext& ctx);

/// The favourites button: the country list becomes the category filter and the tree shows
/// every favourite. Does nothing before the directory has been processed.
void OpenFavoritesView(state::MainContext& ctx);

/// The favourite button: adds the selected channel to the favourites, or removes it. A change
/// that cannot be written leaves file, favourites text, star and tree as they were, and says so.
void ToggleFavorite(state::MainContext& ctx);

/// The channels of a list (a playlist, a station list or directory lines) as directory lines,
/// each once, in the list's order: the reading of "Import favourites", which needs nothing of the
/// window and so runs on a worker thread.
std::string ChannelsToImport(std::string_view list);

/// Adds those of the channels (directory lines) that are not among the favourites yet, each once,
/// in one append as safe as the favourite button's. Returns how many were added; when they
/// cannot be written none is, and the user is told.
int AddFavorites(state::MainContext& ctx, std::string_view channels);

/// Takes the first whole line equal to a record out of a text of CR LF-ended lines; false
/// when no line equals it.
bool RemoveFirstLine(std::string& text, std::string_view record);

}  // namespace qova::favorites
