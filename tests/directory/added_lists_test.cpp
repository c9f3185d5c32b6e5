#include "directory/added_lists.h"

#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

const std::string kDirectory =
    "France|Video|TV Un|http://127.0.0.1:1/un.mp4|FR\n"
    "Italy|Radio|Radio Uno|http://127.0.0.1:1/uno.mp3|IT\n";
const std::string kList = "http://127.0.0.1:1/list.m3u";
const std::string kPlaylist =
    "#EXTM3U\n"
    "#EXTINF:-1 tvg-country=\"FR\",France Info\nhttp://127.0.0.1:1/info.m3u8\n"
    "#EXTINF:-1 tvg-country=\"AT\",ORF Test\nhttp://127.0.0.1:1/orf.m3u8\n";
const std::string kInfo = "France|Video|France Info|http://127.0.0.1:1/info.m3u8|";

class AddedListsTest : public DirectoryTest {
  protected:
    AddedLists& lists() { return form.addedLists(); }
    std::vector<std::string> storedNames() const {
        std::vector<std::string> names;
        for (const auto& [name, text] : f.files.files)
            names.push_back(name);
        return names;
    }
};

TEST_F(AddedListsTest, AListJoinsAfterTheDirectoryAndWorksFromItsCopyAfterARestart) {
    download(kDirectory);
    // With no list added, nothing is fetched or written.
    EXPECT_EQ(f.lists.fetches, 0);
    EXPECT_EQ(storedNames(), (Strings{"Channel.txt", "Config.txt"}));
    f.cmbCountry.choose("France");
    const int refreshes = f.trView.refreshes;
    f.lists.pages[kList] = kPlaylist;
    ASSERT_EQ(lists().add("  " + kList + " "), AddedLists::AddResult::Added);
    EXPECT_EQ(f.files.files.at("ChannelLists.txt"), kList + "\r\n");
    ASSERT_EQ(f.lists.underWay(), Strings{kList});
    EXPECT_TRUE(lists().lists()[0].fetching);
    f.lists.answer();

    // A new country is listed; the one chosen stays, and its tree is not rebuilt under the user.
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "France", "Austria"}));
    EXPECT_EQ(f.cmbCountry.text(), "France");
    EXPECT_EQ(f.trView.refreshes, refreshes);
    EXPECT_EQ(lists().lists()[0].channels, 2u);
    EXPECT_EQ(lists().lists()[0].fetched, "2026-12-06 10:00");
    // Chosen again: the directory's own channel first, then the list's, which can be starred.
    f.cmbCountry.choose("France");
    EXPECT_EQ(f.trView.texts(), (Strings{"TV Un", "France Info"}));
    f.trView.selectNode(2);
    form.cmdFavorite_Click();
    EXPECT_EQ(f.files.files.at("favorites.txt"), kInfo + "\r\n");
    form.search("info");
    EXPECT_EQ(f.trView.texts(), (Strings{"France Info \u2014 France"}));
    EXPECT_TRUE(f.messages.shown.empty());

    // The next run works from the copy before the list is fetched, and a list that cannot be
    // fetched then keeps it, said only in the lists window.
    LoadedMain again(kConfig, f.files.files);
    again.f.wbDownload.complete(kDirectory);
    again.f.cmbCountry.choose("Austria");
    EXPECT_EQ(again.f.trView.texts(), (Strings{"ORF Test"}));
    ASSERT_EQ(again.f.lists.underWay(), Strings{kList});
    again.f.lists.answer();  // nothing is served any more
    const AddedLists::List& list = again.form.addedLists().lists()[0];
    EXPECT_EQ(list.error, "Not found.");
    EXPECT_EQ(list.channels, 2u);
    EXPECT_EQ(list.fetched, "2026-12-06 10:00");
    again.f.cmbCountry.choose("France");
    EXPECT_EQ(again.f.trView.nodeCount(), 2);
    EXPECT_TRUE(again.f.messages.shown.empty());
}

