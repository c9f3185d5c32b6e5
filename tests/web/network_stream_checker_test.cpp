// Channel checks against real sockets on 127.0.0.1: what answers, what does not and why.
#include "web/network_stream_checker.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTest>
#include <map>
#include <optional>

#include "platform/stream_address.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"

namespace qova::web {
namespace {

using Verdict = platform::StreamChecker::Verdict;
using Result = platform::StreamChecker::Result;

/// Checks each address at once and waits for all verdicts.
std::map<std::string, Result> checkAll(NetworkStreamChecker& checker,
                                       const std::vector<std::string>& addresses) {
    std::map<std::string, Result> results;
    for (const std::string& address : addresses)
        checker.check(address, [&results, address](Result result) { results[address] = result; });
    // Nothing is told from within check.
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return results.size() == addresses.size(); }, 10000));
    return results;
}

TEST(NetworkStreamChecker, TellsStreamsThatAnswerFromThoseThatDoNotAndWhy) {
    testkit::LoopbackHttpServer server;
    server.endless("/live.mp3", "\xFF\xFB\x90\x64", "audio/mpeg");
    server.hang("/hang.mp3");
    server.garbage("/garbage.mp3");
    server.serve("/page.html", "<html><body>Welcome</body></html>", "text/html");
    server.serve("/empty.mp3", "", "audio/mpeg");
    server.serve("/seg0.ts", std::string(188, 'G'), "video/mp2t");
    server.serve("/live/index.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n../seg0.ts\n",
                 "application/vnd.apple.mpegurl");
    server.serve("/master.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000\nlive/index.m3u8\n",
                 "application/x-mpegURL");
    server.serve("/nosegment.m3u8", "#EXTM3U\n#EXTINF:1,\nmissing.ts\n", "audio/mpegurl");
    testkit::TempFolder folder;
    folder.write("clip.mp4", "not really a clip");
    QTcpServer rtspRefused;
    ASSERT_TRUE(rtspRefused.listen(QHostAddress::LocalHost, 0));
    const quint16 closedRtsp = rtspRefused.serverPort();
    rtspRefused.close();

    NetworkStreamChecker checker(nullptr, "QOVA test", 800);
    const std::string live =
        platform::addressWithHeaders(server.url("/live.mp3"), {{"User-Agent", "Test Agent"}});
    const std::string refused = testkit::closedPortUrl() + "x.mp3";
    const auto results = checkAll(
        checker, {live, server.url("/missing.mp3"), refused, server.url("/hang.mp3"),
                  server.url("/garbage.mp3"), server.url("/page.html"), server.url("/empty.mp3"),
                  server.url("/master.m3u8"), server.url("/nosegment.m3u8"),
                  folder.path() + "/clip.mp4", "file://" + folder.path() + "/gone.mp4",
                  "rtsp://127.0.0.1:" + std::to_string(closedRtsp) + "/live",
                  "rtmp://127.0.0.1:1/app/stream"});
    const auto verdict = [&](const std::string& address) { return results.at(address).verdict; };
    const auto reason = [&](const std::string& address) { return results.at(address).reason; };

    EXPECT_EQ(verdict(live), Verdict::Answers);
    EXPECT_NE(server.lastRequestHead("/live.mp3").find("User-Agent: Test Agent\r\n"),
              std::string::npos);
    EXPECT_EQ(reason(server.url("/missing.mp3")), "The server answered 404.");
    EXPECT_EQ(reason(refused), "The connection was refused.");
    EXPECT_EQ(reason(server.url("/hang.mp3")), "No answer within 1 second.");
    EXPECT_EQ(verdict(server.url("/garbage.mp3")), Verdict::Fails);
    EXPECT_EQ(reason(server.url("/page.html")), "The address gives a web page, not a stream.");
    EXPECT_EQ(reason(server.url("/empty.mp3")), "The stream sent nothing.");
    // A playlist answers only when a segment of it does.
    EXPECT_EQ(verdict(server.url("/master.m3u8")), Verdict::Answers);
    EXPECT_EQ(server.requestCount("/seg0.ts"), 1);
    EXPECT_EQ(reason(server.url("/nosegment.m3u8")), "The server answered 404.");
    EXPECT_EQ(verdict(folder.path() + "/clip.mp4"), Verdict::Answers);
    EXPECT_EQ(reason("file://" + folder.path() + "/gone.mp4"), "The file is not there.");
    EXPECT_EQ(reason("rtsp://127.0.0.1:" + std::to_string(closedRtsp) + "/live"),
              "The connection was refused.");
    EXPECT_EQ(verdict("rtmp://127.0.0.1:1/app/stream"), Verdict::Unknown);
    for (const auto& [address, result] : results) {
        EXPECT_EQ(result.when.size(), 16u) << address;  // "2026-12-06 19:05"
        EXPECT_EQ(result.reason.empty(), result.verdict != Verdict::Fails) << address;
    }
    // Nothing is left open: the endless stream and the hanging server were let go.
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
}

TEST(NetworkStreamChecker, CancelledChecksAreNeverHeardOfAndLeaveNothingOpen) {
    testkit::LoopbackHttpServer server;
    server.hang("/hang.mp3");
    NetworkStreamChecker checker(nullptr, "QOVA test", 5000);
    int heard = 0;
    for (int i = 0; i < 3; ++i)
        checker.check(server.url("/hang.mp3"), [&](Result) { ++heard; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/hang.mp3") == 3; }, 5000));
    checker.cancelAll();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
    EXPECT_EQ(heard, 0);
}

}  // namespace
}  // namespace qova::web
