// Which channels are kept ready beside the one that plays, and when none are.
#include "playback/neighbours.h"

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"

namespace qova::playback {
namespace {

class NeighboursTest : public ::testing::Test {
  protected:
    NeighboursTest() {
        for (const char* record :
             {"F|Radio|One|http://one/|EN", "F|Video|Two|http://two/tv.m3u8|EN",
              "F|Radio|Three|http://three/|EN", "F|Radio|Here|file:///music/x.mp3|EN",
              "F|Radio|Again|http://three/|EN"})
            channels.add(record, record, 0, platform::Colour::rgb(0, 0, 0),
                         platform::Colour::rgb(0, 0, 0));
        on.enabled = true;
    }
    std::vector<NeighbourChannel> from(int node, const std::string& before = {}) const {
        return neighboursOf(channels, node, before, on);
    }

    fakes::FakeTreeView tree;
    state::ChannelList channels{tree};
    NeighbourConditions on;
};

TEST_F(NeighboursTest, TheNextThePreviousAndTheOneBeforeEachOnceAtMostThree) {
    const std::string before = "X|Radio|Elsewhere|http://else/|EN";
    EXPECT_EQ(from(2, before),
              (std::vector<NeighbourChannel>{
                  {"http://three/", false}, {"http://one/", false}, {"http://else/", false}}));
    // At the tree's first node there is no previous one.
    EXPECT_EQ(from(1, before), (std::vector<NeighbourChannel>{{"http://two/tv.m3u8", true, true},
                                                              {"http://else/", false}}));
    // Never the channel that plays, nor one twice, nor a file here.
    EXPECT_EQ(from(5, "F|Radio|One|http://one/|EN"),
              (std::vector<NeighbourChannel>{{"http://one/", false}}));
    EXPECT_EQ(from(3, "F|Radio|Two|http://three/|EN"),
              (std::vector<NeighbourChannel>{{"http://two/tv.m3u8", true, true}}));
    EXPECT_TRUE(from(0).empty()) << "nothing plays";
    // Pictures are kept warm whole only when asked for.
    on.videoToo = true;
    EXPECT_EQ(from(1), (std::vector<NeighbourChannel>{{"http://two/tv.m3u8", false, true}}));
}

TEST_F(NeighboursTest, NoneOffAwayOnBatteryOnAMeteredConnectionOrAfterTheIdleTime) {
    EXPECT_FALSE(from(2).empty());
    for (bool NeighbourConditions::*condition :
         {&NeighbourConditions::minimised, &NeighbourConditions::onBattery,
          &NeighbourConditions::metered, &NeighbourConditions::idle}) {
        NeighbourConditions away = on;
        away.*condition = true;
        EXPECT_TRUE(neighboursOf(channels, 2, {}, away).empty());
    }
    on.enabled = false;
    EXPECT_TRUE(from(2, "F|Radio|One|http://one/|EN").empty());
}

}  // namespace
}  // namespace qova::playback
