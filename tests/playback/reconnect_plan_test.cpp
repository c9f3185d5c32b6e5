#include "playback/reconnect_plan.h"

#include <gtest/gtest.h>

namespace qova::playback {
namespace {

TEST(ReconnectPlan, WaitsLongerEachTryGivesUpAfterTheLastAndStartsAfreshAfterwards) {
    ReconnectPlan plan;
    int waited = 0;
    int previous = 0;
    for (int attempt = 1; attempt <= plan.tries(); ++attempt) {
        const ReconnectPlan::Next next = plan.broke();
        ASSERT_FALSE(next.giveUp);
        EXPECT_EQ(next.attempt, attempt);
        EXPECT_GT(next.waitMs, previous);
        previous = next.waitMs;
        waited += next.waitMs;
    }
    // Bounded: the user hears of a dead stream within a quarter of a minute.
    EXPECT_LT(waited, 16000);
    EXPECT_TRUE(plan.broke().giveUp);
    EXPECT_FALSE(plan.trying());
    EXPECT_EQ(plan.broke().attempt, 1);
    plan.reset();
    EXPECT_EQ(plan.broke().attempt, 1);
}

TEST(ReconnectPlan, SaysHowMuchOfTheBufferIsThere) {
    EXPECT_EQ(ReconnectPlan::bufferingText(-1), "Buffering...");
    EXPECT_EQ(ReconnectPlan::bufferingText(140), "Buffering... 100%");
}

}  // namespace
}  // namespace qova::playback
