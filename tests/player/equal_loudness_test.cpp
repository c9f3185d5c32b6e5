// Equal loudness as a listener hears it: two Icecast stations playing the same tone 20 dB apart,
// each through the real engine with its sound written to a file rather than a sound card, and
// the level of that sound measured second by second.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/posix_text_files.h"
#include "playback/loudness.h"
#include "player/mpv_loudness.h"
#include "player/mpv_player.h"
#include "support/stream_servers_suite.h"
#include "testkit/stream_servers.h"
#include "testkit/temp_folder.h"

namespace qova::player {
namespace {

constexpr int kQuiet = -30;
constexpr int kLoud = -10;
constexpr std::size_t kFramesPerSecond = 48000;
constexpr std::size_t kBytesPerSecond = kFramesPerSecond * 2 * 2;

/// The RMS level (dBFS) of each whole second of 16-bit stereo sound. For one tone at two levels
/// it differs as their loudness does, in LU.
std::vector<double> secondLevels(const std::string& bytes) {
    std::vector<double> levels;
    for (std::size_t at = 0; at + kBytesPerSecond <= bytes.size(); at += kBytesPerSecond) {
        double sum = 0;
        for (std::size_t i = at; i < at + kBytesPerSecond; i += 2) {
            const auto low = static_cast<unsigned char>(bytes[i]);
            const auto sample = static_cast<std::int16_t>(low | (bytes[i + 1] << 8));
            sum += static_cast<double>(sample) * sample;
        }
        const double meanSquare = sum / (kBytesPerSecond / 2) / (32768.0 * 32768.0);
        levels.push_back(10.0 * std::log10(std::max(meanSquare, 1e-12)));
    }
    return levels;
}

class EqualLoudnessTest : public testing::ToneServersSuite<kQuiet, kLoud> {
  protected:
    /// Plays the tone through an engine of its own until it has given `seconds` of sound, with
    /// equal loudness on or off, as a run of the program would with this folder; the level of
    /// each second that came out.
    std::vector<double> heard(int tone, int seconds, bool levelled) {
        const std::string out = folder.file("sound" + std::to_string(++plays) + ".raw");
        MpvPlayerOptions options{false, "pcm"};
        options.moreEngineOptions = {{"ao-pcm-file", out},         {"ao-pcm-waveheader", "no"},
                                     {"audio-format", "s16"},      {"audio-samplerate", "48000"},
                                     {"audio-channels", "stereo"}, {"cache-pause", "no"}};
        platform::PosixTextFiles files(folder.path());
        {
            MpvPlayer player(options);
            std::optional<MpvLoudness> loudness;
            if (levelled) {
                loudness.emplace(player, files);
                loudness->setEnabled(true);
            }
            player.play(servers->icecastToneUrl(tone));
            const auto wanted = static_cast<qint64>(seconds * kBytesPerSecond);
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return QFileInfo(QString::fromStdString(out)).size() >= wanted; },
                seconds * 3000 + 15000))
                << "the tone " << tone << " did not play";
            player.stop();
            EXPECT_TRUE(QTest::qWaitFor([&] { return player.idle(); }, 10000));
        }
        EXPECT_TRUE(files.waitForBackgroundWrites());
        std::vector<double> levels =
            secondLevels(folder.read(out.substr(out.rfind('/') + 1)).value_or(""));
        levels.resize(static_cast<std::size_t>(seconds), -120.0);
        return levels;
    }

    testkit::TempFolder folder;
    int plays = 0;
};

TEST_F(EqualLoudnessTest, TwoTonesComeOutAlikeOnceMeasuredAndFromTheFirstSecondNextTime) {
    const std::vector<double> quiet = heard(kQuiet, 10, true);
    const std::vector<double> loud = heard(kLoud, 10, true);
    // 20 dB apart as they come; each led to the target within its first seconds, smoothly.
    for (std::size_t second = 6; second < 10; ++second) {
        EXPECT_NEAR(quiet[second], loud[second], 1.0) << "second " << second;
        EXPECT_LT(quiet[second], -15.0) << "raised past the target";
    }
    for (std::size_t second = 1; second < 10; ++second)
        EXPECT_LE(quiet[second] - quiet[second - 1], 5.0) << "a jump, not a fade";
    const std::string kept = folder.read(playback::kLoudnessFile).value_or("");
    EXPECT_NE(kept.find(servers->icecastToneUrl(kQuiet)), std::string::npos) << kept;
    EXPECT_NE(kept.find(servers->icecastToneUrl(kLoud)), std::string::npos) << kept;

    // The next start of each: at its level from its first second.
    const std::vector<double> quietAgain = heard(kQuiet, 2, true);
    const std::vector<double> loudAgain = heard(kLoud, 2, true);
    EXPECT_NEAR(quietAgain[0], loudAgain[0], 1.0);
    EXPECT_NEAR(quietAgain[0], quiet[9], 1.0);
}

TEST_F(EqualLoudnessTest, OffAChannelSoundsAsItComesAndNothingIsKept) {
    const std::vector<double> loud = heard(kLoud, 2, false);
    // Levelled, it would be 10 dB quieter.
    EXPECT_NEAR(loud[0], kLoud, 1.0);
    EXPECT_NEAR(loud[1], kLoud, 1.0);
    EXPECT_FALSE(folder.read(playback::kLoudnessFile));
}

}  // namespace
}  // namespace qova::player
