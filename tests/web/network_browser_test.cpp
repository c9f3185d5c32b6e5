// The browser controls that fetch pages against real sockets on 127.0.0.1 and real files: first
// what the network browser and the web view share, then what the network browser alone does.
#include "web/network_browser.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/browser_recorder.h"
#include "testkit/fifo_watch.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"
#include "web/web_view.h"

namespace qova::web {
namespace {

using namespace std::string_literals;
using platform::WebBrowser;
using qova::testkit::closedPortUrl;
using qova::testkit::LoopbackHttpServer;
using qova::testkit::TempFolder;
using Recorder = testing::BrowserRecorder;
constexpr int kWaitLimitMs = Recorder::kWaitLimitMs;

// Both fetch through the same code but raise their events and show their pages each its own way.
template <typename Control>
class BrowserControlTest : public ::testing::Test {};
using Controls = ::testing::Types<NetworkBrowser, WebView>;
TYPED_TEST_SUITE(BrowserControlTest, Controls);

TYPED_TEST(BrowserControlTest, FailuresRaiseTheStatusThenTheErrorPage) {
    LoopbackHttpServer server;
    server.serve("/broken", "<title>Oops</title>", "text/html", 500);
    server.hang("/silent");
    server.cutOff("/half.txt", std::string(200000, 'x'));
    // Started, then silent for longer than the browser waits.
    server.stall("/stalled.txt", std::string(100000, 'y'));
    TempFolder folder;
    const testkit::FifoWatch fifo(folder.file("fifo.txt"));
    TypeParam browser(nullptr, 1000);
    Recorder recorder(browser);

    // With the least time each may take: a server gone silent is waited for, no longer.
    const struct {
        std::string address;
        std::int32_t status;
        int leastMs = 0;
    } cases[] = {
        {server.url("/missing"), 404},
        {server.url("/broken"), 500},
        {closedPortUrl(), WebBrowser::kStatusResourceNotFound},
        {server.url("/half.txt"), WebBrowser::kStatusDownloadFailure},
        {server.url("/stalled.txt"), WebBrowser::kStatusDownloadFailure, 900},
        {server.url("/silent"), WebBrowser::kStatusResourceNotFound, 900},
        // Found wrong before any transfer starts, yet still raised later.
        {"gopher://127.0.0.1/x", WebBrowser::kStatusResourceNotFound},
        {"not an address", WebBrowser::kStatusResourceNotFound},
        {"", WebBrowser::kStatusResourceNotFound},
        {folder.file("missing.txt"), 404},
        {"file://" + folder.file("missing.txt"), 404},
        // Named by a URLTXT or an added list: opened on the window's thread, a FIFO would hold
        // it until someone writes; a file that is no regular one is never opened.
        {fifo.path(), 404},
        {"file://" + fifo.path(), 404},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.address);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(recorder.load(each.address));
        EXPECT_GE(clock.elapsed(), each.leastMs);
        EXPECT_LT(clock.elapsed(), 5000);
        testing::expectErrorThenErrorPage(browser, recorder.events, each.address, each.status);
    }
    EXPECT_EQ(server.requestCount("/silent"), 1);
    ASSERT_TRUE(recorder.settle([&] { browser.navigate2(fifo.path()); }));
    testing::expectErrorThenErrorPage(browser, recorder.events, fifo.path(), 404);
    EXPECT_EQ(fifo.opened(), 0);
}

TYPED_TEST(BrowserControlTest, LaterNavigationReplacesOneUnderWay) {
    LoopbackHttpServer server;
    server.hang("/slow");
    server.serve("/fast.txt", "fast");
    TypeParam browser(nullptr, 1000);
    Recorder recorder(browser);

    browser.navigate(server.url("/slow"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/slow") == 1; }, kWaitLimitMs));
    ASSERT_TRUE(recorder.load(server.url("/fast.txt")));
    // The replaced request is given up, so its timeout can never strike.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
    ASSERT_TRUE(testing::deliverPosted());
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(browser.bodyText(), "fast");

    // Already done, their events still queued.
    ASSERT_TRUE(recorder.settle([&] {
        browser.navigate("about:first");
        browser.navigate(closedPortUrl());
        browser.navigate("gopher://nowhere/");
        browser.navigate("about:second");
    }));
    ASSERT_TRUE(testing::deliverPosted());
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].url, "about:second");
    EXPECT_EQ(browser.bodyText(), "second");

    // Replaced from inside its own error event: its error page never completes.
    browser.onNavigateError = [&](const std::string& url, std::int32_t status) {
        recorder.events.push_back(testing::BrowserEvent{true, url, status, browser.readyState()});
        browser.navigate(server.url("/fast.txt"));
    };
    recorder.events.clear();
    browser.navigate(server.url("/missing"));
    ASSERT_TRUE(recorder.waitForCompletion());
    ASSERT_TRUE(testing::deliverPosted());
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0].status, 404);
    EXPECT_EQ(recorder.events[1].url, server.url("/fast.txt"));
    EXPECT_EQ(browser.bodyText(), "fast");
}

