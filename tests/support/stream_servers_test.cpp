// The loopback streaming servers really stream: checked with plain sockets and ffprobe, so
// that a failing playback test can be told apart from a server that never played.
#include "support/stream_servers.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>

#include "support/streams/stream_processes.h"
#include "support/temp_folder.h"

namespace qova::testing {
namespace {

using namespace std::chrono_literals;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct HttpAnswer {
    std::string statusLine;
    std::string head;  // lowercase, for looking up fields
    std::string body;
};

HttpAnswer splitAnswer(const std::string& raw) {
    HttpAnswer answer;
    const auto headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return answer;
    answer.statusLine = raw.substr(0, raw.find("\r\n"));
    answer.head = lowercase(raw.substr(0, headEnd + 2));
    answer.body = raw.substr(headEnd + 4);
    return answer;
}

std::string field(const HttpAnswer& answer, const std::string& name) {
    const auto at = answer.head.find("\n" + name + ":");
    if (at == std::string::npos)
        return {};
    const auto start = answer.head.find_first_not_of(' ', at + name.size() + 2);
    return answer.head.substr(start, answer.head.find("\r\n", start) - start);
}

std::string pathOf(const std::string& url) {
    const auto hostEnd = url.find('/', url.find("://") + 3);
    return url.substr(hostEnd);
}

HttpAnswer httpGet(const std::string& url, const std::string& extra,
                   const std::function<bool(const std::string&)>& enough, std::size_t maxBytes) {
    const std::uint16_t port = loopbackPort(url);
    const std::string request = "GET " + pathOf(url) +
                                " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" +
                                extra + "\r\n";
    return splitAnswer(exchangeOnLoopback(port, request, 5s, enough, maxBytes));
}

// The codec types of the streams ffprobe finds, e.g. "audio" or "audio video". A live stream
// is endless, so probing stops after a second of it rather than the usual five.
std::string probedStreamTypes(const std::string& url, const std::string& format = {}) {
    TempFolder folder;
    streams::SpawnOptions spawn;
    spawn.log = folder.file("ffprobe.txt");
    std::vector<std::string> args = {
        "/usr/bin/ffprobe", "-v", "error", "-rw_timeout", "5000000", "-analyzeduration", "1000000"};
    if (!format.empty())
        args.insert(args.end(), {"-f", format});
    args.insert(args.end(), {"-show_entries", "stream=codec_type", "-of", "csv=p=0", url});
    streams::ChildProcess probe("ffprobe", args, spawn);
    if (!probe.waitForExit(streams::Clock::now() + 15s) || probe.exitCode() != 0)
        return "ffprobe failed: " + probe.describe();
    std::set<std::string> types;
    std::istringstream lines(folder.read("ffprobe.txt").value_or(""));
    for (std::string line; std::getline(lines, line);) {
        if (line == "audio" || line == "video")
            types.insert(line);
    }
    std::string text;
    for (const auto& type : types)
        text += (text.empty() ? "" : " ") + type;
    return text;
}

// The stream servers' temp folders that this test process made and has not removed.
int ownTempFolders() {
    const std::string prefix = "qova-streams-" + std::to_string(::getpid()) + "-";
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        count += entry.path().filename().string().rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

bool skipUnlessAvailable(StreamServers::Options options, std::string* why) {
    return !StreamServers::available(why, options) || ::access("/usr/bin/ffprobe", X_OK) != 0;
}

TEST(StreamServersTest, IcecastMp3CarriesTheTitleInIcyMetadata) {
    const StreamServers::Options options{.icecast = true, .hls = false, .rtsp = false};
    std::string why;
    if (skipUnlessAvailable(options, &why))
        GTEST_SKIP() << "streaming servers not installed: " << why;
    StreamServers servers(options);
    std::cout << "startup: " << servers.startupReport() << std::endl;

    const std::string marker = "StreamTitle='" + servers.mp3StreamTitle() + "';";
    const HttpAnswer answer = httpGet(
        servers.icecastMp3Url(), "Icy-MetaData: 1\r\n",
        [&](const std::string& raw) { return raw.find(marker) != std::string::npos; }, 256 * 1024);
    ASSERT_NE(answer.statusLine.find(" 200"), std::string::npos) << answer.statusLine;
    EXPECT_EQ(field(answer, "content-type"), "audio/mpeg");
    const int metaint = std::atoi(field(answer, "icy-metaint").c_str());
    ASSERT_GT(metaint, 0) << answer.head;
    // The title sits where the interval says, in the first metadata block a listener gets.
    ASSERT_GT(answer.body.size(), static_cast<std::size_t>(metaint) + 1);
    const auto blockLength = static_cast<unsigned char>(answer.body[metaint]) * std::size_t{16};
    const std::string block = answer.body.substr(metaint + 1, blockLength);
    EXPECT_NE(block.find(marker), std::string::npos) << block;
    EXPECT_EQ(field(answer, "icy-name"), "qova test mp3");

    // A listener joins mid-frame, as with any Icecast server, and content sniffing then wants
    // ~8 s of MP3; players go by the content type instead, and so does this probe.
    EXPECT_EQ(probedStreamTypes(servers.icecastMp3Url(), "mp3"), "audio");
    EXPECT_THROW(servers.hlsUrl(), std::logic_error);
    EXPECT_THROW(servers.rtspUrl(), std::logic_error);
}

TEST(StreamServersTest, IcecastOggMountAnswersOggVorbis) {
    const StreamServers::Options options{.icecast = true, .hls = false, .rtsp = false};
    std::string why;
    if (skipUnlessAvailable(options, &why))
        GTEST_SKIP() << "streaming servers not installed: " << why;
    StreamServers servers(options);

    const std::string title = servers.oggTitle();
    const HttpAnswer answer = httpGet(
        servers.icecastOggUrl(), "",
        [&](const std::string& raw) { return raw.find(title) != std::string::npos; }, 128 * 1024);
    ASSERT_NE(answer.statusLine.find(" 200"), std::string::npos) << answer.statusLine;
    EXPECT_EQ(field(answer, "content-type"), "audio/ogg");
    EXPECT_EQ(answer.body.rfind("OggS", 0), 0u) << "a listener starts at an Ogg page";
    EXPECT_NE(answer.body.find(title), std::string::npos)
        << "the title travels in the Vorbis comments";
    EXPECT_EQ(probedStreamTypes(servers.icecastOggUrl()), "audio");
}

TEST(StreamServersTest, HlsPlaylistListsLiveSegmentsThatDownload) {
    const StreamServers::Options options{.icecast = false, .hls = true, .rtsp = false};
    std::string why;
    if (skipUnlessAvailable(options, &why))
        GTEST_SKIP() << "streaming servers not installed: " << why;
    StreamServers servers(options);
    std::cout << "startup: " << servers.startupReport() << std::endl;

    const std::string url = servers.hlsUrl();
    const HttpAnswer playlist = httpGet(url, "", {}, 64 * 1024);
    ASSERT_NE(playlist.statusLine.find(" 200"), std::string::npos) << playlist.statusLine;
    EXPECT_EQ(field(playlist, "content-type"), "application/vnd.apple.mpegurl");
    EXPECT_EQ(playlist.body.rfind("#EXTM3U", 0), 0u);
    EXPECT_EQ(playlist.body.find("#EXT-X-ENDLIST"), std::string::npos) << "a live list";
    std::vector<std::string> segments;
    std::istringstream lines(playlist.body);
    for (std::string line; std::getline(lines, line);) {
        if (line.ends_with(".ts"))
            segments.push_back(line);
    }
    ASSERT_GE(segments.size(), 2u) << playlist.body;

    // The newest segment stays in the list for several seconds, so it is there to fetch.
    const std::string base = url.substr(0, url.rfind('/') + 1);
    const HttpAnswer segment = httpGet(base + segments.back(), "", {}, 8 * 1024 * 1024);
    ASSERT_NE(segment.statusLine.find(" 200"), std::string::npos) << segment.statusLine;
    EXPECT_EQ(field(segment, "content-type"), "video/mp2t");
    EXPECT_EQ(std::to_string(segment.body.size()), field(segment, "content-length"));
    ASSERT_GT(segment.body.size(), 188u * 10);
    EXPECT_EQ(segment.body[0], 0x47) << "MPEG-TS sync byte";

    EXPECT_NE(httpGet(base + "missing.ts", "", {}, 4096).statusLine.find(" 404"),
              std::string::npos);
    EXPECT_NE(httpGet(base + "../index.m3u8", "", {}, 4096).statusLine.find(" 404"),
              std::string::npos);
    EXPECT_EQ(probedStreamTypes(url), "audio video");
}

TEST(StreamServersTest, RtspAnswersOptionsAndDescribesVideoAndAudio) {
    const StreamServers::Options options{.icecast = false, .hls = false, .rtsp = true};
    std::string why;
    if (skipUnlessAvailable(options, &why))
        GTEST_SKIP() << "streaming servers not installed: " << why;
    StreamServers servers(options);
    std::cout << "startup: " << servers.startupReport() << std::endl;

    const std::string url = servers.rtspUrl();
    const std::uint16_t port = loopbackPort(url);
    const std::string optionsAnswer = exchangeOnLoopback(
        port, "OPTIONS " + url + " RTSP/1.0\r\nCSeq: 1\r\n\r\n", 5s, streams::rtspAnswerComplete);
    EXPECT_EQ(optionsAnswer.rfind("RTSP/1.0 200", 0), 0u) << optionsAnswer;
    EXPECT_NE(optionsAnswer.find("DESCRIBE"), std::string::npos);

    const std::string describe = exchangeOnLoopback(
        port, "DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 2\r\nAccept: application/sdp\r\n\r\n", 10s,
        streams::rtspAnswerComplete);
    ASSERT_EQ(describe.rfind("RTSP/1.0 200", 0), 0u) << describe;
    const HttpAnswer sdp = splitAnswer(describe);
    EXPECT_EQ(field(sdp, "content-type"), "application/sdp");
    EXPECT_TRUE(std::regex_search(sdp.body, std::regex("m=video \\d+ RTP/AVP 96")));
    EXPECT_NE(sdp.body.find("H264/90000"), std::string::npos) << sdp.body;
    EXPECT_NE(lowercase(sdp.body).find("mpeg4-generic"), std::string::npos) << sdp.body;

    EXPECT_EQ(probedStreamTypes(url), "audio video");
}

TEST(StreamServersTest, AllServersRunTogetherAndLeaveNoProcessBehind) {
    const StreamServers::Options options;
    std::string why;
    if (skipUnlessAvailable(options, &why))
        GTEST_SKIP() << "streaming servers not installed: " << why;
    std::vector<int> ids;
    {
        const auto started = streams::Clock::now();
        StreamServers servers(options);
        std::cout << "startup together: " << servers.startupReport() << std::endl;
        EXPECT_LT(streams::Clock::now() - started, 20s);
        const std::set<std::uint16_t> ports = {loopbackPort(servers.icecastMp3Url()),
                                               loopbackPort(servers.hlsUrl()),
                                               loopbackPort(servers.rtspUrl())};
        EXPECT_EQ(ports.size(), 3u);
        EXPECT_EQ(loopbackPort(servers.icecastMp3Url()), loopbackPort(servers.icecastOggUrl()));
        EXPECT_EQ(ownTempFolders(), 1);
        ids = servers.processIds();
        ASSERT_EQ(ids.size(), 5u) << "icecast, two sources, the HLS encoder, the RTSP helper";
        for (const int id : ids)
            EXPECT_EQ(::kill(id, 0), 0) << "process " << id << " should run";
    }
    EXPECT_EQ(ownTempFolders(), 0) << "temp files outlived the servers";
    for (const int id : ids) {
        errno = 0;
        EXPECT_EQ(::kill(id, 0), -1) << "process " << id << " outlived the servers";
        EXPECT_EQ(errno, ESRCH);
        errno = 0;
        EXPECT_EQ(::kill(-id, 0), -1) << "process group " << id << " outlived the servers";
        EXPECT_EQ(errno, ESRCH);
    }
}

}  // namespace
}  // namespace qova::testing
