// What keeps a stream going, with short limits in a real event loop: when the player area says
// it is buffering, when a wait for data becomes a break, when the tries count afresh. Where a
// thing must not happen before a limit, the test's own timer, due later than the keeper's, ends
// the wait: the event loop fires timers in the order they are due, however late it runs, so a
// loaded machine makes these tests slower, never wrong.
#include "player/stream_keeper.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVariantList>

namespace qova::player {
namespace {

constexpr int kBufferingAfterMs = 300;
constexpr int kStallMs = 600;
constexpr int kSteadyMs = 400;
// What waits for something that must come; only a fault makes it run out.
constexpr int kGenerousMs = 20000;

StreamKeeper::Limits shortLimits(std::vector<int> waitsMs) {
    StreamKeeper::Limits limits;
    limits.waitsMs = std::move(waitsMs);
    limits.stallLimitMs = kStallMs;
    limits.bufferingShownAfterMs = kBufferingAfterMs;
    limits.steadyAfterMs = kSteadyMs;
    return limits;
}

// Runs the event loop until a timer started now fires: every timer of the keeper due before it
// has fired by then.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A lower bound with room for a coarse timer, which may fire up to 5% early.
int atLeast(int ms) {
    return ms * 9 / 10;
}

TEST(StreamKeeper, BufferingShowsOnlyForAWaitPastItsLimitInAStreamThatPlayed) {
    StreamKeeper keeper(shortLimits({60000}), [] {});
    QSignalSpy buffering(&keeper, &StreamKeeper::buffering);

    // A stream that has not played yet is starting, not waiting.
    keeper.waitingForData(true, 5);
    runFor(2 * kBufferingAfterMs);
    EXPECT_EQ(buffering.count(), 0);

    // Data that comes back before the limit: nothing to say, then or later.
    keeper.played();
    keeper.waitingForData(true, 10);
    QTimer::singleShot(kBufferingAfterMs / 3, &keeper, [&] { keeper.waitingForData(false, -1); });
    runFor(3 * kBufferingAfterMs);
    EXPECT_EQ(buffering.count(), 0);

    // A longer wait shows at the limit, not before; then each new percentage, and its end.
    QElapsedTimer clock;
    clock.start();
    keeper.waitingForData(true, 20);
    ASSERT_TRUE(buffering.wait(kGenerousMs));
    EXPECT_GE(clock.elapsed(), atLeast(kBufferingAfterMs));
    keeper.waitingForData(true, 70);
    keeper.waitingForData(false, -1);
    EXPECT_EQ(buffering, (QList<QVariantList>{{true, 20}, {true, 70}, {false, -1}}));
}

TEST(StreamKeeper, AWaitPastTheStallLimitIsABreakUnlessDataComesBackBeforeTheTry) {
    int tries = 0;
    // One try, too far off to come in this test.
    StreamKeeper keeper(shortLimits({60000}), [&] { ++tries; });
    QSignalSpy reconnecting(&keeper, &StreamKeeper::reconnecting);
    QSignalSpy buffering(&keeper, &StreamKeeper::buffering);
    QSignalSpy recovered(&keeper, &StreamKeeper::recovered);
    QSignalSpy gaveUp(&keeper, &StreamKeeper::gaveUp);
    keeper.played();

    // Data back before the limit (and before buffering shows): no break.
    keeper.waitingForData(true, -1);
    QTimer::singleShot(kStallMs / 3, &keeper, [&] { keeper.waitingForData(false, -1); });
    runFor(2 * kStallMs);
    EXPECT_EQ(reconnecting.count() + buffering.count(), 0);

    // At the limit and not before, buffering ends and the first try is announced.
    QElapsedTimer clock;
    clock.start();
    keeper.waitingForData(true, -1);
    ASSERT_TRUE(reconnecting.wait(kGenerousMs));
    EXPECT_GE(clock.elapsed(), atLeast(kStallMs));
    EXPECT_EQ(reconnecting.takeFirst(), (QVariantList{1, 1}));
    EXPECT_EQ(buffering, (QList<QVariantList>{{true, -1}, {false, -1}}));
    EXPECT_TRUE(keeper.trying());

    // Data that comes back before the try makes it needless, and a later stall counts from the
    // first try again rather than giving up.
    keeper.waitingForData(false, -1);
    EXPECT_EQ(recovered.count(), 1);
    recovered.clear();
    EXPECT_FALSE(keeper.trying());
    keeper.waitingForData(true, -1);
    ASSERT_TRUE(reconnecting.wait(kGenerousMs));
    EXPECT_EQ(reconnecting.takeFirst(), (QVariantList{1, 1}));
    EXPECT_EQ(gaveUp.count(), 0);

    // Stopped while the try is waited for: nothing more comes.
    keeper.reset();
    runFor(2 * kStallMs);
    EXPECT_EQ(tries, 0);
    EXPECT_EQ(reconnecting.count() + gaveUp.count() + recovered.count(), 0);
}

TEST(StreamKeeper, TheTriesCountAfreshOnlyOnceTheStreamHeldSteady) {
    StreamKeeper* self = nullptr;
    int tries = 0;
    // Every try comes through at once; the first breaks again at once, as a stream that comes
    // back only to break does.
    StreamKeeper keeper(shortLimits({20, 20, 20}), [&] {
        ++tries;
        self->played();
        if (tries == 1)
            self->broke("broke again");
    });
    self = &keeper;
    QSignalSpy reconnecting(&keeper, &StreamKeeper::reconnecting);

    keeper.played();
    keeper.broke("broke");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tries == 2; }, kGenerousMs));
    EXPECT_EQ(reconnecting, (QList<QVariantList>{{1, 3}, {2, 3}}));
    EXPECT_FALSE(keeper.trying());

    // Played past the steady limit since the second try came through: a new break is a first.
    runFor(2 * kSteadyMs);
    reconnecting.clear();
    keeper.broke("broke later");
    EXPECT_EQ(reconnecting, (QList<QVariantList>{{1, 3}}));
}

}  // namespace
}  // namespace qova::player