TEST_F(AddedListsTest, WhatCannotBeKeptChangesNothingAndARemovalTakesItAll) {
    download(kDirectory);
    f.files.unwritable.insert("channellists.txt");
    EXPECT_EQ(lists().add(kList), AddedLists::AddResult::CannotWrite);
    EXPECT_TRUE(lists().lists().empty());
    EXPECT_EQ(f.lists.fetches, 0);
    f.files.unwritable.clear();
    EXPECT_EQ(lists().add(" "), AddedLists::AddResult::NoAddress);

    f.lists.pages[kList] = kPlaylist;
    ASSERT_EQ(lists().add(kList), AddedLists::AddResult::Added);
    EXPECT_EQ(lists().add(kList), AddedLists::AddResult::AlreadyThere);
    f.lists.answer();
    const std::string added = state().strAddedChannels;
    // The list turns into a login page: the channels of the last copy stay.
    f.lists.pages[kList] = "<html><body>Sign in to continue</body></html>";
    lists().refreshAll();
    f.lists.answer();
    EXPECT_EQ(lists().lists()[0].error, "No channel was found in it.");
    EXPECT_EQ(state().strAddedChannels, added);

    f.files.unwritable.insert("channellists.txt");
    EXPECT_FALSE(lists().remove(0));
    EXPECT_EQ(lists().lists().size(), 1u);
    EXPECT_EQ(state().strAddedChannels, added);

    // Removed, a list takes its channels and its copy, and a fetch under way is never heard of.
    f.files.unwritable.clear();
    lists().add("/home/user/second.m3u");
    ASSERT_EQ(f.lists.underWay(), Strings{"/home/user/second.m3u"});
    ASSERT_TRUE(lists().remove(1));
    EXPECT_TRUE(f.lists.underWay().empty());
    ASSERT_TRUE(lists().remove(0));
    EXPECT_TRUE(lists().lists().empty());
    EXPECT_TRUE(state().strAddedChannels.empty());
    EXPECT_EQ(f.files.files.at("ChannelLists.txt"), "");
    EXPECT_EQ(storedNames(), (Strings{"Channel.txt", "ChannelLists.txt", "Config.txt"}));
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "France"}));
}

TEST_F(AddedListsTest, AFewListsAreFetchedAtOnceAndOneThatNeverAnswersHoldsNoneBack) {
    download(kDirectory);
    const Strings countries = {"DE", "ES", "GB", "IT", "NL"};
    Strings addresses;
    for (const std::string& country : countries) {
        addresses.push_back("http://127.0.0.1:1/" + country + ".m3u");
        f.lists.pages[addresses.back()] = "#EXTM3U\n#EXTINF:-1 tvg-country=\"" + country + "\"," +
                                          country + " One\nhttp://127.0.0.1:1/" + country + "\n";
        ASSERT_EQ(lists().add(addresses.back()), AddedLists::AddResult::Added);
    }
    ASSERT_EQ(f.lists.underWay(), Strings(addresses.begin(), addresses.begin() + 3));
    EXPECT_TRUE(lists().lists()[2].fetching);
    EXPECT_FALSE(lists().lists()[3].fetching);
    // The first list's server never answers; the others come past it, one as another ends.
    for (std::size_t i = 1; i < addresses.size(); ++i)
        f.lists.answer(addresses[i]);
    EXPECT_EQ(f.lists.underWay(), Strings{addresses[0]});
    EXPECT_EQ(f.lists.mostAtOnce, static_cast<int>(kListsFetchedAtOnce));
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "France", "Spain", "United Kingdom",
                                           "Italy", "Netherlands"}));
    // Fetched again while the first is still under way: it is not fetched twice.
    lists().refreshAll();
    EXPECT_EQ(f.lists.underWay(), (Strings{addresses[0], addresses[1], addresses[2]}));
    EXPECT_EQ(f.lists.fetches, 7);
    // Lists that come back as they were change nothing shown: no country list refilled.
    const int fills = f.cmbCountry.fills;
    f.lists.answer(addresses[1]);
    f.lists.answer(addresses[2]);
    EXPECT_EQ(f.cmbCountry.fills, fills);
    // One that changed is joined.
    f.lists.pages[addresses[3]] += "#EXTINF:-1 tvg-country=\"AT\",AT One\nhttp://127.0.0.1:1/AT\n";
    f.lists.answer(addresses[3]);
    EXPECT_EQ(f.cmbCountry.fills, fills + 1);
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "France", "Spain", "United Kingdom",
                                           "Italy", "Austria", "Netherlands"}));
}

