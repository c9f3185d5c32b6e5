#include "state/keyed_collection.h"

#include <gtest/gtest.h>

#include "state/favourite_lines.h"

namespace qova::state {
namespace {

TEST(KeyedCollection, KeysAreUniqueWithoutRegardToCase) {
    KeyedCollection countries;
    EXPECT_TRUE(countries.add("France", "France"));
    EXPECT_FALSE(countries.add("FRANCE", "FRANCE"));
    EXPECT_TRUE(countries.add("Österreich", "Österreich"));
    EXPECT_FALSE(countries.add("ÖSTERREICH", "ÖSTERREICH"));
    EXPECT_TRUE(countries.add("Italy", "Italy"));
    ASSERT_EQ(countries.count(), 3);
    EXPECT_EQ(countries.item(1), "France");
    EXPECT_EQ(countries.item(2), "Österreich");
    EXPECT_EQ(countries.item(3), "Italy");
}

TEST(FavouriteLines, AChannelIsAFavouriteOnlyWhenItsWholeLineIsThere) {
    const FavouriteLines favourites("F|Video|News|u1|EN\r\nI|Radio|Uno|u|EN\r\n");
    EXPECT_TRUE(favourites.contains("F|Video|News|u1|EN"));
    EXPECT_TRUE(favourites.contains("I|Radio|Uno|u|EN"));
    EXPECT_FALSE(favourites.contains("F|Video|News|u1|E"));     // part of a favourite
    EXPECT_FALSE(favourites.contains("F|Video|News|u1|EN|x"));  // contains a favourite
    EXPECT_FALSE(favourites.contains("f|Video|News|u1|EN"));    // case matters
    EXPECT_FALSE(favourites.contains("EN\r\nI|Radio|Uno|u|EN"));
    EXPECT_FALSE(FavouriteLines("").contains(""));
}

}  // namespace
}  // namespace qova::state
