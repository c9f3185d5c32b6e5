#include <gtest/gtest.h>

#include "app/main_form.h"
#include "fakes/fake_main.h"

namespace qova::app {
namespace {

using platform::ProbeResult;
using Strings = std::vector<std::string>;

TEST(FormLoad, NavigatesEveryConfiguredLineAndKeepsTheLastKey) {
    fakes::FakeMain f;
    f.files.files["config.TXT"] = "OTHER=http://a/x\r\nurltxt=http://b/c?d=e\r\n";
    f.window.height = 10500;
    MainForm form(f.controls, state::Site{"http://127.0.0.1:9"});
    form.state().strNavError = "404";
    form.Form_Load();
    EXPECT_EQ(f.wbDownload.navigations, (Strings{"http://a/x", "http://b/c?d"}));
    EXPECT_EQ(form.state().strConfigKey, "urltxt");
    EXPECT_EQ(form.state().intFormHeight, 10500);
    EXPECT_EQ(form.state().strNavError, "");
    EXPECT_EQ(f.wbMain.navigations, (Strings{state::kBlankPlayerPage}));
    EXPECT_EQ(f.wbArea.navigations, (Strings{"http://127.0.0.1:9/info3.html"}));
}

TEST(FormLoad, AConfigFileThatCannotBeReadIsNamedAndTheWindowStillLoads) {
    for (const bool present : {false, true}) {
        fakes::FakeMain f;
        if (present) {
            f.files.files["Config.txt"] = "URLTXT=x";
            f.files.unreadable.insert("config.txt");
        }
        MainForm(f.controls, state::Site{}).Form_Load();
        // The file is named first, and the player is still checked (here it cannot be made).
        ASSERT_EQ(f.messages.shown.size(), 2u) << present;
        EXPECT_NE(f.messages.shown[0].find("/program/Config.txt"), std::string::npos);
        EXPECT_EQ(f.messages.shown[1], "This software required Real Media Player.");
        EXPECT_TRUE(f.wbDownload.navigations.empty());
        EXPECT_EQ(f.wbMain.navigations.size(), 1u);
        EXPECT_EQ(f.wbArea.navigations.size(), 1u);
    }
}

// A relative URLTXT counts from the folder of the Config.txt that names it; an address written
// whole goes to the directory browser exactly as written.
TEST(FormLoad, ARelativeDirectoryCountsFromTheFolderOfConfigTxt) {
    for (const auto& [config, navigated] :
         {std::pair{"URLTXT=demo/directory.txt", "/program/demo/directory.txt"},
          {"URLTXT=-", "/program/-"},
          {"URLTXT=file:///opt/qova/demo.txt", "file:///opt/qova/demo.txt"},
          {"URLTXT=/opt/qova/demo.txt", "/opt/qova/demo.txt"},
          {"URLTXT=FILE:relative.txt", "FILE:relative.txt"},
          {"URLTXT=http://h/list.txt?a", "http://h/list.txt?a"},
          {"URLTXT=", ""}}) {
        fakes::FakeMain main;
        main.files.files["Config.txt"] = config;
        MainForm form(main.controls, state::Site{});
        form.Form_Load();
        EXPECT_EQ(main.wbDownload.navigations, Strings{navigated}) << config;
        EXPECT_EQ(form.state().strDirectoryAddress, navigated) << config;
    }
}

TEST(FormLoad, PlayerCheckFollowsTheProbeOutcomes) {
    using R = ProbeResult;
    const platform::Colour grey = platform::Colour::rgb(204, 204, 204);
    const Strings required{"This software required Real Media Player."};
    const struct {
        R results[3];
        std::size_t probes;
        Strings told;
        bool grey;
    } cases[] = {
        {{R::Object, R::Failure, R::Failure}, 1, {}, true},
        {{R::NoObject, R::Object, R::Failure}, 2, {}, true},
        {{R::NoObject, R::NoObject, R::Object}, 3, {}, true},
        // No object from any: a hint, and start-up goes on.
        {{R::NoObject, R::NoObject, R::NoObject}, 3, {"Please install Real Media Player."}, true},
        // A creation fails: the other message, and the load ends before the grey.
        {{R::Failure, R::Object, R::Object}, 1, required, false},
        {{R::NoObject, R::Failure, R::Object}, 2, required, false},
    };
    for (const auto& c : cases) {
        fakes::FakeMain f;
        f.files.files["Config.txt"] = "URLTXT=x";
        for (int i = 0; i < 3; ++i)
            f.probe.results[platform::kRealPlayerProgIds[i]] = c.results[i];
        MainForm(f.controls, state::Site{}).Form_Load();
        EXPECT_EQ(f.probe.probed.size(), c.probes);
        EXPECT_EQ(f.messages.shown, c.told);
        EXPECT_EQ(f.trView.back == grey, c.grey);
    }
}

}  // namespace
}  // namespace qova::app
