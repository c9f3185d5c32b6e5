// What equal loudness makes of a meter's readings: the gain each channel gets, how it gets there,
// and the file that keeps what channels measured.
#include "playback/loudness.h"

#include <gtest/gtest.h>

#include <string>

namespace qova::playback {
namespace {

TEST(LoudnessGain, BringsChannelsToTheTargetWithinTheBoostAndTheirPeak) {
    EXPECT_DOUBLE_EQ(gainFor({-28.0, -20.0, 60}), 10.0);
    EXPECT_DOUBLE_EQ(gainFor({-8.0, -1.0, 60}), -10.0);
    // Never more than +12 dB, however quiet.
    EXPECT_DOUBLE_EQ(gainFor({-45.0, -40.0, 60}), kMaxBoostDb);
    // A quiet channel with loud peaks is raised only until its peak is 1 dB under full scale.
    EXPECT_DOUBLE_EQ(gainFor({-30.0, -5.0, 60}), 4.0);
    // A channel that already clips is cut by its excess, even when its loudness asks for more.
    EXPECT_DOUBLE_EQ(gainFor({-25.0, 2.0, 60}), -3.0);
    EXPECT_DOUBLE_EQ(gainFor({5.0, 0.0, 60}), kMaxCutDb + 7.0);
    EXPECT_DOUBLE_EQ(gainFor({20.0, 0.0, 60}), kMaxCutDb);
}

TEST(LoudnessGain, LaterMeasurementsWeighByTheirSecondsAndOldOnesAreForgotten) {
    const LoudnessRecord combinedOnce = combined({-20.0, -6.0, 30}, {-30.0, -3.0, 10});
    EXPECT_DOUBLE_EQ(combinedOnce.integratedLufs, -22.5);
    EXPECT_DOUBLE_EQ(combinedOnce.peakDbfs, -3.0);
    EXPECT_DOUBLE_EQ(combinedOnce.seconds, 40.0);
    // Hours of an old programme count as ten minutes: a station that changed is followed.
    const LoudnessRecord changed = combined({-20.0, -6.0, 36000}, {-30.0, -9.0, 600});
    EXPECT_DOUBLE_EQ(changed.integratedLufs, -25.0);
    EXPECT_DOUBLE_EQ(changed.peakDbfs, -6.0);
    EXPECT_DOUBLE_EQ(changed.seconds, kRememberedSeconds);
}

/// Feeds a level readings every 100 ms of sound; returns the gains it asked for.
std::vector<double> readings(LoudnessLevel& level, double loudness, double peak, int count) {
    std::vector<double> gains;
    for (int i = 0; i < count; ++i)
        gains.push_back(level.measured(loudness, peak, 0.1));
    return gains;
}

TEST(LoudnessLevel, ANewChannelFadesToItsGainWithinItsFirstSeconds) {
    LoudnessLevel level;
    EXPECT_DOUBLE_EQ(level.gain(), 0.0);
    // The first second's readings are not trusted yet; silence says nothing at all.
    EXPECT_DOUBLE_EQ(readings(level, -70.0, -90.0, 20).back(), 0.0);
    EXPECT_DOUBLE_EQ(readings(level, -30.0, -27.0, 9).back(), 0.0);
    const std::vector<double> gains = readings(level, -30.0, -27.0, 45);
    double before = 0.0;
    for (const double gain : gains) {
        EXPECT_LE(gain - before, kGainStepDbPerSecond * 0.1 + 1e-9) << "a step, not a fade";
        before = gain;
    }
    EXPECT_NEAR(gains[30], kMaxBoostDb, 1e-9) << "+12 dB within four seconds";
    EXPECT_FALSE(LoudnessLevel().thisPlay());
    ASSERT_TRUE(level.thisPlay());
    EXPECT_DOUBLE_EQ(level.thisPlay()->integratedLufs, -30.0);
    EXPECT_NEAR(level.thisPlay()->seconds, 5.4, 1e-9);
}

TEST(LoudnessLevel, AKnownChannelStartsAtItsGainStaysPutAndTakesALouderPeakAtOnce) {
    LoudnessLevel level(LoudnessRecord{-24.0, -12.0, 300});
    EXPECT_DOUBLE_EQ(level.gain(), 6.0);
    // Readings near what was known move nothing: no pumping with the programme.
    for (const double gain : readings(level, -24.3, -12.0, 50))
        EXPECT_DOUBLE_EQ(gain, 6.0);
    // A peak 3 dB under full scale leaves 2 dB: the gain drops there in one reading.
    EXPECT_DOUBLE_EQ(level.measured(-24.3, -3.0, 0.1), 2.0);
    // A channel that became quieter for long is followed, slowly.
    const std::vector<double> later = readings(level, -40.0, -3.0, 20);
    EXPECT_DOUBLE_EQ(later.back(), 2.0) << "its peak still leaves no more room";
}

TEST(LoudnessBook, KeepsWhatChannelsMeasuredAcrossRuns) {
    LoudnessBook book;
    book.heard("http://a.example/live", {-30.0, -27.0, 12});
    book.heard("http://b.example/live", {-10.0, -7.0, 20});
    book.heard("http://a.example/live", {-26.0, -20.0, 12});
    const std::string text = book.text();
    EXPECT_EQ(text,
              "-10.00\t-7.00\t20.00\thttp://b.example/live\r\n"
              "-28.00\t-20.00\t24.00\thttp://a.example/live\r\n");
    const LoudnessBook again = LoudnessBook::read(text);
    EXPECT_EQ(again.size(), 2u);
    EXPECT_EQ(again.find("http://a.example/live"), (LoudnessRecord{-28.0, -20.0, 24.0}));
    EXPECT_FALSE(again.find("http://c.example/live"));
    // An address that could not be read back is not kept.
    book.heard("http://c.example/\nlive", {-20.0, -6.0, 10});
    book.heard(std::string(5000, 'x'), {-20.0, -6.0, 10});
    EXPECT_EQ(book.size(), 2u);
}

TEST(LoudnessBook, ReadsAnEditedOrHostileFileWithoutTrustingIt) {
    const std::string text =
        "\xEF\xBB\xBF# a comment\r\n"
        "-20\t-6\t10\thttp://ok.example/\n"
        "-20\t-6\t10\r\n"                           // no address
        "loud\t-6\t10\thttp://word.example/\n"      // no number
        "-20.5x\t-6\t10\thttp://tail.example/\n"    // not only a number
        "-200\t-6\t10\thttp://quiet.example/\n"     // quieter than any meter says
        "-20\t90\t10\thttp://peak.example/\n"       // a peak no stream has
        "-20\t-6\t-1\thttp://time.example/\n"       // negative seconds
        "nan\t-6\t10\thttp://nan.example/\n"        // not a number at all
        "-20\t-6\t10\thttp://tab.example/\tmore\n"  // a tab in its address
        "-25\t-9\t30\thttp://ok.example/\n" +       // a later line overrides
        std::string("-20\t-6\t10\thttp://") +
        std::string(5000, 'l') + "/\n";
    const LoudnessBook book = LoudnessBook::read(text);
    EXPECT_EQ(book.size(), 1u);
    EXPECT_EQ(book.find("http://ok.example/"), (LoudnessRecord{-25.0, -9.0, 30.0}));

    // Bounded: no more channels than the limit, and nothing past the file size read.
    std::string many;
    for (std::size_t i = 0; i <= kMaxLoudnessChannels; ++i)
        many += "-20\t-6\t10\thttp://s" + std::to_string(i) + "/\n";
    LoudnessBook full = LoudnessBook::read(many);
    EXPECT_EQ(full.size(), kMaxLoudnessChannels);
    full.heard("http://new/", {-20.0, -6.0, 10});
    EXPECT_EQ(full.size(), kMaxLoudnessChannels);
    EXPECT_FALSE(full.find("http://s0/")) << "the one heard longest ago goes";
    EXPECT_TRUE(full.find("http://new/"));
    std::string huge(kMaxLoudnessFileBytes, '\n');
    huge += "-20\t-6\t10\thttp://late/\n";
    EXPECT_EQ(LoudnessBook::read(huge).size(), 0u);
}

}  // namespace
}  // namespace qova::playback
