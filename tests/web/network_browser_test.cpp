// The network browser against real sockets on 127.0.0.1 and real files.
#include "web/network_browser.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/browser_recorder.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"

namespace qova::web {
namespace {

using qova::testkit::closedPortUrl;
using qova::testkit::LoopbackHttpServer;
using qova::testkit::TempFolder;

constexpr int kWaitLimitMs = testing::BrowserRecorder::kWaitLimitMs;
using Event = testing::BrowserEvent;
using Recorder = testing::BrowserRecorder;
using testing::expectErrorThenErrorPage;

TEST(NetworkBrowserTest, PlainTextKeepsItsBytesWithCrLfLineBreaks) {
    const char raw[] = "M\xC3\xBCnchen\0x\xFF\xFE\x80z";
    const std::string binary(raw, sizeof raw - 1);
    LoopbackHttpServer server;
    server.redirect("/old", "/lf.txt");
    server.redirect("/twice", server.url("/old"), 301);
    server.serve("/lf.txt", "one\ntwo\n\nthree\n");
    server.serve("/cr.txt", "one\rtwo\r\rthree");
    server.serve("/mixed", "a\r\n\nb\r\rc\n\r", "text/plain; charset=utf-8");
    server.serve("/binary", binary + "\n", "application/octet-stream");
    NetworkBrowser browser;
    Recorder recorder(browser);
    EXPECT_EQ(browser.readyState(), platform::WebBrowser::kReadyStateUninitialized);
    EXPECT_FALSE(browser.hasDocument());

    const struct {
        const char* path;
        std::string expected;
    } cases[] = {
        {"/lf.txt", "one\r\ntwo\r\n\r\nthree\r\n"}, {"/cr.txt", "one\r\ntwo\r\n\r\nthree"},
        {"/mixed", "a\r\n\r\nb\r\n\r\nc\r\n\r\n"},  {"/binary", binary + "\r\n"},
        {"/twice", "one\r\ntwo\r\n\r\nthree\r\n"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.path);
        ASSERT_TRUE(recorder.load(server.url(each.path)));
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(recorder.events[0].readyState, platform::WebBrowser::kReadyStateComplete);
        EXPECT_EQ(browser.bodyText(), each.expected);
        EXPECT_EQ(browser.title(), "");
    }
    EXPECT_TRUE(browser.hasDocument());
    EXPECT_EQ(server.requestCount("/old"), 1);

    TempFolder folder;
    folder.write("list.txt", "a|1\nb|2\rc|3\r\n");
    ASSERT_TRUE(recorder.settle([&] { browser.navigate2(folder.file("list.txt")); }));
    EXPECT_EQ(recorder.events[0].url, folder.file("list.txt"));
    EXPECT_EQ(browser.bodyText(), "a|1\r\nb|2\r\nc|3\r\n");
}

TEST(NetworkBrowserTest, RendersHtmlToTextAndTitle) {
    LoopbackHttpServer server;
    const std::string page =
        "<html><head><title>News &amp; Weather \xE2\x80\x93 M\xC3\xBCnchen</title></head>"
        "<body><p>First line</p><p>Caf\xC3\xA9 &lt;3 &eacute;</p>Before<br>After</body></html>";
    server.serve("/page", page, "text/html; charset=utf-8");
    server.serve("/page.xhtml", page, "application/xhtml+xml");
    server.serve("/page.html", page, "text/plain");
    TempFolder folder;
    folder.write("page.html", page);
    NetworkBrowser browser;
    Recorder recorder(browser);

    for (const std::string& address :
         {server.url("/page"), server.url("/page.xhtml"), "about:" + page, folder.file("page.html"),
          "file://" + folder.file("page.html")}) {
        SCOPED_TRACE(address.substr(0, 40));
        ASSERT_TRUE(recorder.load(address));
        EXPECT_EQ(browser.bodyText(), "First line\r\nCaf\xC3\xA9 <3 \xC3\xA9\r\nBefore\r\nAfter");
        EXPECT_EQ(browser.title(), "News & Weather \xE2\x80\x93 M\xC3\xBCnchen");
    }

    // What the server calls plain text is plain text, whatever its name looks like.
    ASSERT_TRUE(recorder.load(server.url("/page.html")));
    EXPECT_EQ(browser.bodyText(), page);
    EXPECT_EQ(browser.title(), "");

    // No </head>: a bare <link> would otherwise hide the rest of the page.
    ASSERT_TRUE(recorder.load(
        "about:<html><head><title>Linked</title><link rel=\"stylesheet\" href=\"look.css\">"
        "<body><p>Before<img src=\"picture.png\">after</p></body></html>"));
    EXPECT_EQ(browser.bodyText(), "Beforeafter");
    EXPECT_EQ(browser.title(), "Linked");

    ASSERT_TRUE(recorder.load("about:blank"));
    EXPECT_EQ(browser.bodyText(), "");
    EXPECT_EQ(browser.title(), "");
}

TEST(NetworkBrowserTest, FailuresRaiseTheStatusThenTheErrorPage) {
    LoopbackHttpServer server;
    server.serve("/broken", "<title>Oops</title>", "text/html", 500);
    server.hang("/silent");
    server.cutOff("/half.txt", std::string(200000, 'x'));
    // Started, then silent for longer than the browser waits.
    server.stall("/stalled.txt", std::string(100000, 'y'));
    TempFolder folder;
    NetworkBrowser browser(nullptr, 1000);
    Recorder recorder(browser);

    const struct {
        std::string address;
        std::int32_t status;
    } cases[] = {
        {server.url("/missing"), 404},
        {server.url("/broken"), 500},
        {closedPortUrl(), platform::WebBrowser::kStatusResourceNotFound},
        {server.url("/half.txt"), platform::WebBrowser::kStatusDownloadFailure},
        {server.url("/stalled.txt"), platform::WebBrowser::kStatusDownloadFailure},
        // Found wrong before any transfer starts, yet still raised later.
        {"gopher://127.0.0.1/x", platform::WebBrowser::kStatusResourceNotFound},
        {"not an address", platform::WebBrowser::kStatusResourceNotFound},
        {"", platform::WebBrowser::kStatusResourceNotFound},
        {folder.file("missing.txt"), 404},
        {"file://" + folder.file("missing.txt"), 404},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.address);
        ASSERT_TRUE(recorder.load(each.address));
        expectErrorThenErrorPage(browser, recorder.events, each.address, each.status);
    }

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(recorder.load(server.url("/silent")));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(server.requestCount("/silent"), 1);
    expectErrorThenErrorPage(browser, recorder.events, server.url("/silent"),
                             platform::WebBrowser::kStatusResourceNotFound);
}

TEST(NetworkBrowserTest, LaterNavigationReplacesOneUnderWay) {
    LoopbackHttpServer server;
    server.hang("/slow");
    server.serve("/fast.txt", "fast");
    NetworkBrowser browser(nullptr, 1000);
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
        recorder.events.push_back(Event{true, url, status, browser.readyState()});
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

TEST(NetworkBrowserTest, ErrorPageMayCompleteWhileTheErrorHandlerWaitsForTheUser) {
    LoopbackHttpServer server;
    NetworkBrowser browser;
    std::vector<std::string> order;
    bool completedDuringModal = false;
    int readyStateDuringModal = -1;
    bool inModal = false;
    browser.onNavigateError = [&](const std::string&, std::int32_t status) {
        order.push_back("error " + std::to_string(status));
        // What a message box does: a nested event loop until the user answers.
        QEventLoop modal;
        QTimer::singleShot(kWaitLimitMs, &modal, &QEventLoop::quit);
        inModal = true;
        QTimer::singleShot(0, &modal, [&] {
            if (order.size() > 1)
                modal.quit();
        });
        browser.onDocumentComplete = [&](const std::string&) {
            order.push_back("complete");
            completedDuringModal = inModal;
            readyStateDuringModal = browser.readyState();
            modal.quit();
        };
        modal.exec();
        inModal = false;
    };
    browser.navigate(server.url("/nothing-here"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() >= 2; }, kWaitLimitMs));
    EXPECT_EQ(order, (std::vector<std::string>{"error 404", "complete"}));
    EXPECT_TRUE(completedDuringModal);
    EXPECT_EQ(readyStateDuringModal, platform::WebBrowser::kReadyStateComplete);
    EXPECT_EQ(browser.bodyText(), "This page can't be displayed.");
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
    const std::string text = browser.bodyText();
    ASSERT_EQ(text.size(), expected.size());
    // Not EXPECT_EQ: a 50 MB mismatch would flood the log.
    EXPECT_TRUE(text == expected);

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

TEST(NetworkBrowserTest, DestroyedBrowserRaisesNothingMore) {
    LoopbackHttpServer server;
    server.hang("/slow");
    int raised = 0;
    for (const bool onTheNetwork : {true, false}) {
        auto browser = std::make_unique<NetworkBrowser>();
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

}  // namespace
}  // namespace qova::web
