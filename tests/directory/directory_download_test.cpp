#include "directory/directory_download.h"

#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

const char* kPage = "France|Video|A|u1|EN\r\nItaly|Radio|B|u2|EN";

TEST_F(DirectoryTest, TheLoadedPageIsStoredWithOneCrLfAndProcessed) {
    download(kPage);
    EXPECT_EQ(channelFile(), std::string(kPage) + "\r\n");
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"Select Country", "France"}));
    EXPECT_EQ(f.cmbCountry.text(), "Select Country");
    EXPECT_TRUE(f.trView.nodes.empty());
    EXPECT_TRUE(f.messages.shown.empty());

    // A page that ends with a line break leaves an empty last line in the file.
    download("France|Video|A|u1|EN\r\n");
    EXPECT_EQ(channelFile(), "France|Video|A|u1|EN\r\n\r\n");
    EXPECT_EQ(state().colVideoCountries.count(), 1);
}

TEST_F(DirectoryTest, ANavigationErrorKeepsTheStoredDirectoryAndUsesIt) {
    f.files.files["Channel.txt"] = "Spain|Video|Old|u|EN\r\n";
    // The message box is open while the error page completes.
    f.messages.whileOpen = [&] { EXPECT_FALSE(state().strNavError.empty()); };
    f.wbDownload.fail(404);
    EXPECT_EQ(f.messages.shown,
              (std::vector<std::string>{"Required Channels file does not excist."}));
    EXPECT_EQ(state().strNavError, "404");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"Select Country", "Spain"}));

    // Once an error is recorded, no later page replaces the file in this run.
    download(kPage);
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
}

TEST_F(DirectoryTest, EveryFailedNavigationIsRecordedButOnlyTwoAreExplained) {
    f.files.files["Channel.txt"] = "Spain|Video|Old|u|EN\r\n";
    f.wbDownload.fail(-2146697211);
    EXPECT_EQ(f.messages.shown,
              (std::vector<std::string>{"Internet connection is not available."}));
    EXPECT_EQ(state().strNavError, "-2146697211");

    for (std::int32_t code : {500, -2146697208, 403}) {
        LoadedMain other("URLTXT=http://127.0.0.1:1/x",
                         {{"Channel.txt", "Spain|Video|Old|u|EN\r\n"}});
        fakes::FakeMain& g = other.f;
        g.wbDownload.fail(code);
        EXPECT_TRUE(g.messages.shown.empty()) << code;
        EXPECT_EQ(other.form.state().strNavError, std::to_string(code));
        EXPECT_EQ(g.files.files.at("Channel.txt"), "Spain|Video|Old|u|EN\r\n") << code;
        EXPECT_EQ(g.cmbCountry.items, (std::vector<std::string>{"Select Country", "Spain"}));
    }
}

TEST_F(DirectoryTest, WithAnotherKeyThePageIsStoredButNotProcessed) {
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
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"Select Country", "Spain"}));

    // A page that arrives before its document is complete stores nothing.
    f.wbDownload.readyState_ = platform::WebBrowser::kReadyStateLoading;
    f.wbDownload.body_ = kPage;
    f.wbDownload.onDocumentComplete("");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");

    // A file that cannot be written stays as it was; this run goes on with the page.
    f.files.unwritable.insert("channel.txt");
    download(kPage);
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"Select Country", "Spain", "France"}));
}

TEST_F(DirectoryTest, APageWithoutChannelsNeverReplacesADirectoryWithThem) {
    const std::string portal = "<html>Please log in to use the network</html>\r\nx|y";
    f.files.files["Channel.txt"] = "Spain|Video|Old|u|EN\r\n";
    download(portal);
    EXPECT_EQ(f.messages.shown,
              (std::vector<std::string>{"Internet connection is not available."}));
    EXPECT_EQ(state().strNavError, "-2146697211");
    EXPECT_EQ(channelFile(), "Spain|Video|Old|u|EN\r\n");
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"Select Country", "Spain"}));

    // With nothing worth keeping, the page is stored as it came.
    LoadedMain first("URLTXT=http://127.0.0.1:1/x", {{"Channel.txt", "no|channel\r\n"}});
    first.f.wbDownload.complete(portal);
    EXPECT_TRUE(first.f.messages.shown.empty());
    EXPECT_EQ(first.f.files.files.at("Channel.txt"), portal + "\r\n");
}

TEST_F(DirectoryTest, FavouritesAreReadAtEveryProcessing) {
    f.files.files["favorites.txt"] = "France|Video|A|u1|EN\r\n";
    download(kPage);
    EXPECT_EQ(state().strFavorites, "France|Video|A|u1|EN\r\n");
    f.cmbCountry.choose("France");
    ASSERT_EQ(f.trView.nodeCount(), 1);
    EXPECT_EQ(f.trView.nodeImage(1), 2);
    // Read afresh at every processing: the text mirrors the file.
    f.files.files["favorites.txt"] += "Italy|Radio|B|u2|EN";
    download(kPage);
    EXPECT_EQ(state().strFavorites, "France|Video|A|u1|EN\r\nItaly|Radio|B|u2|EN\r\n");

    // Without a favourites file nothing is starred and nothing fails.
    LoadedMain other;
    other.f.wbDownload.complete(kPage);
    EXPECT_EQ(other.form.state().strFavorites, "");
    EXPECT_FALSE(other.f.files.exists("favorites.txt"));
}

}  // namespace
}  // namespace qova::directory
