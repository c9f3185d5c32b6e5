#include "app/keyed_collection.h"

#include <gtest/gtest.h>

#include "app/favourite_lines.h"

namespace qova::app {
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
    EXPECT_TRUE(countries.contains("italy"));
    countries.clear();
    EXPECT_EQ(countries.count(), 0);
    EXPECT_TRUE(countries.add("France", "France"));
}

TEST(ChannelRecords, EveryRecordKeepsItsPositionAlsoUnderASharedName) {
    ChannelRecords records;
    records.add("F|Video|News|u1|EN", "News");
    records.add("F|Video|NEWS|u2|EN", "NEWS");
    records.add("F|Video|Sport|u3|EN", "Sport");
    ASSERT_EQ(records.count(), 3);
    EXPECT_EQ(*records.at(2), "F|Video|NEWS|u2|EN");
    EXPECT_EQ(*records.at(3), "F|Video|Sport|u3|EN");
    EXPECT_EQ(records.at(0), nullptr);
    EXPECT_EQ(records.at(4), nullptr);
    EXPECT_EQ(*records.find("news"), "F|Video|News|u1|EN");
    EXPECT_EQ(records.find("Weather"), nullptr);
    records.removeAt(1);
    EXPECT_EQ(*records.at(1), "F|Video|NEWS|u2|EN");
    EXPECT_EQ(*records.find("news"), "F|Video|NEWS|u2|EN");
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
}  // namespace qova::app
