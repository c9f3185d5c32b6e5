#pragma once

#include <string>
#include <string_view>

#include "state/site.h"

namespace qova::playback {

/// The media players a channel may need.
enum class PlayerKind { MediaPlayer, RealPlayer, Winamp };

/// The three characters before a record line's last three, lower-cased: for a line that ends
/// in "live.asf|EN" that is "asf". Characters, not bytes: "live.asf|DÉ" is "asf" too. A line
/// too short to have them has no kind ("").
std::string GetStreamKind(std::string_view line);

/// The player that serves a stream kind; the media player serves every kind it does not know.
PlayerKind ChoosePlayer(std::string_view kind);

/// The first four characters (not bytes) of an address, lower-cased.
std::string GetUrlPrefix(std::string_view address);

/// An address made safe to stand inside markup: & < > " and ' become entities. The player
/// browser reads them back, so the player gets the address as the directory gives it.
std::string EscapeForMarkup(std::string_view text);

/// The page of the media player, one line without its line break.
std::string MediaPlayerPage(std::string_view streamUrl, const state::Site& site);
/// The "about:" addresses that carry the pages of the other two players.
std::string RealPlayerAddress(std::string_view streamUrl);
std::string WinampAddress(std::string_view streamUrl);

}  // namespace qova::playback
