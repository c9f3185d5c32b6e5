#pragma once

#include "fakes/fake_controls.h"
#include "fakes/fake_list_fetcher.h"
#include "fakes/fake_text_files.h"
#include "state/main_controls.h"

namespace qova::fakes {

/// A full set of fake controls for the main window's logic.
struct FakeMain {
    FakeFormWindow window;
    FakeWebBrowser wbDownload, wbMain, wbArea;
    FakeMediaPlayer player;
    FakeTreeView trView;
    FakeComboBox cmbCountry;
    FakePictureButton cmdFavorite{"add"}, cmdAddFav{"add"}, cmdRemoveFav{"remove"};
    FakeMessageBox messages;
    FakePlayerProbe probe;
    FakeShell shell;
    FakeTextFiles files;
    FakeSecondaryWindows windows;
    state::SharedStrings shared;
    FakeOverlay overlay;
    FakeSettings settings;
    FakeDesktopPlayer desktop;
    FakeScreenSaver screenSaver;
    FakeListFetcher lists;
    FakeStreamChecker checker;

    state::MainControls controls{
        window,    wbDownload,   wbMain,   player,      wbArea, trView, cmbCountry, cmdFavorite,
        cmdAddFav, cmdRemoveFav, messages, probe,       shell,  files,  windows,    shared,
        overlay,   settings,     desktop,  screenSaver, lists,  checker};
};

}  // namespace qova::fakes
