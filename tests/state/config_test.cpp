#include "state/config.h"

#include <gtest/gtest.h>

namespace qova::state {
namespace {

TEST(Config, KeyBeforeFirstEqualsValueUpToTheSecond) {
    const auto lines =
        parseConfig("URLTXT=http://h/a?b=c\r\nurltxt= x \t\rplain line\r\n\r\nk=v\nw=y");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].key, "URLTXT");
    EXPECT_EQ(lines[0].value, "http://h/a?b");
    EXPECT_EQ(lines[1].key, "urltxt");
    EXPECT_EQ(lines[1].value, " x");  // blanks go at the end only
    // Saved by a Linux editor: a lone LF ends the line too.
    EXPECT_EQ(lines[2].value, "v");
    EXPECT_EQ(lines[3].key, "w");
}

TEST(Config, EmptyAndKeylessTextsGiveNoLines) {
    EXPECT_TRUE(parseConfig("").empty());
    EXPECT_TRUE(parseConfig("no equals sign\r\n\r\n").empty());
    const auto lines = parseConfig("=\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].key, "");
    EXPECT_EQ(lines[0].value, "");
}

}  // namespace
}  // namespace qova::state
