#pragma once

#include "platform/combo_box.h"
#include "platform/desktop.h"
#include "platform/form_window.h"
#include "platform/list_fetcher.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/picture_button.h"
#include "platform/player_overlay.h"
#include "platform/player_probe.h"
#include "platform/secondary_windows.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/stream_checker.h"
#include "platform/text_files.h"
#include "platform/tree_view.h"
#include "platform/web_browser.h"
#include "state/shared_strings.h"

namespace qova::state {

/// The controls and platform services the main window's logic works through. The window
/// provides real ones; tests provide fakes.
struct MainControls {
    platform::FormWindow& window;
    platform::WebBrowser& wbDownload;
    platform::WebBrowser& wbMain;
    /// The engine behind wbMain, for what its pages cannot carry.
    platform::MediaPlayer& player;
    platform::WebBrowser& wbArea;
    platform::TreeView& trView;
    platform::ComboBox& cmbCountry;
    platform::PictureButton& cmdFavorite;
    platform::PictureButton& cmdAddFav;
    platform::PictureButton& cmdRemoveFav;
    platform::MessageBox& messages;
    platform::PlayerProbe& probe;
    platform::Shell& shell;
    platform::TextFiles& files;
    platform::SecondaryWindows& windows;
    SharedStrings& shared;
    // Beyond the window's own controls: what the player area shows over the picture, the
    // settings kept between runs, the desktop's media keys and screen saver, the fetching of
    // the channel lists a user added, and the checking of channels.
    platform::PlayerOverlay& overlay;
    platform::Settings& settings;
    platform::DesktopPlayer& desktop;
    platform::ScreenSaver& screenSaver;
    platform::ListFetcher& listFetcher;
    platform::StreamChecker& streamChecker;
};

}  // namespace qova::state
