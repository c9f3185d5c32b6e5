#include "directory/channel_tree.h"

#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

const platform::Colour kGrey = platform::Colour::rgb(204, 204, 204);
const platform::Colour kText = platform::Colour::rgb(76, 76, 76);

TEST_F(DirectoryTest, ChoosingACountryShowsItsChannelsInFileOrderWithTheirRecords) {
    download(
        "Italy|Video|Uno|u1|EN\r\nFrance|Video|A|u2|FR\r\nITALY|VIDEO|Due|u3|IT\r\n"
        "Italy|Radio|R|u4|IT\r\nitaly|video|Tre|u5|IT");
    f.trView.back = platform::Colour::rgb(1, 2, 3);
    f.cmbCountry.choose("Italy");
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"Uno", "Due", "Tre"}));
    ASSERT_EQ(channels().count(), 3);
    EXPECT_EQ(*channels().record(1), "Italy|Video|Uno|u1|EN");
    EXPECT_EQ(*channels().record(2), "ITALY|VIDEO|Due|u3|IT");
    EXPECT_EQ(*channels().record(3), "italy|video|Tre|u5|IT");
    for (const auto& node : f.trView.nodes) {
        EXPECT_EQ(node.back, kGrey);
        EXPECT_EQ(node.fore, kText);
        EXPECT_EQ(node.image, 0);
    }
    EXPECT_EQ(f.trView.back, kGrey);
    EXPECT_TRUE(f.trView.display);
    EXPECT_TRUE(f.trView.imageList);

    // A rebuild starts from nothing: no node, record or playing node of the last one survives.
    playing(2);
    f.cmbCountry.choose("France");
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(channels().count(), 1);
    EXPECT_EQ(channels().intPlayingNode(), 0);
    f.cmbCountry.choose("Select Country");
    EXPECT_TRUE(f.trView.nodes.empty());
    EXPECT_EQ(channels().count(), 0);
}

TEST_F(DirectoryTest, FavouritesAreStarredByTheirWholeLine) {
    f.files.files["favorites.txt"] =
        "F|Video|Fav|u1|EN\r\nF|Video|Case|u2|EN\r\nF|Video|Long|u3|ENX\r\n";
    download(
        "F|Video|Fav|u1|EN\r\nF|Video|case|u2|EN\r\nF|Video|Long|u3|EN\r\n"
        "F|Video|Plain|u4|EN\r\nF|Video|Fav|u1|EN|extra");
    f.cmbCountry.choose("F");
    ASSERT_EQ(f.trView.nodes.size(), 5u);
    EXPECT_EQ(f.trView.nodes[0].image, kFavouriteImage);
    EXPECT_EQ(f.trView.nodes[1].image, 0);  // one letter in another case
    EXPECT_EQ(f.trView.nodes[2].image, 0);  // only the start of a favourite
    EXPECT_EQ(f.trView.nodes[3].image, 0);
    EXPECT_EQ(f.trView.nodes[4].image, 0);  // holds a favourite but is longer
}

TEST_F(DirectoryTest, TheFavouriteCategoryReadsNoDirectory) {
    download("F|Video|A|u|EN");
    f.cmbCountry.choose("F");
    ASSERT_EQ(f.trView.nodeCount(), 1);
    state().strCategory = "fAVORITE";
    f.files.unreadable.insert("channel.txt");
    f.files.files["favorites.txt"] = "G|Radio|Fav|u|EN\r\n";
    f.cmbCountry.items = {"All"};
    f.cmbCountry.index = 0;
    f.trView.back = platform::Colour::rgb(0, 0, 0);
    form.cmbCountry_Click();
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"Fav"}));
    EXPECT_EQ(f.trView.back, kGrey);
}

}  // namespace
}  // namespace qova::directory