TYPED_TEST(BrowserControlTest, ErrorPageMayCompleteWhileTheErrorHandlerWaitsForTheUser) {
    LoopbackHttpServer server;
    TypeParam browser(nullptr, 1000);
    std::vector<std::string> order;
    browser.onNavigateError = [&](const std::string&, std::int32_t status) {
        order.push_back("error " + std::to_string(status));
        // What a message box does: a nested event loop until the user answers.
        QEventLoop modal;
        browser.onDocumentComplete = [&](const std::string&) {
            order.push_back("complete");
            EXPECT_EQ(browser.readyState(), WebBrowser::kReadyStateComplete);
            modal.quit();
        };
        QTimer::singleShot(kWaitLimitMs, &modal, &QEventLoop::quit);
        // The box's own events, which wake its loop to deliver those already queued.
        QTimer::singleShot(0, &modal, [] {});
        modal.exec();
        browser.onDocumentComplete = [&](const std::string&) { order.push_back("too late"); };
    };
    browser.navigate(server.url("/nothing-here"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() >= 2; }, kWaitLimitMs));
    EXPECT_EQ(order, (std::vector<std::string>{"error 404", "complete"}));
    EXPECT_EQ(browser.bodyText(), "This page can't be displayed.");
}

TYPED_TEST(BrowserControlTest, DestroyedBrowserRaisesNothingMore) {
    LoopbackHttpServer server;
    server.hang("/slow");
    int raised = 0;
    for (const bool onTheNetwork : {true, false}) {
        auto browser = std::make_unique<TypeParam>();
        browser->onDocumentComplete = [&](const std::string&) { ++raised; };
        browser->onNavigateError = [&](const std::string&, std::int32_t) { ++raised; };
        if (onTheNetwork) {
            browser->navigate(server.url("/slow"));
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return server.requestCount("/slow") == 1; }, kWaitLimitMs));
        } else {
            browser->navigate("about:queued");
            browser->navigate("gopher://queued/");
        }
        browser.reset();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
        ASSERT_TRUE(testing::deliverPosted());
    }
    EXPECT_EQ(raised, 0);
}

