#include "directory/country_lists.h"

#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

TEST_F(DirectoryTest, CountriesAreListedOncePerCategoryAsFirstWritten) {
    download(
        "France|Video|A|u|EN\r\nFRANCE|video|B|u|EN\r\nItaly|Radio|C|u|EN\r\n"
        "France|Radio|D|u|EN");
    EXPECT_EQ(state().colVideoCountries.items(), (Strings{"France"}));
    EXPECT_EQ(state().colRadioCountries.items(), (Strings{"Italy", "France"}));
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "France"}));
    EXPECT_EQ(f.cmbCountry.index, 0);
    EXPECT_EQ(state().strCategory, "Video");
    EXPECT_TRUE(f.trView.nodes.empty());

    // A second processing adds only what is new.
    download("Spain|VIDEO|E|u|EN\r\nitaly|Radio|F|u|EN\r\nMars|Weather|G|u|EN");
    EXPECT_EQ(state().colVideoCountries.items(), (Strings{"France", "Spain"}));
    // Any category other than video counts as Radio.
    EXPECT_EQ(state().colRadioCountries.items(), (Strings{"Italy", "France", "Mars"}));
}

TEST_F(DirectoryTest, FillingPutsSelectCountryFirstAndSelectsItWithOneClick) {
    download("Italy|Video|A|u|EN\r\nAustria|Video|B|u|EN\r\nbelgium|Video|C|u|EN");
    state::MainContext ctx = context();
    int clicks = 0;
    f.cmbCountry.onClick = [&] { ++clicks; };
    FillCountryList(ctx, "Video");
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "Italy", "Austria", "belgium"}));
    EXPECT_EQ(clicks, 1);
    // Only the exact words pick a list.
    for (const char* other : {"Favorite", "video"}) {
        FillCountryList(ctx, other);
        EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country"})) << other;
        EXPECT_EQ(f.cmbCountry.index, 0);
    }
    EXPECT_EQ(clicks, 3);
}

TEST_F(DirectoryTest, CategoryButtonsSwitchListsAndLeaveTheTreeEmpty) {
    // Before the directory is processed, only the playing node is forgotten.
    playing(3);
    f.cmdFavorite.setPicture(f.cmdRemoveFav.picture());
    form.imgRadio_Click();
    EXPECT_EQ(channels().intPlayingNode(), 0);
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdRemoveFav.picture());
    EXPECT_EQ(f.cmbCountry.count(), 0);
    EXPECT_EQ(state().strCategory, "");

    download("France|Video|TV1|u|EN\r\nItaly|Radio|R1|u|EN\r\nItaly|Radio|R2|u|EN");
    f.cmbCountry.choose("France");
    EXPECT_EQ(f.trView.texts(), (Strings{"TV1"}));
    playing(1);  // the button still shows a starred channel

    form.imgRadio_Click();
    EXPECT_EQ(state().strCategory, "Radio");
    EXPECT_EQ(channels().intPlayingNode(), 0);
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "Italy"}));
    EXPECT_EQ(f.cmbCountry.text(), "Select Country");
    EXPECT_TRUE(f.trView.nodes.empty());
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdAddFav.picture());

    f.cmbCountry.choose("Italy");
    EXPECT_EQ(f.trView.texts(), (Strings{"R1", "R2"}));
    form.imgTV_Click();
    EXPECT_EQ(state().strCategory, "Video");
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", "France"}));
    EXPECT_TRUE(f.trView.nodes.empty());
}

}  // namespace
}  // namespace qova::directory
