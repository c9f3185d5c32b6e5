#include "state/channel_list.h"

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"

namespace qova::state {
namespace {

const platform::Colour kGrey = platform::Colour::rgb(204, 204, 204);
const platform::Colour kText = platform::Colour::rgb(76, 76, 76);
const platform::Colour kHighlight = platform::Colour::system(platform::kSystemColourHighlight);

TEST(ChannelList, NodeRecordAndPlayingNodeStaySideBySideThroughRemovals) {
    fakes::FakeTreeView tree;
    ChannelList list{tree};
    for (const char* name : {"News", "NEWS", "Sport", "Weather"})
        list.add(std::string("F|Video|") + name + "|u", name, 0, kGrey, kText);
    // Names that collide without regard to case still get a record each, in place.
    EXPECT_EQ(*list.record(2), "F|Video|NEWS|u");
    EXPECT_EQ(list.record(0), nullptr);
    EXPECT_EQ(list.record(5), nullptr);
    list.setPlayingNode(3, kGrey);
    tree.setNodeBackColour(3, kHighlight);
    list.remove(1);
    list.remove(7);  // nothing there: nothing changes
    ASSERT_EQ(tree.texts(), (std::vector<std::string>{"NEWS", "Sport", "Weather"}));
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(*list.record(node), "F|Video|" + tree.nodeText(node) + "|u");
    EXPECT_EQ(list.intPlayingNode(), 2);  // still Sport

    // Left, the playing node loses its highlight; removed, nothing plays.
    list.setPlayingNode(3, kGrey);
    EXPECT_EQ(tree.nodeBackColour(2), kGrey);
    list.remove(3);
    EXPECT_EQ(list.intPlayingNode(), 0);
    list.clear();
    EXPECT_EQ(tree.nodeCount(), 0);
    EXPECT_EQ(list.count(), 0);
}

}  // namespace
}  // namespace qova::state
