#include "playback/now_playing.h"

#include <gtest/gtest.h>

namespace qova::playback {
namespace {

TEST(NowPlaying, FactsSayWhatTheStreamTellsAndNothingElse) {
    EXPECT_EQ(FactsLine({"mp3", "", 128000, 44100, 0, 0}), "MP3 \u00B7 128 kb/s \u00B7 44.1 kHz");
    EXPECT_EQ(FactsLine({"aac", "h264", 0, 48000, 640, 360}),
              "H264 640\u00D7360 \u00B7 AAC \u00B7 48 kHz");
    EXPECT_EQ(FactsLine({"vorbis", "", 499, 0, 0, 0}), "VORBIS");
    EXPECT_EQ(FactsLine({}), "");
    EXPECT_EQ(NamesOf("short").channel, "");
}

}  // namespace
}  // namespace qova::playback
