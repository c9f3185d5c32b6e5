// Channel checks against real sockets on 127.0.0.1: what answers, what does not and why.
#include "web/network_stream_checker.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTest>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/stream_address.h"
#include "support/qt_warnings.h"
#include "testkit/fifo_watch.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "web/stream_answers.h"

namespace qova::web {
namespace {

using Verdict = platform::StreamChecker::Verdict;
using Result = platform::StreamChecker::Result;

/// Checks each address at once, as a channel of a list on this computer, and waits for all
/// verdicts.
std::map<std::string, Result> checkAll(NetworkStreamChecker& checker,
                                       const std::vector<std::string>& addresses,
                                       bool localFilesAllowed = true) {
    std::map<std::string, Result> results;
    for (const std::string& address : addresses) {
        checker.check(address, localFilesAllowed,
                      [&results, address](Result result) { results[address] = result; });
    }
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
    // A check follows a playlist on the web only, never to a file here.
    server.serve("/local.m3u8", "#EXTM3U\n#EXTINF:1,\nfile:///dev/zero\n", "audio/mpegurl");
    testkit::TempFolder folder;
    folder.write("clip.mp4", "not really a clip");
    QTcpServer rtspRefused;
    ASSERT_TRUE(rtspRefused.listen(QHostAddress::LocalHost, 0));
    const quint16 closedRtsp = rtspRefused.serverPort();
    rtspRefused.close();

    const testing::QtWarnings warnings;
    NetworkStreamChecker checker(nullptr, "QOVA test", 800);
    const std::string live =
        platform::addressWithHeaders(server.url("/live.mp3"), {{"User-Agent", "Test Agent"}});
    const std::string refused = testkit::closedPortUrl() + "x.mp3";
    const auto results =
        checkAll(checker, {live, server.url("/missing.mp3"), refused, server.url("/hang.mp3"),
                           server.url("/garbage.mp3"), server.url("/page.html"),
                           server.url("/empty.mp3"), server.url("/master.m3u8"),
                           server.url("/nosegment.m3u8"), server.url("/local.m3u8"),
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
    EXPECT_EQ(reason(server.url("/local.m3u8")), "The playlist names no stream.");
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
    // Error answers are heard out rather than given up while Qt reports them.
    EXPECT_EQ(warnings.seen(), std::vector<std::string>{});
}

// What the player would refuse is not looked at: a list from elsewhere learns nothing of this
// computer's files, whether they are there or not, and reaches no other scheme.
TEST(NetworkStreamChecker, ChecksNothingThePlayerWouldRefuse) {
    testkit::LoopbackHttpServer server;
    testkit::TempFolder folder;
    folder.write("clip.mp4", "not really a clip");
    const testkit::FifoWatch fifo(folder.file("fifo.mp4"));
    server.redirect("/to-file.mp3", "file://" + folder.file("clip.mp4"));
    NetworkStreamChecker checker(nullptr, "QOVA test", 2000);
    const std::string here = folder.file("clip.mp4");
    const std::string gone = "file://" + folder.file("gone.mp4");

    const std::string refusal =
        "Files on this computer play only from a channel list that is there.";
    auto results = checkAll(checker, {here, gone, "qrc:/x", "av://v4l2:/dev/video0"}, false);
    EXPECT_EQ(results.at(here).reason, refusal);
    EXPECT_EQ(results.at(gone).reason, refusal);
    EXPECT_EQ(results.at("qrc:/x").reason, "\"qrc:\" is no address of a stream.");
    EXPECT_EQ(results.at("av://v4l2:/dev/video0").reason, "\"av:\" is no address of a stream.");

    // From a list here: looked at, never opened; what only playing would tell is not told.
    results = checkAll(checker, {here, gone, fifo.path(), "/dev/null", "clip.mp4", "-",
                                 server.url("/to-file.mp3")});
    EXPECT_EQ(results.at(here).verdict, Verdict::Answers);
    EXPECT_EQ(results.at(gone).reason, "The file is not there.");
    for (const std::string& unknown :
         {fifo.path(), std::string("/dev/null"), std::string("clip.mp4"), std::string("-")})
        EXPECT_EQ(results.at(unknown).verdict, Verdict::Unknown) << unknown;
    // A server sends the check to the web alone, whatever list the channel came from.
    EXPECT_EQ(results.at(server.url("/to-file.mp3")).reason,
              "The server redirects to an address that is not followed.");
    EXPECT_EQ(fifo.opened(), 0);
}

// The headers a line asks for go to its own host only, and none of them ends its line early.
TEST(NetworkStreamChecker, AChannelsHeadersGoToItsOwnHostAloneAndNoneBringsALineOfItsOwn) {
    testkit::LoopbackHttpServer server;
    for (const char* path : {"/direct.mp3", "/next.mp3", "/same-next.mp3"})
        server.endless(path, "\xFF\xFB\x90\x64", "audio/mpeg");
    const std::string elsewhere = "http://localhost:" + std::to_string(server.port());
    server.redirect("/away.mp3", elsewhere + "/next.mp3");
    server.redirect("/same.mp3", server.url("/same-next.mp3"), 307);
    NetworkStreamChecker checker(nullptr, "QOVA test", 3000);

    // As any line may carry it, written by hand: names and values that would end their line.
    const std::string direct = server.url("/direct.mp3");
    const std::string smuggled =
        direct + "#qova-http=User-Agent=Agent%0D%0AX-Injected%3A%20yes&X-Injected=yes" +
        "&Referer%0D%0AX-Name=v&Icy-MetaData=1&Referrer=http%3A%2F%2Fref%2F" +
        "&Origin=http%3A%2F%2Forigin&Cookie=session%3Dabc%00;" + direct.substr(direct.size() - 3);
    const std::vector<platform::HttpHeader> headers = {{"User-Agent", "Agent"},
                                                       {"Referer", "http://ref/"},
                                                       {"Origin", "http://origin"},
                                                       {"Cookie", "session=abc"}};
    const std::string away = platform::addressWithHeaders(server.url("/away.mp3"), headers);
    const std::string same = platform::addressWithHeaders(server.url("/same.mp3"), headers);
    const auto results = checkAll(checker, {smuggled, away, same});
    for (const auto& [address, result] : results)
        EXPECT_EQ(result.verdict, Verdict::Answers) << address << ": " << result.reason;

    const std::string smuggledHead = server.lastRequestHead("/direct.mp3");
    EXPECT_EQ(smuggledHead.find("X-"), std::string::npos) << smuggledHead;
    EXPECT_EQ(smuggledHead.find("User-Agent: Agent"), std::string::npos) << smuggledHead;
    EXPECT_EQ(smuggledHead.find("session"), std::string::npos) << smuggledHead;
    for (const char* line : {"\r\nReferer: http://ref/\r\n", "\r\nOrigin: http://origin\r\n",
                             "\r\nUser-Agent: QOVA test\r\n", "\r\nIcy-MetaData: 0\r\n"})
        EXPECT_NE(smuggledHead.find(line), std::string::npos) << line << smuggledHead;

    for (const char* path : {"/away.mp3", "/same.mp3", "/same-next.mp3"}) {
        const std::string head = server.lastRequestHead(path);
        for (const char* line : {"\r\nUser-Agent: Agent\r\n", "\r\nReferer: http://ref/\r\n",
                                 "\r\nOrigin: http://origin\r\n", "\r\nCookie: session=abc\r\n"})
            EXPECT_NE(head.find(line), std::string::npos) << path << ": " << line << head;
    }
    // Redirected to another host: the line's headers stay behind.
    const std::string otherHost = server.lastRequestHead("/next.mp3");
    EXPECT_NE(otherHost.find("\r\nHost: localhost:"), std::string::npos) << otherHost;
    EXPECT_NE(otherHost.find("\r\nUser-Agent: QOVA test\r\n"), std::string::npos) << otherHost;
    for (const char* header : {"Referer", "Origin", "Cookie", "User-Agent: Agent"})
        EXPECT_EQ(otherHost.find(header), std::string::npos) << header << otherHost;
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
}

TEST(NetworkStreamChecker, NoConnectionOutlivesItsCheck) {
    // A server that keeps its connections for the next request, as most do.
    testkit::LoopbackHttpServer server;
    server.keepConnectionsAlive();
    server.serve("/short.mp3", "\xFF\xFB", "audio/mpeg");
    server.serve("/gone.mp3", std::string(64 * 1024, 'x'), "text/plain", 404);
    server.serve("/seg.ts", std::string(188, 'G'), "video/mp2t");
    server.serve("/index.m3u8", "#EXTM3U\n#EXTINF:1,\nseg.ts\n", "application/vnd.apple.mpegurl");
    server.hang("/hang.mp3");
    NetworkStreamChecker checker(nullptr, "QOVA test", 500);

    // Answers heard out: a short one, an error, a playlist and its segment.
    const std::vector<std::string> answered = {server.url("/short.mp3"), server.url("/gone.mp3"),
                                               server.url("/index.m3u8")};
    auto results = checkAll(checker, answered);
    EXPECT_EQ(results.at(answered[0]).verdict, Verdict::Answers);
    EXPECT_EQ(results.at(answered[1]).reason, "The server answered 404.");
    EXPECT_EQ(results.at(answered[2]).verdict, Verdict::Answers);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 3000))
        << server.openConnections() << " still open";

    // Time limits, with more checks of the server waiting than Qt opens connections to it: the
    // requests that wait are given up before they go out, while Qt may be connecting for them.
    std::vector<std::string> silent;
    for (int i = 0; i < 12; ++i)
        silent.push_back(server.url("/hang.mp3?") + std::to_string(i));
    results = checkAll(checker, silent);
    EXPECT_EQ(results.at(silent[0]).reason, "No answer within 1 second.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 3000))
        << server.openConnections() << " still open";
}

TEST(StreamAnswers, AnRtspStatusIsReadOnceItsLineIsWholeAndWithinBounds) {
    EXPECT_FALSE(rtspStatus("RTSP/1.0 200"));
    const auto ok = rtspStatus("RTSP/1.0 200 OK\r\nCSeq: 1\r\n");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->understood);
    EXPECT_EQ(ok->code, "200");
    EXPECT_EQ(rtspStatus("RTSP/1.0 454 Session Not Found\r\n")->code, "454");
    for (const std::string& wrong :
         {std::string("HTTP/1.1 200 OK\r\n"), std::string("RTSP/1.0\r\n"),
          std::string("RTSP/1.0 \r\n"), std::string(kMaxRtspStatusLine, 'R')}) {
        const auto status = rtspStatus(wrong);
        ASSERT_TRUE(status) << wrong.substr(0, 20);
        EXPECT_FALSE(status->understood) << wrong.substr(0, 20);
    }
}

TEST(NetworkStreamChecker, CancelledChecksAreNeverHeardOfAndLeaveNothingOpen) {
    testkit::LoopbackHttpServer server;
    server.hang("/hang.mp3");
    NetworkStreamChecker checker(nullptr, "QOVA test", 5000);
    int heard = 0;
    for (int i = 0; i < 3; ++i)
        checker.check(server.url("/hang.mp3"), false, [&](Result) { ++heard; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/hang.mp3") == 3; }, 5000));
    checker.cancelAll();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
    EXPECT_EQ(heard, 0);
}

}  // namespace
}  // namespace qova::web
