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
    f.files.files["Channel.txt"] = "\xEF\xBB\xBF" + directory;
    state().strAddedChannels = "D|Radio|Added News|u|EN\r\n";
    const SearchIndex index(SearchIndex::sourceOf(context()));
    // What it was made of may change: it keeps its own.
    state().strAddedChannels = "D|Radio|Other|u|EN\r\n";
    f.files.files["Channel.txt"] = "C|Video|News 99|u|EN\r\n";
    const SearchIndex::Result found = index.find("news", 10);
    EXPECT_EQ(found.records.size(), 10u);
    EXPECT_EQ(found.total, 26u);
    EXPECT_EQ(found.records.front(), "C|Video|News 0|u|EN");
    EXPECT_EQ(index.find("added", 10).records, (Strings{"D|Radio|Added News|u|EN"}));
    EXPECT_EQ(index.find("c en", 10).total, 25u);  // country and language are looked up too
    EXPECT_EQ(index.find("video", 10).total, 0u);  // the category is not
}

// The directory is folded for the search away from the Qt thread: typing goes on meanwhile, and
// the latest query is answered when the fold ends; a fold of a directory that changed meanwhile
// is never shown.
TEST_F(DirectoryTest, KeystrokesBeforeTheFoldEndsAreAnsweredWhenItEndsWithTheDirectoryAsItIs) {
    struct Fold {
        std::function<ChannelSearch::Index()> fold;
        std::function<void(ChannelSearch::Index)> done;
    };
    std::vector<Fold> held;
    form.runSearchFoldsWith([&](auto fold, auto done) { held.push_back({fold, done}); });
    const auto end = [&](std::size_t fold) { held.at(fold).done(held.at(fold).fold()); };
    download(kDirectory);
    f.cmbCountry.choose("Austria");
    EXPECT_TRUE(held.empty());  // nothing folded for a search never opened
    form.searchOpened();
    form.search("klassik");
    form.search("klassik de");
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(f.trView.texts(), (Strings{"ORF Eins"}));
    end(0);
    EXPECT_EQ(f.trView.texts(),
              (Strings{"Ö1 Klassik \u2014 Österreich", "Klassik Radio \u2014 Deutschland"}));
    form.search("orf");  // folded: answered at once
    EXPECT_EQ(f.trView.texts(), (Strings{"ORF Eins \u2014 Austria"}));

    // A new directory while the search is open is folded at once; the fold of the one before,
    // ending later, is dropped.
    download("Austria|Video|ORF Zwei|u5|DE\r\n");
    ASSERT_EQ(held.size(), 2u);
    form.search("orf");
    download("Austria|Video|ORF Drei|u6|DE\r\n");
    ASSERT_EQ(held.size(), 3u);
    const Strings shown = f.trView.texts();
    end(1);
    EXPECT_EQ(f.trView.texts(), shown);
    end(2);
    EXPECT_EQ(f.trView.texts(), (Strings{"ORF Drei \u2014 Austria"}));

    // Esc before the fold ends: its result shows nothing, and nothing is folded after the search.
    download(kDirectory);
    form.search("klassik");
    form.endSearch();
    const Strings view = f.trView.texts();
    ASSERT_EQ(held.size(), 4u);
    end(3);
    EXPECT_EQ(f.trView.texts(), view);
    download("Austria|Video|ORF Zwei|u5|DE\r\n");
    EXPECT_EQ(held.size(), 4u);
}

TEST(ChannelSearch, AFoldThatEndsAfterItsSearchIsGoneIsNotHeard) {
    LoadedMain main;
    main.f.wbDownload.complete(kDirectory);
    std::function<void()> late;
    int heard = 0;
    {
        ChannelSearch search;
        search.setWorker([&](auto fold, auto done) { late = [=] { done(fold()); }; });
        search.onFolded = [&] { ++heard; };
        search.prepare({main.form.state(), main.f.controls, main.form.channels()});
    }
    ASSERT_TRUE(late);
    late();
    EXPECT_EQ(heard, 0);
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
