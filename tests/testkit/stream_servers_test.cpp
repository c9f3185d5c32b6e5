// The loopback streaming servers are up and speak their protocols, checked with plain sockets,
// so that a failing playback test can be told apart from a server that never started.
#include "testkit/stream_servers.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "testkit/streams/stream_processes.h"

namespace qova::testkit {
namespace {

using namespace std::chrono_literals;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// An answer's head, in lowercase so that fields are found whatever their case, and its body.
struct Answer {
    std::string head;
    std::string body;

    explicit Answer(const std::string& raw) : head(raw.substr(0, raw.find("\r\n\r\n") + 2)) {
        body = raw.substr(std::min(head.size() + 2, raw.size()));
        std::transform(head.begin(), head.end(), head.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    bool ok() const { return has(head.substr(0, head.find('\r')), " 200 "); }
    bool says(const std::string& field) const { return has(head, "\n" + field + "\r"); }
};

Answer httpGet(const std::string& url, const std::string& extra = {},
               const std::function<bool(const std::string&)>& enough = {}) {
    const std::uint16_t port = loopbackPort(url);
    const std::string path = url.substr(url.find('/', url.find("://") + 3));
    return Answer(
        exchangeOnLoopback(port, "GET " + path + " HTTP/1.0\r\n" + extra + "\r\n", 5s, enough));
}

// The stream servers' temp folders that this test process made and has not removed.
int ownTempFolders() {
    const std::string prefix = "qova-streams-" + std::to_string(::getpid()) + "-";
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        count += entry.path().filename().string().starts_with(prefix) ? 1 : 0;
    return count;
}

class StreamServersTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (StreamServers::available(&why_))
            servers_ = std::make_unique<StreamServers>();
        if (servers_)
            std::cout << "startup: " << servers_->startupReport() << std::endl;
    }
    static void TearDownTestSuite() { servers_.reset(); }
    void SetUp() override {
        if (!why_.empty())
            GTEST_SKIP() << "streaming servers not installed: " << why_;
        ASSERT_TRUE(servers_) << "the streaming servers did not start";
    }

    static inline std::unique_ptr<StreamServers> servers_;
    static inline std::string why_;
};

TEST_F(StreamServersTest, IcecastAnnouncesTheMp3TitleAndServesOggVorbis) {
    const std::string marker = "StreamTitle='" + servers_->mp3StreamTitle() + "';";
    const Answer mp3 = httpGet(servers_->icecastMp3Url(), "Icy-MetaData: 1\r\n",
                               [&](const std::string& raw) { return has(raw, marker); });
    ASSERT_TRUE(mp3.ok()) << mp3.head;
    EXPECT_TRUE(mp3.says("content-type: audio/mpeg")) << mp3.head;
    // The title sits where the interval says, in the first metadata block a listener gets.
    const auto field = mp3.head.find("\nicy-metaint:");
    const int metaint = field == std::string::npos ? 0 : std::atoi(&mp3.head[field + 13]);
    ASSERT_GT(metaint, 0) << mp3.head;
    ASSERT_GT(mp3.body.size(), static_cast<std::size_t>(metaint) + 1);
    const auto blockLength = static_cast<unsigned char>(mp3.body[metaint]) * std::size_t{16};
    const std::string block = mp3.body.substr(metaint + 1, blockLength);
    EXPECT_TRUE(has(block, marker)) << block;

    const std::string title = servers_->oggTitle();
    const Answer ogg = httpGet(servers_->icecastOggUrl(), "",
                               [&](const std::string& raw) { return has(raw, title); });
    ASSERT_TRUE(ogg.ok()) << ogg.head;
    EXPECT_TRUE(ogg.says("content-type: audio/ogg")) << ogg.head;
    EXPECT_TRUE(has(ogg.body, title)) << "the title travels in the Vorbis comments";
}

TEST_F(StreamServersTest, HlsPlaylistIsLiveAndItsNewestSegmentDownloads) {
    const std::string url = servers_->hlsUrl();
    const Answer playlist = httpGet(url);
    ASSERT_TRUE(playlist.ok()) << playlist.head;
    EXPECT_TRUE(playlist.says("content-type: application/vnd.apple.mpegurl")) << playlist.head;
    EXPECT_TRUE(playlist.body.starts_with("#EXTM3U"));
    EXPECT_FALSE(has(playlist.body, "#EXT-X-ENDLIST")) << "a live list";
    std::vector<std::string> segments;
    std::istringstream lines(playlist.body);
    for (std::string line; std::getline(lines, line);) {
        if (line.ends_with(".ts"))
            segments.push_back(line);
    }
    ASSERT_GE(segments.size(), 2u) << playlist.body;

    // The newest segment stays in the list for several seconds, so it is there to fetch.
    const std::string base = url.substr(0, url.rfind('/') + 1);
    const Answer segment = httpGet(base + segments.back());
    ASSERT_TRUE(segment.ok()) << segment.head;
    EXPECT_TRUE(segment.says("content-type: video/mp2t")) << segment.head;
    EXPECT_TRUE(segment.body.starts_with('\x47')) << "MPEG-TS sync byte";
    EXPECT_TRUE(has(httpGet(base + "missing.ts").head, " 404 "));
}

TEST_F(StreamServersTest, RtspDescribesH264VideoAndAacAudio) {
    const std::string url = servers_->rtspUrl();
    const std::string describe = exchangeOnLoopback(
        loopbackPort(url),
        "DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\n\r\n", 10s,
        streams::rtspAnswerComplete);
    const Answer sdp(describe);
    ASSERT_TRUE(sdp.ok()) << describe;
    EXPECT_TRUE(sdp.says("content-type: application/sdp")) << sdp.head;
    EXPECT_TRUE(has(sdp.body, "H264/90000") && has(sdp.body, "MPEG4-GENERIC/")) << sdp.body;
}

TEST_F(StreamServersTest, StoppingLeavesNoProcessOrFileBehind) {
    const int foldersBefore = ownTempFolders();
    std::vector<int> ids;
    {
        StreamServers servers;
        EXPECT_EQ(ownTempFolders(), foldersBefore + 1);
        ids = servers.processIds();
        ASSERT_EQ(ids.size(), 5u) << "icecast, two sources, the HLS encoder, the RTSP helper";
        for (const int id : ids)
            EXPECT_EQ(::kill(id, 0), 0) << "process " << id << " should run";
    }
    EXPECT_EQ(ownTempFolders(), foldersBefore) << "temp files outlived the servers";
    for (const int id : ids) {
        EXPECT_TRUE(::kill(id, 0) == -1 && errno == ESRCH) << "process " << id << " outlived them";
        EXPECT_TRUE(::kill(-id, 0) == -1 && errno == ESRCH) << "its group " << id << " too";
    }
}

}  // namespace
}  // namespace qova::testkit
