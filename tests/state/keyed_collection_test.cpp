#include "state/keyed_collection.h"

#include <gtest/gtest.h>

#include "state/favourite_lines.h"

namespace qova::state {
namespace {

TEST(KeyedCollection, KeysBeyondAsciiAreUniqueWithoutRegardToCaseToo) {
    KeyedCollection countries;
    EXPECT_TRUE(countries.add("Österreich", "Österreich"));
    EXPECT_FALSE(countries.add("ÖSTERREICH", "ÖSTERREICH"));
    EXPECT_TRUE(countries.add("Italy", "Italy"));
    EXPECT_EQ(countries.items(), (std::vector<std::string>{"Österreich", "Italy"}));
    EXPECT_EQ(countries.item(1), "Österreich");  // counted from 1

    // Keys equal without regard to case are one key, whatever their letters' byte lengths: the
    // Kelvin sign is a K.
    EXPECT_TRUE(
        countries.add("\xE2\x84\xAA"
                      "enya",
                      "\xE2\x84\xAA"
                      "enya"));
    EXPECT_FALSE(countries.add("KENYA", "KENYA"));
    EXPECT_FALSE(countries.add("kenya", "kenya"));
    EXPECT_TRUE(countries.add("\xC4\xB0stanbul", "\xC4\xB0stanbul"));
    EXPECT_EQ(countries.count(), 4);
}

// Case, and a line that starts or ends a favourite, are checked through the channel tree.
TEST(FavouriteLines, AChannelIsAFavouriteOnlyWhenOneWholeLineIsIt) {
    const FavouriteLines favourites("F|Video|News|u1|EN\r\nI|Radio|Uno|u|EN\r\n");
    EXPECT_TRUE(favourites.contains("I|Radio|Uno|u|EN"));
    EXPECT_FALSE(favourites.contains("EN\r\nI|Radio|Uno|u|EN"));
    EXPECT_FALSE(FavouriteLines("").contains(""));
}

}  // namespace
}  // namespace qova::state
