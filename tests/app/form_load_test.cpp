#include <gtest/gtest.h>

#include "app/main_form.h"
#include "fakes/fake_main.h"

namespace qova::app {
namespace {

using platform::ProbeResult;

class FormLoadTest : public ::testing::Test {
  protected:
    FormLoadTest() {
        site.address = "http://127.0.0.1:9";
        f.probe.results[platform::kRealPlayerProgIds[0]] = ProbeResult::Object;
    }
    fakes::FakeMain f;
    state::Site site;
};

TEST_F(FormLoadTest, NavigatesEveryConfiguredLineAndKeepsTheLastKey) {
    f.files.files["config.TXT"] = "OTHER=http://a/x\r\nurltxt=http://b/c?d=e\r\n";
    f.window.height = 10500;
    MainForm form(f.controls, site);
    form.state().strNavError = "404";
    form.Form_Load();
    EXPECT_EQ(f.wbDownload.navigations, (std::vector<std::string>{"http://a/x", "http://b/c?d"}));
    EXPECT_EQ(form.state().strConfigKey, "urltxt");
    EXPECT_FALSE(f.player.localFilesAllowed);
    EXPECT_EQ(form.state().intFormHeight, 10500);
    EXPECT_EQ(form.state().strNavError, "");
    EXPECT_EQ(f.wbMain.navigations,
              (std::vector<std::string>{
                  "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"></body>"}));
    EXPECT_EQ(f.wbArea.navigations, (std::vector<std::string>{"http://127.0.0.1:9/info3.html"}));
    // The player is there: no message, and the tree turns grey at once.
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_EQ(f.probe.probed.size(), 1u);
    EXPECT_EQ(f.trView.back, platform::Colour::fromValue(13421772));
}

TEST_F(FormLoadTest, AMissingConfigFileIsNamedAndTheWindowStillLoads) {
    MainForm form(f.controls, site);
    form.Form_Load();
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_NE(f.messages.shown[0].find("/program/Config.txt"), std::string::npos);
    EXPECT_TRUE(f.wbDownload.navigations.empty());
    EXPECT_EQ(f.wbMain.navigations.size(), 1u);
    EXPECT_EQ(f.wbArea.navigations.size(), 1u);

    fakes::FakeMain unreadable;
    unreadable.files.files["Config.txt"] = "URLTXT=x";
    unreadable.files.unreadable.insert("config.txt");
    MainForm other(unreadable.controls, site);
    other.Form_Load();
    EXPECT_EQ(unreadable.messages.shown.size(), 2u);  // the file, then the missing player
    EXPECT_TRUE(unreadable.wbDownload.navigations.empty());
}

TEST_F(FormLoadTest, LocalStreamsPlayOnlyFromADirectoryOnThisComputer) {
    for (const auto& [config, allowed] : {std::pair{"URLTXT=file:///opt/qova/demo.txt", true},
                                          {"URLTXT=/opt/qova/demo.txt", true},
                                          {"URLTXT=FILE:relative.txt", true},
                                          {"URLTXT=http://h/list.txt\nU=file:///x", true},
                                          {"URLTXT=file:///x\nURLTXT=https://h/list", false}}) {
        fakes::FakeMain main;
        main.files.files["Config.txt"] = config;
        MainForm(main.controls, site).Form_Load();
        EXPECT_EQ(main.player.localFilesAllowed, allowed) << config;
    }
}

TEST(FormLoad, PlayerCheckFollowsTheProbeOutcomes) {
    using R = ProbeResult;
    const platform::Colour grey = platform::Colour::rgb(204, 204, 204);
    const struct {
        R first, second, third;
        std::size_t probes;
        const char* message;  // nullptr for none
        bool grey;
    } cases[] = {
        {R::Object, R::Failure, R::Failure, 1, nullptr, true},
        {R::NoObject, R::Object, R::Failure, 2, nullptr, true},
        {R::NoObject, R::NoObject, R::Object, 3, nullptr, true},
        // No object from any: a hint, and start-up goes on.
        {R::NoObject, R::NoObject, R::NoObject, 3, "Please install Real Media Player.", true},
        // A creation fails: the other message, and the load ends before the grey.
        {R::Failure, R::Object, R::Object, 1, "This software required Real Media Player.", false},
        {R::NoObject, R::Failure, R::Object, 2, "This software required Real Media Player.", false},
    };
    for (const auto& c : cases) {
        fakes::FakeMain f;
        f.files.files["Config.txt"] = "URLTXT=x";
        int i = 0;
        for (const R result : {c.first, c.second, c.third})
            f.probe.results[platform::kRealPlayerProgIds[i++]] = result;
        MainForm form(f.controls, state::Site{});
        form.Form_Load();
        EXPECT_EQ(f.probe.probed.size(), c.probes);
        EXPECT_EQ(f.messages.shown,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(f.trView.back == grey, c.grey);
    }
}

}  // namespace
}  // namespace qova::app
