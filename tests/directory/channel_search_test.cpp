#include "directory/channel_search.h"

#include "directory/channel_tree.h"
#include "directory/directory_fixture.h"
#include "playback/listening.h"

namespace qova::directory {
namespace {

const char* kDirectory =
    "Österreich|Radio|Ö1 Klassik|u1|DE\r\n"
    "Austria|Video|ORF Eins|u2|DE\r\n"
    "Deutschland|Radio|Klassik Radio|u3|DE\r\n"
    "France|Radio|Radio Classique|u4|FR\r\n"
    "short|line\r\n";

TEST_F(DirectoryTest, SearchFindsEveryWordAcrossCountriesAndCategoriesFoldingAccents) {
    f.files.files["favorites.txt"] = "Deutschland|Radio|Klassik Radio|u3|DE\r\n";
    download(kDirectory);
    f.cmbCountry.choose("Austria");
    ASSERT_EQ(f.trView.texts(), (Strings{"ORF Eins"}));
    form.search("osterreich");
    EXPECT_EQ(f.trView.texts(), (Strings{"Ö1 Klassik \u2014 Österreich"}));
    form.search("  KLASSIK de ");
    EXPECT_EQ(f.trView.texts(),
              (Strings{"Ö1 Klassik \u2014 Österreich", "Klassik Radio \u2014 Deutschland"}));
    EXPECT_EQ(f.trView.nodeImage(2), kFavouriteImage);
    // A found channel plays as a click in the tree plays it.
    f.files.files["Player.html"] = "page\r\n";
    f.trView.click(2);
    EXPECT_EQ(state().strCurrentRecord, "Deutschland|Radio|Klassik Radio|u3|DE");
    form.search("nothing like it");
    EXPECT_EQ(f.trView.nodeCount(), 0);
    // An empty field brings the view back.
    form.search(" ");
    EXPECT_EQ(f.trView.texts(), (Strings{"ORF Eins"}));
}

TEST_F(DirectoryTest, SearchShowsTheFirstResultsAndCountsTheRestAddedListsIncluded) {
    std::string directory;
    for (int i = 0; i < 25; ++i)
        directory += "C|Video|News " + std::to_string(i) + "|u|EN\r\n";
    f.files.files["Channel.txt"] = directory;
    state().strAddedChannels = "D|Radio|Added News|u|EN\r\n";
    const state::MainContext ctx = context();
    ChannelSearch search;
    const ChannelSearch::Result found = search.find(ctx, "news", 10);
    EXPECT_EQ(found.records.size(), 10u);
    EXPECT_EQ(found.total, 26u);
    EXPECT_EQ(found.records.front(), "C|Video|News 0|u|EN");
    EXPECT_EQ(search.find(ctx, "added", 10).records, (Strings{"D|Radio|Added News|u|EN"}));
    // Kept until told the directory changed.
    f.files.files["Channel.txt"] = "C|Video|News 99|u|EN\r\n";
    EXPECT_EQ(search.find(ctx, "news", 10).total, 26u);
    search.invalidate();
    EXPECT_EQ(search.find(ctx, "news", 10).total, 2u);
}

// Beyond the results shown, one line counts the rest: no channel, whatever reaches it.
TEST_F(DirectoryTest, TheCountOfFurtherResultsIsNoChannel) {
    std::string directory;
    for (std::size_t i = 0; i <= app::MainForm::kShownResults; ++i)
        directory += "C|Video|News " + std::to_string(i) + "|u" + std::to_string(i) + "|EN\r\n";
    f.files.files["Player.html"] = "page\r\n";
    download(directory);
    f.cmbCountry.choose("C");
    form.search("news");
    const int count = f.trView.nodeCount();
    ASSERT_EQ(count, static_cast<int>(app::MainForm::kShownResults) + 1);
    ASSERT_EQ(f.trView.nodeText(count), "\u2026 and 1 more: type more words to narrow the search");
    const std::string last = "C|Video|News 999|u999|EN";
    playback::Listening& listening = form.listening();
    f.trView.click(count - 1);
    f.player.becomes(platform::MediaPlayer::State::Playing);
    const std::string track = f.desktop.id;
    const std::size_t pages = f.wbMain.navigations.size();
    const auto unchanged = [&](const char* after) {
        EXPECT_EQ(channels().intPlayingNode(), count - 1) << after;
        EXPECT_EQ(state().strCurrentRecord, last) << after;
        EXPECT_EQ(f.desktop.id, track) << after;
        EXPECT_EQ(f.desktop.channel, "News 999") << after;
        EXPECT_EQ(f.wbMain.navigations.size(), pages) << after;
    };
    listening.next();
    unchanged("next");
    f.trView.click(count);  // a click, or Enter in the field with the line selected
    unchanged("a click");
    f.player.becomes(platform::MediaPlayer::State::Stopped);  // failed: a click would start it
    f.trView.click(count);
    unchanged("a click after a failure");

    // Esc: the channel is still the one to go on from, and to start again after the stop button.
    form.endSearch();
    ASSERT_EQ(f.trView.nodeCount(), count);
    listening.next();
    EXPECT_EQ(state().strCurrentRecord, "C|Video|News 1000|u1000|EN");
    form.search("news");
    f.trView.click(count - 1);
    form.cmdStopButton_Click();
    listening.next();
    EXPECT_EQ(state().strCurrentRecord, "");
    form.endSearch();
    listening.playOrStop();
    EXPECT_EQ(state().strCurrentRecord, last);
}

}  // namespace
}  // namespace qova::directory
