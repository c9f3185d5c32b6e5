#include "state/config.h"

#include <gtest/gtest.h>

namespace qova::state {
namespace {

TEST(Config, KeyBeforeFirstEqualsValueUpToTheSecondAndLinesWithoutOneAreSkipped) {
    EXPECT_TRUE(parseConfig("").empty());
    const auto lines =
        parseConfig("URLTXT=http://h/a?b=c\r\nurltxt= x \t\rplain line\r\n\r\nk=v\nw=y\r\n=");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].key, "URLTXT");
    EXPECT_EQ(lines[0].value, "http://h/a?b");
    EXPECT_EQ(lines[1].key, "urltxt");
    EXPECT_EQ(lines[1].value, " x");  // blanks go at the end only
    // Saved by a Linux editor: a lone LF ends the line too.
    EXPECT_EQ(lines[2].value, "v");
    EXPECT_EQ(lines[3].key, "w");
    EXPECT_EQ(lines[4].key, "");
    EXPECT_EQ(lines[4].value, "");
    // Saved with a byte-order mark, as some editors do: the key is the text after it.
    EXPECT_EQ(parseConfig("\xEF\xBB\xBFURLTXT=http://h/\r\n").at(0).key, "URLTXT");
}

}  // namespace
}  // namespace qova::state
