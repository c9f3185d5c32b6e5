#include "playback/now_playing.h"

#include <gtest/gtest.h>

#include "platform/text.h"

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

TEST(NowPlaying, NamesOfMegabytesAreShownByTheirFirstCharacters) {
    std::string country;
    for (int i = 0; i < 1'000'000; ++i)
        country += "\xC3\x96";
    const ChannelNames names =
        NamesOf(country + "|Radio|" + std::string(3'000'000, 'n') + "|http://127.0.0.1/x|DE");
    EXPECT_EQ(names.country, country.substr(0, 2 * platform::kMaxShownCharacters));
    EXPECT_EQ(names.channel, std::string(platform::kMaxShownCharacters, 'n'));
    EXPECT_EQ(NamesOf("A|Radio|B|u").channel, "B");
}

}  // namespace
}  // namespace qova::playback