TEST(NetworkBrowserTest, PagesBecomeTextAndTitleAndAnythingElseKeepsItsBytes) {
    const std::string page =
        "<html><head><title>News &amp; Weather \xE2\x80\x93 M\xC3\xBCnchen</title></head>"
        "<body><p>First line</p><p>Caf\xC3\xA9 &lt;3 &eacute;</p>Before<br>After</body></html>";
    const std::string text = "First line\r\nCaf\xC3\xA9 <3 \xC3\xA9\r\nBefore\r\nAfter";
    const std::string title = "News & Weather \xE2\x80\x93 M\xC3\xBCnchen";
    const std::string binary = "M\xC3\xBCnchen\0x\xFF\xFE\x80z"s;
    const std::string binaryText = binary + "\r\na\r\n\r\nb\r\n\r\nc\r\n\r\n";
    LoopbackHttpServer server;
    server.serve("/page", page, "text/html; charset=utf-8");
    server.serve("/page.xhtml", page, "application/xhtml+xml");
    server.serve("/page.html", page, "text/plain");
    server.serve("/latin1.html", "<meta charset=\"iso-8859-1\"><p>M\xFCnchen", "text/html");
    server.serve("/long.html", "<p>" + std::string((1 << 20) - 4, 'e') + "\xC3\xA9", "text/html");
    server.serve("/binary", binary + "\na\r\n\nb\r\rc\n\r", "application/octet-stream");
    server.redirect("/old", "/binary");
    server.redirect("/twice", server.url("/old"), 301);
    TempFolder folder;
    folder.write("page.html", page);
    folder.write("list.txt", binary + "\na\r\n\nb\r\rc\n\r");
    NetworkBrowser browser;
    Recorder recorder(browser);
    EXPECT_EQ(browser.readyState(), WebBrowser::kReadyStateUninitialized);
    EXPECT_FALSE(browser.hasDocument());

    const struct {
        std::string address;
        std::string body;
        std::string title;
    } cases[] = {
        {server.url("/page"), text, title},
        {server.url("/page.xhtml"), text, title},
        {"about:" + page, text, title},
        {folder.file("page.html"), text, title},
        {"file://" + folder.file("page.html"), text, title},
        // What the server calls plain text is plain text, whatever its name looks like.
        {server.url("/page.html"), page, ""},
        {server.url("/twice"), binaryText, ""},
        // No </head>: a bare <link> would otherwise hide the rest of the page.
        {"about:<html><head><title>Linked</title><link rel=\"stylesheet\" href=\"look.css\">"
         "<body><p>Before<img src=\"picture.png\">after</p></body></html>",
         "Beforeafter", "Linked"},
        {"about:blank", "", ""},
        // In the encoding the page names, else UTF-8, with a character that straddles the
        // pieces the page is decoded in.
        {server.url("/latin1.html"), "M\xC3\xBCnchen", ""},
        {server.url("/long.html"), std::string((1 << 20) - 4, 'e') + "\xC3\xA9", ""},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.address.substr(0, 40));
        ASSERT_TRUE(recorder.load(each.address));
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(recorder.events[0].url, each.address);
        EXPECT_EQ(recorder.events[0].readyState, WebBrowser::kReadyStateComplete);
        EXPECT_EQ(browser.bodyText(), each.body);
        EXPECT_EQ(browser.title(), each.title);
    }
    EXPECT_TRUE(browser.hasDocument());
    EXPECT_EQ(server.requestCount("/old"), 1);

    ASSERT_TRUE(recorder.settle([&] { browser.navigate2(folder.file("list.txt")); }));
    EXPECT_EQ(recorder.events[0].url, folder.file("list.txt"));
    EXPECT_EQ(browser.bodyText(), binaryText);
}

