// The lines over the player area with their real timers: what a channel's start shows, and when
// it goes.
#include "player/player_overlay_widget.h"

#include <gtest/gtest.h>

#include <QTest>

namespace qova::player {
namespace {

// A channel starts before the engine knows it has a picture: its lines come up as for sound
// alone, which stays, and the picture's size comes a moment later. From then on it is a picture
// to keep clear, and the lines go after their few seconds, as they do when the picture was known
// at once.
TEST(PlayerOverlayTest, LinesShownBeforeThePictureWasKnownFadeOnceItIs) {
    QWidget area;
    area.resize(640, 360);
    PlayerOverlayWidget overlay(&area);
    area.show();
    platform::NowPlaying what{"Costa Prueba TV",
                              "Espa\xC3\xB1"
                              "a",
                              "", "", false};
    overlay.showNowPlaying(what, true);
    ASSERT_FALSE(overlay.nowPlayingText().isEmpty());
    what.facts =
        "H264 640\xC3\x97"
        "360";
    what.hasPicture = true;
    overlay.showNowPlaying(what, false);
    EXPECT_TRUE(overlay.nowPlayingText().contains(QStringLiteral("H264")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return overlay.nowPlayingText().isEmpty(); }, 8000))
        << "the lines stayed over the picture";
}

}  // namespace
}  // namespace qova::player
