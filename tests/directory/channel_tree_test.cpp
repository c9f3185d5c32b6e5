#include "directory/channel_tree.h"

#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

const platform::Colour kGrey = platform::Colour::rgb(204, 204, 204);
const platform::Colour kText = platform::Colour::rgb(76, 76, 76);

TEST_F(DirectoryTest, ChoosingACountryShowsItsChannelsInFileOrderWithTheirRecordsAndStars) {
    // A favourite is a whole line: not one in another case, nor the start or end of one.
    f.files.files["favorites.txt"] =
        "ITALY|VIDEO|Due|u3|IT\r\nItaly|Video|Uno|u1|E\r\nitaly|video|Tre|u5|ITX\r\n"
        "italy|video|tre|u5|IT\r\n";
    download(
        "Italy|Video|Uno|u1|EN\r\nFrance|Video|A|u2|FR\r\nITALY|VIDEO|Due|u3|IT\r\n"
        "Italy|Radio|R|u4|IT\r\nitaly|video|Tre|u5|IT");
    f.trView.back = platform::Colour::rgb(1, 2, 3);
    f.cmbCountry.choose("Italy");
    EXPECT_EQ(f.trView.texts(), (Strings{"Uno", "Due", "Tre"}));
    ASSERT_EQ(channels().count(), 3);
    EXPECT_EQ(*channels().record(1), "Italy|Video|Uno|u1|EN");
    EXPECT_EQ(*channels().record(2), "ITALY|VIDEO|Due|u3|IT");
    EXPECT_EQ(*channels().record(3), "italy|video|Tre|u5|IT");
    for (const auto& node : f.trView.nodes) {
        EXPECT_EQ(node.back, kGrey);
        EXPECT_EQ(node.fore, kText);
        EXPECT_EQ(node.image, node.text == "Due" ? kFavouriteImage : 0) << node.text;
    }
    EXPECT_EQ(f.trView.back, kGrey);
    EXPECT_TRUE(f.trView.display);
    EXPECT_TRUE(f.trView.imageList);

    // A rebuild starts from nothing: no node, record or playing node of the last one survives.
    playing(2);
    f.cmbCountry.choose("France");
    EXPECT_EQ(f.trView.texts(), (Strings{"A"}));
    EXPECT_EQ(channels().count(), 1);
    EXPECT_EQ(channels().intPlayingNode(), 0);
}

TEST_F(DirectoryTest, TheFavouriteCategoryInAnyCaseShowsTheFavouritesNotTheDirectory) {
    f.files.files["Channel.txt"] = "All|Favorite|In The Directory|u|EN\r\n";
    f.files.files["favorites.txt"] = "G|Radio|Fav|u|EN\r\n";
    state().strCategory = "fAVORITE";
    f.cmbCountry.items = {"All"};
    f.cmbCountry.index = 0;
    f.trView.back = platform::Colour::rgb(0, 0, 0);
    form.cmbCountry_Click();
    EXPECT_EQ(f.trView.texts(), (Strings{"Fav"}));
    EXPECT_EQ(f.trView.back, kGrey);
}

}  // namespace
}  // namespace qova::directory