TEST(NetworkBrowserTest, LoadsALargePageWhole) {
    std::string body;
    for (int line = 0; body.size() < 50 * 1024 * 1024; ++line)
        body += "channel " + std::to_string(line) + "|http://127.0.0.1/stream|radio|xx\n";
    body += "last";
    const std::string expected = platform::withCrLfLineBreaks(body);
    LoopbackHttpServer server;
    server.serve("/big.txt", body);
    NetworkBrowser browser;
    Recorder recorder(browser);

    ASSERT_TRUE(recorder.load(server.url("/big.txt")));
    ASSERT_EQ(recorder.events.size(), 1u);
    ASSERT_EQ(browser.bodyText().size(), expected.size());
    // Not EXPECT_EQ: a 50 MB mismatch would flood the log.
    EXPECT_TRUE(browser.bodyText() == expected);

    // A large page served as HTML, rendered away from the event loop, and one that a later
    // navigation replaced while it was being rendered.
    std::string html = "<html><head><title>Big List</title></head><body>";
    std::string lines;
    for (int line = 0; html.size() < 2 * 1024 * 1024; ++line) {
        const std::string channel = "F|Video|Channel " + std::to_string(line) + "|u|EN";
        html += "<p>" + channel + "</p>";
        lines += (lines.empty() ? "" : "\r\n") + channel;
    }
    server.serve("/big.html", html + "</body></html>", "text/html");
    bool sent = false;
    ASSERT_TRUE(recorder.settle([&] {
        browser.navigate(server.url("/big.html"));
        sent = QTest::qWaitFor(
            [&] { return server.requestCount("/big.html") == 1 && server.openConnections() == 0; },
            kWaitLimitMs);
        browser.navigate("about:<title>Small</title>");
    }));
    ASSERT_TRUE(sent);
    ASSERT_TRUE(testing::deliverPosted());
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(browser.title(), "Small");
    ASSERT_TRUE(recorder.load(server.url("/big.html")));
    EXPECT_EQ(browser.title(), "Big List");
    EXPECT_TRUE(browser.bodyText() == lines);
}

TEST(NetworkBrowserTest, AStreamIsGivenUpAtOnceAndAnyTransferAtItsLimit) {
    // Radio stations, 16 KB a second for ever: said so by their type or by Icecast's headers.
    const std::string frame = "\xFF\xFB\x90\x64";
    constexpr int kRate = 16 * 1024;
    LoopbackHttpServer server;
    server.trickle("/radio.mp3", frame, "audio/mpeg", kRate);
    server.trickle("/tv.ts", frame, "video/mp2t", kRate);
    server.trickle("/radio.ogg", "OggS", "Application/Ogg", kRate);
    server.trickle("/icy", frame, "text/plain", kRate, "icy-name: Test Radio\r\nicy-br: 128\r\n");
    // Said nothing of: the limit of the whole transfer stops it. A playlist's sound type does
    // not make it a stream.
    server.trickle("/slow.txt", "France|Video|Slow|http://127.0.0.1:1/x.mp4|FR\n", "text/plain",
                   kRate);
    server.trickle("/slow.m3u", "#EXTM3U\n", "audio/x-mpegurl", kRate);
    server.serve("/list.m3u", "#EXTM3U\n#EXTINF:-1,One\nhttp://127.0.0.1:1/one\n",
                 "audio/x-mpegurl");

    // The limit is far beyond the wait: a stream given up came by its headers alone.
    NetworkBrowser patient(nullptr, 1000, 60000);
    Recorder recorder(patient);
    for (const char* stream : {"/radio.mp3", "/tv.ts", "/radio.ogg", "/icy"}) {
        SCOPED_TRACE(stream);
        ASSERT_TRUE(recorder.load(server.url(stream)));
        testing::expectErrorThenErrorPage(patient, recorder.events, server.url(stream),
                                          WebBrowser::kStatusDownloadFailure);
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
    }
    ASSERT_TRUE(recorder.load(server.url("/list.m3u")));
    EXPECT_EQ(patient.bodyText(), "#EXTM3U\r\n#EXTINF:-1,One\r\nhttp://127.0.0.1:1/one\r\n");

    NetworkBrowser hurried(nullptr, 1000, 1500);
    Recorder hurriedRecorder(hurried);
    for (const char* slow : {"/slow.txt", "/slow.m3u"}) {
        SCOPED_TRACE(slow);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(hurriedRecorder.load(server.url(slow)));
        EXPECT_GE(clock.elapsed(), 1400);
        testing::expectErrorThenErrorPage(hurried, hurriedRecorder.events, server.url(slow),
                                          WebBrowser::kStatusDownloadFailure);
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
    }
}

}  // namespace
}  // namespace qova::web
