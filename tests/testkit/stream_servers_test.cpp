// The loopback streaming servers leave nothing behind them: a test run on a shared machine must
// not leak processes or files, whatever the tests did with the servers.
#include "testkit/stream_servers.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace qova::testkit {
namespace {

// The stream servers' temp folders that this test process made and has not removed.
int ownTempFolders() {
    const std::string prefix = "qova-streams-" + std::to_string(::getpid()) + "-";
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        count += entry.path().filename().string().starts_with(prefix) ? 1 : 0;
    return count;
}

// Also after restarts, which the long runs use: the old processes are gone at once and the new
// ones serve at the old addresses.
TEST(StreamServersTest, RestartsKeepTheAddressesAndStoppingLeavesNothingBehind) {
    std::string why;
    if (!StreamServers::available(&why))
        GTEST_SKIP() << "streaming servers not installed: " << why;
    const int foldersBefore = ownTempFolders();
    std::vector<int> ids;
    {
        StreamServers servers;
        EXPECT_EQ(ownTempFolders(), foldersBefore + 1);
        ids = servers.processIds();
        ASSERT_EQ(ids.size(), 5u) << "icecast, two sources, the HLS encoder, the RTSP helper";
        for (const int id : ids)
            EXPECT_EQ(::kill(id, 0), 0) << "process " << id << " should run";
        const std::string hls = servers.hlsUrl(), rtsp = servers.rtspUrl();
        servers.restartHls();
        servers.restartRtsp();
        EXPECT_EQ(servers.hlsUrl(), hls);
        EXPECT_EQ(servers.rtspUrl(), rtsp);
        for (const int id : {ids[3], ids[4]})
            EXPECT_TRUE(::kill(id, 0) == -1 && errno == ESRCH)
                << "replaced " << id << " still runs";
        const std::vector<int> now = servers.processIds();
        ASSERT_EQ(now.size(), 5u);
        ids.insert(ids.end(), now.begin(), now.end());
    }
    EXPECT_EQ(ownTempFolders(), foldersBefore) << "temp files outlived the servers";
    for (const int id : ids) {
        EXPECT_TRUE(::kill(id, 0) == -1 && errno == ESRCH) << "process " << id << " outlived them";
        EXPECT_TRUE(::kill(-id, 0) == -1 && errno == ESRCH) << "its group " << id << " too";
    }
}

}  // namespace
}  // namespace qova::testkit
