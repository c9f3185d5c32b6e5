#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "fakes/fake_main.h"

namespace qova::directory {

using Strings = std::vector<std::string>;

/// A Config.txt naming a directory on a server.
inline const std::string kConfig = "URLTXT=http://127.0.0.1:1/channels.txt\r\n";

/// The main window's logic on fakes, loaded with a Config.txt, the player there, and files
/// that a test puts in before the load.
struct LoadedMain {
    explicit LoadedMain(const std::string& config = kConfig,
                        const std::map<std::string, std::string>& files = {}) {
        f.files.files = files;
        f.files.files["Config.txt"] = config;
        f.probe.results["rmocx.RealPlayer G2 Control"] = platform::ProbeResult::Object;
        f.cmdFavorite.setPicture(f.cmdAddFav.picture());
        form.Form_Load();
    }
    fakes::FakeMain f;
    app::MainForm form{f.controls, state::Site{"http://127.0.0.1:1", "help@127.0.0.1"}};
};

/// One loaded main window per test.
class DirectoryTest : public ::testing::Test {
  protected:
    /// The directory page arrives with this text.
    void download(const std::string& page) { f.wbDownload.complete(page); }
    std::string channelFile() const { return f.files.files.at("Channel.txt"); }
    state::MainState& state() { return form.state(); }
    state::ChannelList& channels() { return form.channels(); }
    /// Counts a node as playing, as a click on it would.
    void playing(int node) { channels().setPlayingNode(node, f.cmbCountry.backColour()); }
    state::MainContext context() { return {state(), f.controls, channels()}; }

    LoadedMain main;
    fakes::FakeMain& f = main.f;
    app::MainForm& form = main.form;
};

}  // namespace qova::directory
