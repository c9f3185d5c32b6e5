// Recording with the real engine playing a station of numbered frames through the relay: the
// file holds each frame once across a server's restart, and a program killed while it records
// leaves a file readable to within a second of its end.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "playback/reconnect_plan.h"
#include "player/channel_recording.h"
#include "player/mpv_player.h"
#include "player/player_view.h"
#include "testkit/streams/numbered_station.h"
#include "testkit/streams/tls_front.h"
#include "testkit/temp_folder.h"

namespace qova::player {
namespace {

using testkit::streams::NumberedStation;
using testkit::streams::TlsFront;
namespace fs = std::filesystem;

constexpr int kWaitLimitMs = 30000;
constexpr std::uint64_t kSecond = 39;

std::string contents(const fs::path& path) {
    return testkit::fileBytes(path.string());
}

// The recordings of the whole channel in the folder ("Numbered 2026-..."; the songs' files
// are named "Numbered - Song ...").
std::vector<fs::path> recordingsIn(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("Numbered ") && !name.starts_with("Numbered - "))
            found.push_back(entry.path());
    }
    return found;
}

fs::path recordingIn(const fs::path& folder) {
    const auto found = recordingsIn(folder);
    return found.empty() ? fs::path() : found.front();
}

bool strictlyRising(const std::vector<std::uint64_t>& frames) {
    return std::adjacent_find(frames.begin(), frames.end(),
                              [](auto a, auto b) { return b <= a; }) == frames.end();
}

class RecordingPlayerTest : public testing::Test {
  protected:
    void SetUp() override {
        // The test's own settings and cache, never the user's.
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.file("config")));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.file("cache")));
        chooseRecordingsFolder(recordings());
    }
    fs::path recordings() const { return folder.file("recordings"); }
    testkit::TempFolder folder;
};

TEST_F(RecordingPlayerTest, ARecordingGoesOnInTheSameFileAcrossAServerRestartWithNoFrameTwice) {
    NumberedStation::Options options;
    // Icecast's burst: a new listener first gets the last seconds again.
    options.burstFrames = 3 * kSecond;
    NumberedStation station(options);
    MpvPlayerOptions playerOptions;
    playerOptions.renderVideo = false;
    playerOptions.audioOutput = "null";
    playerOptions.reconnectWaitsMs = {300, 300, 300, 300, 300};
    MpvPlayer player(playerOptions);
    ChannelRecording recording(player);
    player.play(station.url());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.state() == platform::MediaPlayer::State::Playing; }, kWaitLimitMs));
    EXPECT_TRUE(player.playsThroughRelay());
    recording.toggle("Numbered");
    ASSERT_TRUE(recording.recording()) << recording.mark().toStdString();
    EXPECT_TRUE(recording.mark().startsWith(QStringLiteral("\u25CF REC 00:0")));
    const fs::path file = recordingIn(recordings());
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return fs::file_size(file) > 2 * kSecond * NumberedStation::kFrameBytes; },
        kWaitLimitMs));

    station.stop();
    station.start();
    // Tried again, and playing again into the same file.
    const std::uint64_t back = station.airedFrames();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto frames = NumberedStation::framesIn(contents(file));
            return !frames.empty() && frames.back() > back + 2 * kSecond;
        },
        kWaitLimitMs));
    player.stop();
    EXPECT_FALSE(recording.recording());
    EXPECT_EQ(recording.mark(),
              QStringLiteral("Recorded: ") + QString::fromStdString(file.filename().string()));

    const auto frames = NumberedStation::framesIn(contents(file));
    EXPECT_TRUE(strictlyRising(frames)) << "a frame came twice";
    EXPECT_EQ(recordingsIn(recordings()), std::vector<fs::path>{file})
        << "a second file was started";
}

TEST_F(RecordingPlayerTest, AnHttpsStationIsRecordedAsItSentThroughTheRelay) {
    NumberedStation station({});
    TlsFront front(station.port());
    MpvPlayerOptions playerOptions;
    playerOptions.renderVideo = false;
    playerOptions.audioOutput = "null";
    MpvPlayer player(playerOptions);
    ChannelRecording recording(player);
    player.play(front.url("/numbered.mp3"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.state() == platform::MediaPlayer::State::Playing; }, kWaitLimitMs));
    EXPECT_TRUE(player.playsThroughRelay());
    recording.toggle("Numbered");
    ASSERT_TRUE(recording.recording()) << recording.mark().toStdString();
    const fs::path file = recordingIn(recordings());
    // The station's MP3 as it came, not libmpv's MPEG-TS of it.
    ASSERT_EQ(file.extension(), ".mp3") << file;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return NumberedStation::framesIn(contents(file)).size() > 2 * kSecond; },
        kWaitLimitMs));
    player.stop();
    const std::string bytes = contents(file);
    const auto frames = NumberedStation::framesIn(bytes);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back() - frames.front() + 1, frames.size()) << "a frame is missing";
    // From its first whole frame on, every byte is one the station sent, in order.
    std::string sent;
    for (const std::uint64_t n : frames)
        sent += NumberedStation::frame(n);
    const auto first = bytes.find(NumberedStation::frame(frames.front()));
    ASSERT_NE(first, std::string::npos);
    EXPECT_TRUE(bytes.compare(first, sent.size(), sent) == 0)
        << "the recording is not what the station sent";
}

