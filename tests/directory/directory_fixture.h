#pragma once

#include <gtest/gtest.h>

#include "app/main_form.h"
#include "fakes/fake_main.h"

namespace qova::directory {

/// The main window's logic on fakes, loaded with a Config.txt that asks for the directory.
class DirectoryTest : public ::testing::Test {
protected:
    DirectoryTest() {
        f.files.files["Config.txt"] = "URLTXT=http://127.0.0.1:1/channels.txt\r\n";
        f.probe.results["rmocx.RealPlayer G2 Control"] = platform::ProbeResult::Object;
        f.cmdFavorite.setPicture(f.cmdAddFav.picture());
        form.Form_Load();
    }

    /// The directory page arrives with this text.
    void download(const std::string& page) { f.wbDownload.complete(page); }
    std::string channelFile() const { return f.files.files.at("Channel.txt"); }
    app::MainState& state() { return form.state(); }

    fakes::FakeMain f;
    app::MainForm form{f.controls, app::Site{"http://127.0.0.1:1", "help@127.0.0.1"}};
};

}  // namespace qova::directory