TEST(AddedListsFile, AHandEditedFileIsReadAsMeantAndWithinBounds) {
    std::string file =
        "\r\n# my lists\r\n  http://127.0.0.1:1/a.m3u  \nhttp://127.0.0.1:1/a.m3u\r\n" +
        std::string(kMaxListAddressBytes + 1, 'x') + "\r\n";
    for (int i = 0; i < 200; ++i)
        file += "/lists/" + std::to_string(i) + ".m3u\r\n";
    LoadedMain main(kConfig, {{"ChannelLists.txt", file}});
    const auto& lists = main.form.addedLists().lists();
    ASSERT_EQ(lists.size(), kMaxAddedLists);
    EXPECT_EQ(lists[0].address, "http://127.0.0.1:1/a.m3u");
    EXPECT_EQ(lists[1].address, "/lists/0.m3u");
}

// What a user wrote around the lists stays in place at every write; a list removed takes every
// line naming it, so that it does not come back at the next start.
TEST(AddedListsFile, HandEditsStayInPlaceAndARemovalStaysOne) {
    const std::string a = "http://127.0.0.1:1/a.m3u";
    const std::string b = "http://127.0.0.1:1/b.m3u";
    const std::string c = "http://127.0.0.1:1/c.m3u";
    const std::string overlong = std::string(kMaxListAddressBytes + 1, 'x');
    LoadedMain main(
        "URLTXT=http://127.0.0.1:1/channels.txt\r\n",
        {{"ChannelLists.txt", "\xEF\xBB\xBF# my lists\r\n\r\n  " + a + "  \n# radio:\n" + b +
                                  "\r\n" + a + "\r\n" + overlong + "\r\n"}});
    AddedLists& lists = main.form.addedLists();
    ASSERT_EQ(lists.lists().size(), 2u);
    EXPECT_EQ(lists.lists()[0].address, a);  // no list behind a byte-order mark
    ASSERT_EQ(lists.add(c), AddedLists::AddResult::Added);
    const std::string& file = main.f.files.files.at("ChannelLists.txt");
    EXPECT_EQ(file, "# my lists\r\n\r\n  " + a + "  \r\n# radio:\r\n" + b + "\r\n" + a + "\r\n" +
                        overlong + "\r\n" + c + "\r\n");
    ASSERT_TRUE(lists.remove(0));
    EXPECT_EQ(file, "# my lists\r\n\r\n# radio:\r\n" + b + "\r\n" + overlong + "\r\n" + c + "\r\n");

    // Past the most lists read: kept, and read once there is room for it.
    std::string many;
    for (std::size_t i = 0; i < kMaxAddedLists; ++i)
        many += "/lists/" + std::to_string(i) + ".m3u\r\n";
    LoadedMain full(kConfig,
                    {{"ChannelLists.txt", many + "/lists/0.m3u\r\n/lists/beyond.m3u\r\n"}});
    ASSERT_TRUE(full.form.addedLists().remove(0));
    EXPECT_EQ(full.f.files.files.at("ChannelLists.txt"),
              many.substr(many.find('\n') + 1) + "/lists/beyond.m3u\r\n");
    LoadedMain again(kConfig, full.f.files.files);
    ASSERT_EQ(again.form.addedLists().lists().size(), kMaxAddedLists);
    EXPECT_EQ(again.form.addedLists().lists().back().address, "/lists/beyond.m3u");
}

TEST(ListChannelLines, ADirectoryKeepsItsChannelLinesWithWhateverLineEnds) {
    EXPECT_EQ(ListChannelLines("A|Video|One|u1|EN\nnot a channel\r\nB|Radio|Two|u2\r\n\n"),
              "A|Video|One|u1|EN\r\nB|Radio|Two|u2\r\n");
    EXPECT_EQ(ListChannelLines(""), "");
}

}  // namespace
}  // namespace qova::directory