TEST_F(RecordingPlayerTest, AKilledProgramLeavesItsRecordingReadableToWithinASecondOfItsEnd) {
    NumberedStation station({});
    QProcess helper;
    helper.start(QStringLiteral(QOVA_RECORDING_HELPER),
                 {QString::fromStdString(station.url()), QString::fromStdString(folder.path())});
    ASSERT_TRUE(helper.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return helper.readAllStandardOutput().contains("recording"); }, kWaitLimitMs));
    const fs::path files = folder.file("recordings");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const fs::path file = recordingIn(files);
            std::error_code error;
            return !file.empty() &&
                   fs::file_size(file, error) > 3 * kSecond * NumberedStation::kFrameBytes;
        },
        kWaitLimitMs));
    const std::uint64_t aired = station.airedFrames();
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(kWaitLimitMs));

    const std::string recorded = contents(recordingIn(files));
    const auto frames = NumberedStation::framesIn(recorded);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back() - frames.front() + 1, frames.size()) << "a frame is missing";
    // Whole frames from the first byte: what was written can be played up to its end.
    EXPECT_EQ(
        recorded.compare(0, NumberedStation::kFrameBytes, NumberedStation::frame(frames.front())),
        0);
    EXPECT_GE(frames.back() + kSecond, aired) << "more than a second was held back unwritten";
}

// The engine's cache files under the folder that this process holds open: the engine unlinks
// each as it makes it, so it is found by its descriptor, with its size.
std::vector<std::uintmax_t> cacheFilesHeld(const fs::path& folder) {
    std::vector<std::uintmax_t> sizes;
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (!error && target.starts_with(folder.string()))
            sizes.push_back(fs::file_size(fd.path(), error));
    }
    return sizes;
}

TEST_F(RecordingPlayerTest, PausedTwentySecondsItGoesOnFromThePausedPointAndGoLiveCatchesUp) {
    NumberedStation station({});
    MpvPlayerOptions playerOptions;
    playerOptions.renderVideo = false;
    playerOptions.audioOutput = "null";
    MpvPlayer player(playerOptions);
    const QSignalSpy notHeld(&player, &MpvPlayer::notHeld);
    player.play(station.url());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.state() == platform::MediaPlayer::State::Playing; }, kWaitLimitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.canSeek(); }, kWaitLimitMs));
    EXPECT_TRUE(cacheFilesHeld(folder.file("cache")).empty()) << "a cache on disk before a pause";
    const std::string normalSecs = player.engineValue("cache-secs");
    const std::string normalDir = player.engineValue("cache-dir");

    ASSERT_TRUE(player.pause());
    EXPECT_NE(player.engineValue("cache-secs"), normalSecs);
    EXPECT_TRUE(player.paused());
    const double pausedAt = player.position();
    // Twenty seconds of the station come meanwhile, held on disk.
    QTest::qWait(20000);
    EXPECT_GE(player.behindLive(), 18.0);
    const auto held = cacheFilesHeld(folder.file("cache"));
    ASSERT_EQ(held.size(), 1u) << "the pause's cache is not on disk";
    // 20 s of a 128 kb/s station, with room for the engine's own records.
    EXPECT_LE(held[0], 2u * 20 * 16000);

    player.resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.position() > pausedAt + 0.2; }, kWaitLimitMs));
    // From the paused point: not a second of the twenty skipped.
    EXPECT_LT(player.position(), pausedAt + 3.0);
    EXPECT_GE(player.behindLive(), 15.0);

    player.goLive();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.behindLive() < 3.0; }, kWaitLimitMs));
    EXPECT_GE(player.position(), pausedAt + 17.0);
    EXPECT_EQ(player.engineValue("cache-secs"), normalSecs) << "live keeps the pause's bound";
    EXPECT_EQ(notHeld.count(), 0) << "a stream held to the end said it was not";

    // Another channel starts with the engine's own cache, not what the last one paused with.
    ASSERT_TRUE(player.pause());
    player.play(station.url());
    EXPECT_EQ(player.engineValue("cache-secs"), normalSecs);
    EXPECT_EQ(player.engineValue("cache-dir"), normalDir);
    EXPECT_EQ(player.engineValue("cache-on-disk"), "no");

    // The cache file goes with the channel that paused.
    player.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cacheFilesHeld(folder.file("cache")).empty(); },
                                kWaitLimitMs));
}

TEST_F(RecordingPlayerTest, AStationThatDropsThePausedStreamPlaysWhatWasHeldAndSaysItGoesLive) {
    NumberedStation station({});
    PlayerView view(nullptr, {"null", true, {300, 300, 300, 300, 300}});
    MpvPlayer& player = view.player();
    const QSignalSpy notHeld(&player, &MpvPlayer::notHeld);
    const QSignalSpy reconnecting(&player, &MpvPlayer::reconnecting);
    player.play(station.url());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.state() == platform::MediaPlayer::State::Playing && player.canSeek(); },
        kWaitLimitMs));
    ASSERT_TRUE(player.pause());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.behindLive() > 4.0; }, kWaitLimitMs));

    // The station lets go of its reader while it is paused, and is back before Play.
    station.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.heldStreamEnded(); }, kWaitLimitMs));
    station.start();
    const double pausedAt = player.position();
    const double held = player.behindLive();
    player.resume();
    // What was held plays first, then the stream is tried again, and said to be live again.
    double reached = pausedAt;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            reached = std::max(reached, player.position());
            return notHeld.count() == 1;
        },
        kWaitLimitMs));
    EXPECT_GE(reached, pausedAt + held - 1.0) << "what was held was not played";
    EXPECT_GE(reconnecting.count(), 1);
    const std::string told = playback::ReconnectPlan::notHeldText();
    EXPECT_EQ(view.statusText().toStdString(), told);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return player.state() == platform::MediaPlayer::State::Playing; }, kWaitLimitMs));
    EXPECT_FALSE(player.paused());
    EXPECT_EQ(notHeld.count(), 1);
    // Still read as live plays again, and gone a while later.
    EXPECT_EQ(view.statusText().toStdString(), told);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.statusText().isEmpty(); }, kWaitLimitMs));
}

}  // namespace
}  // namespace qova::player
