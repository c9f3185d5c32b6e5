#include "directory/directory_download.h"

#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

const char* kPage = "France|Video|A|u1|EN\r\nItaly|Radio|B|u2|EN";

TEST(DirectoryNavigation, EveryFailureIsRecordedAndKeepsTheStoredDirectory) {
    const std::string stored = "Spain|Video|Old|u|EN\r\n";
    // Only two failures are explained to the user.
    const std::map<std::int32_t, Strings> told = {
        {404, {"Required Channels file does not excist."}},
        {-2146697211, {"Internet connection is not available."}}};
    for (const std::int32_t code : {404, -2146697211, 500, -2146697208, 403}) {
        LoadedMain m("URLTXT=http://127.0.0.1:1/x", {{"Channel.txt", stored}});
        // The message box is open while the error page completes.
        m.f.messages.whileOpen = [&] {
            EXPECT_EQ(m.form.state().strNavError, std::to_string(code));
        };
        m.f.wbDownload.fail(code);
        EXPECT_EQ(m.f.messages.shown, told.count(code) ? told.at(code) : Strings{}) << code;
        EXPECT_EQ(m.form.state().strNavError, std::to_string(code));
        EXPECT_EQ(m.f.cmbCountry.items, (Strings{"Select Country", "Spain"})) << code;
        // Once an error is recorded, no later page replaces the file in this run.
        m.f.wbDownload.complete(kPage);
        EXPECT_EQ(m.f.files.files.at("Channel.txt"), stored) << code;
    }
}

TEST(DirectoryNavigation, WithAnotherKeyThePageIsStoredButNotProcessed) {
    LoadedMain other("URLTXT=http://a\r\nOTHER=http://b\r\n");
    other.f.wbDownload.complete(kPage);
    EXPECT_EQ(other.f.files.files.at("Channel.txt"), std::string(kPage) + "\r\n");
    EXPECT_EQ(other.f.cmbCountry.count(), 0);
    EXPECT_EQ(other.form.state().strCategory, "");
}

TEST_F(DirectoryTest, EmptyPagesAndUnwritableFilesLeaveTheStoredDirectory) {
    f.files.files["Channel.txt"] = "Spain|Video|Old|u|EN\r\n";
    download("");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "Spain"}));

    // A page that arrives before its document is complete stores nothing.
    f.wbDownload.readyState_ = platform::WebBrowser::kReadyStateLoading;
    f.wbDownload.body_ = kPage;
    f.wbDownload.onDocumentComplete("");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");

    // A file that cannot be written stays as it was; this run goes on with the page.
    f.files.unwritable.insert("channel.txt");
    download(kPage);
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "Spain", "France"}));
}

TEST_F(DirectoryTest, APageWithoutChannelsNeverReplacesADirectoryWithThem) {
    const std::string portal = "<html>Please log in to use the network</html>\r\nx|y";
    f.files.files["Channel.txt"] = "Spain|Video|Old|u|EN\r\n";
    download(portal);
    EXPECT_EQ(f.messages.shown, (Strings{"Internet connection is not available."}));
    EXPECT_EQ(state().strNavError, "-2146697211");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "Spain"}));

    // With nothing worth keeping, the page is stored as it came.
    LoadedMain first("URLTXT=http://127.0.0.1:1/x", {{"Channel.txt", "no|channel\r\n"}});
    first.f.wbDownload.complete(portal);
    EXPECT_TRUE(first.f.messages.shown.empty());
    EXPECT_EQ(first.f.files.files.at("Channel.txt"), portal + "\r\n");
}

TEST_F(DirectoryTest, APageIsReadOnceAwayFromTheWindowAndWhatWasFoundThereIsTaken) {
    // A playlist that names no channel: its conversion on the browser's worker found none.
    const std::string noChannel = "#EXTM3U\r\n#EXTINF:-1,No address\r\n";
    f.files.files["Channel.txt"] = "Spain|Video|Old|u|EN\r\n";
    download(noChannel);
    EXPECT_EQ(state().strNavError, "-2146697211");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    // With nothing worth keeping, the page is stored as it came, not converted a second time.
    LoadedMain first("URLTXT=http://127.0.0.1:1/x", {{"Channel.txt", "no|channel\r\n"}});
    first.f.wbDownload.complete(noChannel);
    EXPECT_EQ(first.f.files.files.at("Channel.txt"), noChannel + "\r\n");

    // What the worker made of the page and what it found there are the window's to take as they
    // are: whatever the text looks like, it is not read as a list again.
    const std::string playlist = "#EXTM3U\r\n#EXTINF:-1 tvg-country=\"FR\",Un\r\nhttp://h/un\r\n";
    LoadedMain trusting("URLTXT=http://127.0.0.1:1/x");
    int conversions = 0;
    trusting.f.wbDownload.setTextTransform([&](std::string& text) {
        ++conversions;
        return ListPageAsDirectoryLines(text);
    });
    trusting.f.wbDownload.complete(playlist);
    EXPECT_EQ(conversions, 1);
    EXPECT_EQ(trusting.f.files.files.at("Channel.txt"), "France|Video|Un|http://h/un|\r\n\r\n");
    trusting.f.wbDownload.setTextTransform([](std::string&) { return true; });
    trusting.f.wbDownload.complete(playlist);
    EXPECT_EQ(trusting.f.files.files.at("Channel.txt"), playlist + "\r\n");
}

TEST_F(DirectoryTest, FavouritesAreReadAtEveryProcessing) {
    // Without a favourites file nothing fails, and none is made.
    download(kPage);
    EXPECT_EQ(state().strFavorites, "");
    EXPECT_FALSE(f.files.exists("favorites.txt"));
    // Read afresh rather than added to: the text mirrors the file.
    f.files.files["favorites.txt"] = "France|Video|A|u1|EN\r\n";
    download(kPage);
    EXPECT_EQ(state().strFavorites, "France|Video|A|u1|EN\r\n");
    f.files.files["favorites.txt"] += "Italy|Radio|B|u2|EN";
    download(kPage);
    EXPECT_EQ(state().strFavorites, "France|Video|A|u1|EN\r\nItaly|Radio|B|u2|EN\r\n");
}

}  // namespace
}  // namespace qova::directory
