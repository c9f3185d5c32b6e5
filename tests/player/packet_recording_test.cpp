// A stream the relay does not tape, HLS with a picture, recorded by the engine: its packets go
// unchanged into an MPEG-TS file in the videos folder, which ends with the channel.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "player/channel_recording.h"
#include "player/mpv_player.h"
#include "support/stream_servers_suite.h"
#include "testkit/temp_folder.h"

namespace qova::player {
namespace {

namespace fs = std::filesystem;
constexpr int kWaitLimitMs = 30000;
constexpr std::size_t kTsPacket = 188;

class PacketRecordingTest : public testing::StreamServersSuite<false, true, false> {
  protected:
    void SetUp() override {
        StreamServersSuite::SetUp();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.file("config")));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.file("cache")));
        chooseRecordingsFolder(folder.file("recordings"));
    }
    testkit::TempFolder folder;
};

TEST_F(PacketRecordingTest, AnHlsChannelIsRecordedAsMpegTsUntilTheChannelEnds) {
    MpvPlayerOptions options;
    options.renderVideo = false;
    options.audioOutput = "null";
    MpvPlayer player(options);
    ChannelRecording recording(player);
    player.play(servers->hlsUrl());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player.state() == MpvPlayer::State::Playing; }, kWaitLimitMs));
    recording.toggle("Test Card");
    ASSERT_TRUE(recording.recording()) << recording.mark().toStdString();
    const fs::path file = player.packetRecording();
    EXPECT_EQ(file.parent_path(), fs::path(folder.file("recordings")));
    EXPECT_TRUE(file.filename().string().starts_with("Test Card "));
    EXPECT_EQ(file.extension(), ".ts");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            return fs::file_size(file, error) > 200 * kTsPacket;
        },
        kWaitLimitMs));

    // Another channel ends it.
    player.stop();
    EXPECT_FALSE(recording.recording());
    EXPECT_EQ(recording.mark().toStdString(), "Recorded: " + file.filename().string());
    const std::string ts = testkit::fileBytes(file.string());
    // MPEG-TS: whole packets, each beginning with its sync byte.
    ASSERT_GE(ts.size(), 200 * kTsPacket);
    for (std::size_t at = 0; at + kTsPacket <= ts.size(); at += kTsPacket)
        ASSERT_EQ(ts[at], '\x47') << "no MPEG-TS packet at " << at;
}

}  // namespace
}  // namespace qova::player
