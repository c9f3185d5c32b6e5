// The network browser against real sockets on 127.0.0.1 and real files.
#include "platform/network_browser.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/loopback_http_server.h"
#include "support/temp_folder.h"

namespace qova::platform {
namespace {

using qova::testing::closedPortUrl;
using qova::testing::LoopbackHttpServer;
using qova::testing::TempFolder;

constexpr int kWaitLimitMs = 10000;
constexpr char kErrorPageText[] = "This page can't be displayed.";
constexpr char kErrorPageTitle[] = "Cannot display the page";

struct Event {
    bool isError = false;
    std::string url;
    std::int32_t status = 0;
    int readyState = 0;
    bool insideNavigate = false;
};

// Records what a browser raises, and whether it was raised while navigate was still running.
class Recorder {
  public:
    explicit Recorder(NetworkBrowser& browser) : browser_(browser) {
        browser.onDocumentComplete = [this](const std::string& url) {
            events.push_back(Event{false, url, 0, browser_.readyState(), insideNavigate_});
        };
        browser.onNavigateError = [this](const std::string& url, std::int32_t status) {
            events.push_back(Event{true, url, status, browser_.readyState(), insideNavigate_});
        };
    }

    void navigate(const std::string& address) {
        insideNavigate_ = true;
        browser_.navigate(address);
        insideNavigate_ = false;
    }
    void navigate2(const std::string& path) {
        insideNavigate_ = true;
        browser_.navigate2(path);
        insideNavigate_ = false;
    }

    int completions() const {
        int count = 0;
        for (const Event& event : events)
            count += event.isError ? 0 : 1;
        return count;
    }
    bool waitForCompletions(int count) {
        return QTest::qWaitFor([&] { return completions() >= count; }, kWaitLimitMs);
    }
    // Navigates, checks that nothing was raised inside navigate, and waits for one document.
    ::testing::AssertionResult load(const std::string& address) {
        events.clear();
        navigate(address);
        if (!events.empty())
            return ::testing::AssertionFailure() << "raised inside navigate";
        if (browser_.readyState() != WebBrowser::kReadyStateLoading) {
            return ::testing::AssertionFailure() << "not loading after navigate";
        }
        if (!waitForCompletions(1))
            return ::testing::AssertionFailure() << "never completed";
        for (const Event& event : events) {
            if (event.insideNavigate)
                return ::testing::AssertionFailure() << "raised inside";
        }
        return ::testing::AssertionSuccess();
    }

    std::vector<Event> events;

  private:
    NetworkBrowser& browser_;
    bool insideNavigate_ = false;
};

void expectErrorThenErrorPage(const std::vector<Event>& events, const std::string& url,
                              std::int32_t status) {
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].isError);
    EXPECT_EQ(events[0].url, url);
    EXPECT_EQ(events[0].status, status);
    EXPECT_EQ(events[0].readyState, WebBrowser::kReadyStateLoading);
    EXPECT_FALSE(events[1].isError);
    EXPECT_EQ(events[1].url, url);
    EXPECT_EQ(events[1].readyState, WebBrowser::kReadyStateComplete);
}

void expectErrorPage(const NetworkBrowser& browser) {
    EXPECT_EQ(browser.readyState(), WebBrowser::kReadyStateComplete);
    EXPECT_TRUE(browser.hasDocument());
    EXPECT_EQ(browser.title(), kErrorPageTitle);
    EXPECT_EQ(browser.bodyText(), kErrorPageText);
}

TEST(NetworkBrowserTest, RaisesEventsOnlyFromTheEventLoop) {
    LoopbackHttpServer server;
    server.serve("/page.txt", "hello");
    NetworkBrowser browser;
    Recorder recorder(browser);
    EXPECT_EQ(browser.readyState(), WebBrowser::kReadyStateUninitialized);
    EXPECT_FALSE(browser.hasDocument());

    ASSERT_TRUE(recorder.load("about:<p>inline</p>"));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].url, "about:<p>inline</p>");
    EXPECT_EQ(browser.bodyText(), "inline");
    EXPECT_TRUE(browser.hasDocument());

    ASSERT_TRUE(recorder.load("about:blank"));
    EXPECT_EQ(browser.bodyText(), "");
    EXPECT_EQ(browser.title(), "");

    ASSERT_TRUE(recorder.load(server.url("/page.txt")));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_FALSE(recorder.events[0].isError);
    EXPECT_EQ(recorder.events[0].url, server.url("/page.txt"));
    EXPECT_EQ(recorder.events[0].readyState, WebBrowser::kReadyStateComplete);
    EXPECT_EQ(browser.bodyText(), "hello");

    // Failures found before any transfer starts are still raised later.
    for (const std::string address :
         {"gopher://127.0.0.1/x", "not an address", "http://", "", "mailto:someone@example.org"}) {
        SCOPED_TRACE(address);
        ASSERT_TRUE(recorder.load(address));
        expectErrorThenErrorPage(recorder.events, address, WebBrowser::kStatusResourceNotFound);
        expectErrorPage(browser);
    }
}

TEST(NetworkBrowserTest, PlainTextKeepsItsBytesWithCrLfLineBreaks) {
    LoopbackHttpServer server;
    server.serve("/lf.txt", "one\ntwo\n\nthree\n");
    server.serve("/cr.txt", "one\rtwo\r\rthree");
    server.serve("/crlf.txt", "one\r\ntwo\r\n\r\nthree\r\n");
    server.serve("/mixed", "a\r\n\nb\r\rc\n\r", "text/plain; charset=utf-8");
    const std::string binary = std::string(
                                   "Gr\xC3\xBC\xC3\x9F"
                                   "e\0x\xFF\xFE",
                                   11) +
                               "\x80z\n";
    server.serve("/binary", binary, "application/octet-stream");
    NetworkBrowser browser;
    Recorder recorder(browser);

    const struct {
        const char* path;
        std::string expected;
    } cases[] = {
        {"/lf.txt", "one\r\ntwo\r\n\r\nthree\r\n"},
        {"/cr.txt", "one\r\ntwo\r\n\r\nthree"},
        {"/crlf.txt", "one\r\ntwo\r\n\r\nthree\r\n"},
        {"/mixed", "a\r\n\r\nb\r\n\r\nc\r\n\r\n"},
        {"/binary", std::string("Gr\xC3\xBC\xC3\x9F"
                                "e\0x\xFF\xFE",
                                11) +
                        "\x80z\r\n"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.path);
        ASSERT_TRUE(recorder.load(server.url(each.path)));
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(browser.bodyText(), each.expected);
        EXPECT_EQ(browser.title(), "");
    }
    EXPECT_EQ(browser.bodyText().size(), binary.size() + 1);
}

TEST(NetworkBrowserTest, RendersHtmlPagesToTextAndTitle) {
    LoopbackHttpServer server;
    const std::string page =
        "<html><head><title>News &amp; Weather \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F"
        "e</title></head>"
        "<body><p>First line</p><p>Caf\xC3\xA9 &lt;3 &eacute;</p>Before<br>After</body></html>";
    const std::string text = "First line\r\nCaf\xC3\xA9 <3 \xC3\xA9\r\nBefore\r\nAfter";
    const std::string title =
        "News & Weather \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F"
        "e";
    server.serve("/page", page, "text/html; charset=utf-8");
    server.serve("/page.xhtml", page, "application/xhtml+xml");
    server.serve("/page.html", page, "text/plain");
    NetworkBrowser browser;
    Recorder recorder(browser);

    for (const std::string& address :
         {server.url("/page"), server.url("/page.xhtml"), "about:" + page, "ABOUT:" + page}) {
        SCOPED_TRACE(address.substr(0, 40));
        ASSERT_TRUE(recorder.load(address));
        ASSERT_EQ(recorder.events.size(), 1u);
        EXPECT_EQ(browser.bodyText(), text);
        EXPECT_EQ(browser.title(), title);
    }

    // What the server calls plain text is plain text, whatever its name looks like.
    ASSERT_TRUE(recorder.load(server.url("/page.html")));
    EXPECT_EQ(browser.bodyText(), page);
    EXPECT_EQ(browser.title(), "");
}

TEST(NetworkBrowserTest, RenderedTextLeavesOutLinkTagsAndImages) {
    NetworkBrowser browser;
    Recorder recorder(browser);
    // No </head>: a bare <link> would otherwise hide the rest of the page.
    ASSERT_TRUE(recorder.load(
        "about:<html><head><title>Linked</title><link rel=\"stylesheet\" href=\"look.css\">"
        "<body><p>Before<img src=\"picture.png\">after</p></body></html>"));
    EXPECT_EQ(browser.bodyText(), "Beforeafter");
    EXPECT_EQ(browser.title(), "Linked");
}

TEST(NetworkBrowserTest, HttpErrorStatusRaisesTheStatusThenTheErrorPage) {
    LoopbackHttpServer server;
    server.serve("/broken", "<html><title>Oops</title><body>Server trouble</body></html>",
                 "text/html", 500);
    server.serve("/gone", "Gone away", "text/plain", 410);
    NetworkBrowser browser;
    Recorder recorder(browser);

    const struct {
        const char* path;
        std::int32_t status;
    } cases[] = {{"/missing", 404}, {"/broken", 500}, {"/gone", 410}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.path);
        ASSERT_TRUE(recorder.load(server.url(each.path)));
        expectErrorThenErrorPage(recorder.events, server.url(each.path), each.status);
        expectErrorPage(browser);
    }
}

TEST(NetworkBrowserTest, UnreachableServerIsResourceNotFound) {
    LoopbackHttpServer server;
    server.hang("/silent");
    NetworkBrowser browser(nullptr, 1000);
    Recorder recorder(browser);

    const std::string closed = closedPortUrl();
    ASSERT_TRUE(recorder.load(closed));
    expectErrorThenErrorPage(recorder.events, closed, WebBrowser::kStatusResourceNotFound);
    expectErrorPage(browser);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(recorder.load(server.url("/silent")));
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(server.requestCount("/silent"), 1);
    expectErrorThenErrorPage(recorder.events, server.url("/silent"),
                             WebBrowser::kStatusResourceNotFound);
    expectErrorPage(browser);
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(elapsed, 5000);
}

TEST(NetworkBrowserTest, TransferCutShortIsDownloadFailure) {
    LoopbackHttpServer server;
    server.cutOff("/half.txt", std::string(200000, 'x'));
    server.cutOff("/tiny.txt", "0123456789");
    // Started, then silent for longer than the browser waits.
    server.stall("/stalled.txt", std::string(100000, 'y'));
    NetworkBrowser browser(nullptr, 1000);
    Recorder recorder(browser);

    for (const char* path : {"/half.txt", "/tiny.txt", "/stalled.txt"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(recorder.load(server.url(path)));
        expectErrorThenErrorPage(recorder.events, server.url(path),
                                 WebBrowser::kStatusDownloadFailure);
        expectErrorPage(browser);
    }
}

TEST(NetworkBrowserTest, LaterNavigationReplacesOneUnderWay) {
    LoopbackHttpServer server;
    server.hang("/slow");
    server.serve("/fast.txt", "fast");
    NetworkBrowser browser(nullptr, 1000);
    Recorder recorder(browser);

    // Under way on the network.
    recorder.navigate(server.url("/slow"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/slow") == 1; }, kWaitLimitMs));
    ASSERT_TRUE(recorder.load(server.url("/fast.txt")));
    // Longer than the replaced one's timeout, which must not report anything.
    QTest::qWait(1300);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].url, server.url("/fast.txt"));
    EXPECT_EQ(browser.bodyText(), "fast");

    // Already done, its events still queued.
    recorder.events.clear();
    recorder.navigate("about:first");
    recorder.navigate(closedPortUrl());
    recorder.navigate("gopher://nowhere/");
    recorder.navigate("about:second");
    ASSERT_TRUE(recorder.waitForCompletions(1));
    QTest::qWait(100);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].url, "about:second");
    EXPECT_EQ(browser.bodyText(), "second");

    // Replaced from inside its own error event: its error page never completes.
    recorder.events.clear();
    browser.onNavigateError = [&](const std::string& url, std::int32_t status) {
        recorder.events.push_back(Event{true, url, status, browser.readyState(), false});
        browser.navigate(server.url("/fast.txt"));
    };
    browser.navigate(server.url("/missing"));
    ASSERT_TRUE(recorder.waitForCompletions(1));
    QTest::qWait(100);
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_TRUE(recorder.events[0].isError);
    EXPECT_EQ(recorder.events[0].status, 404);
    EXPECT_FALSE(recorder.events[1].isError);
    EXPECT_EQ(recorder.events[1].url, server.url("/fast.txt"));
    EXPECT_EQ(browser.bodyText(), "fast");

    // Started again from inside a completion.
    recorder.events.clear();
    int chained = 0;
    browser.onDocumentComplete = [&](const std::string& url) {
        recorder.events.push_back(Event{false, url, 0, browser.readyState(), false});
        if (++chained < 3)
            browser.navigate("about:round " + std::to_string(chained));
    };
    browser.navigate("about:round 0");
    ASSERT_TRUE(recorder.waitForCompletions(3));
    QTest::qWait(50);
    ASSERT_EQ(recorder.events.size(), 3u);
    EXPECT_EQ(recorder.events[2].url, "about:round 2");
    EXPECT_EQ(browser.bodyText(), "round 2");
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
    EXPECT_EQ(readyStateDuringModal, WebBrowser::kReadyStateComplete);
    expectErrorPage(browser);
}

TEST(NetworkBrowserTest, LoadsALargePageWhole) {
    // 50 MB of lines ended by LF, built from a 1 MB block so that the expected text is cheap.
    std::string block;
    for (int line = 0; block.size() < 1024 * 1024; ++line) {
        block += "channel " + std::to_string(line) + "|http://127.0.0.1/stream|radio|xx\n";
    }
    const std::string crLfBlock = withCrLfLineBreaks(block);
    std::string body = "first\n";
    std::string expected = "first\r\n";
    body.reserve(50 * block.size() + 16);
    expected.reserve(50 * crLfBlock.size() + 16);
    for (int copy = 0; copy < 50; ++copy) {
        body += block;
        expected += crLfBlock;
    }
    body += "last";
    expected += "last";
    LoopbackHttpServer server;
    server.serve("/big.txt", body);
    body = std::string();
    NetworkBrowser browser;
    Recorder recorder(browser);

    ASSERT_TRUE(recorder.load(server.url("/big.txt")));
    ASSERT_EQ(recorder.events.size(), 1u);
    ASSERT_FALSE(recorder.events[0].isError);
    const std::string text = browser.bodyText();
    ASSERT_EQ(text.size(), expected.size());
    EXPECT_EQ(text.substr(0, 17), "first\r\nchannel 0|");
    EXPECT_EQ(text.substr(text.size() - 9), "|xx\r\nlast");
    EXPECT_TRUE(text == expected);
}

TEST(NetworkBrowserTest, LoadsLocalFiles) {
    TempFolder folder;
    folder.write("list.txt", "a|1\nb|2\rc|3\r\n");
    folder.write("page.html", "<html><title>Local</title><body><p>One</p><p>Two</p></body></html>");
    folder.write("page.xhtml", "<html><title>X</title><body>Three</body></html>");
    NetworkBrowser browser;
    Recorder recorder(browser);

    recorder.events.clear();
    recorder.navigate2(folder.file("list.txt"));
    EXPECT_TRUE(recorder.events.empty());
    ASSERT_TRUE(recorder.waitForCompletions(1));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_FALSE(recorder.events[0].insideNavigate);
    EXPECT_EQ(recorder.events[0].url, folder.file("list.txt"));
    EXPECT_EQ(browser.bodyText(), "a|1\r\nb|2\r\nc|3\r\n");
    EXPECT_EQ(browser.title(), "");

    // A plain absolute path given to navigate is a file too.
    ASSERT_TRUE(recorder.load(folder.file("page.html")));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(browser.bodyText(), "One\r\nTwo");
    EXPECT_EQ(browser.title(), "Local");

    const std::string fileUrl =
        QUrl::fromLocalFile(QString::fromStdString(folder.file("page.xhtml")))
            .toString()
            .toStdString();
    ASSERT_TRUE(recorder.load(fileUrl));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].url, fileUrl);
    EXPECT_EQ(browser.bodyText(), "Three");
    EXPECT_EQ(browser.title(), "X");

    const std::string missing = folder.file("missing.txt");
    recorder.events.clear();
    recorder.navigate2(missing);
    EXPECT_TRUE(recorder.events.empty());
    ASSERT_TRUE(recorder.waitForCompletions(1));
    expectErrorThenErrorPage(recorder.events, missing, 404);
    expectErrorPage(browser);

    ASSERT_TRUE(recorder.load("file://" + missing));
    expectErrorThenErrorPage(recorder.events, "file://" + missing, 404);
}

TEST(NetworkBrowserTest, FollowsRedirects) {
    LoopbackHttpServer server;
    server.redirect("/old", "/new.txt");
    server.redirect("/twice", server.url("/old"), 301);
    server.serve("/new.txt", "moved here");
    NetworkBrowser browser;
    Recorder recorder(browser);

    ASSERT_TRUE(recorder.load(server.url("/twice")));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_FALSE(recorder.events[0].isError);
    EXPECT_EQ(browser.bodyText(), "moved here");
    EXPECT_EQ(server.requestCount("/twice"), 1);
    EXPECT_EQ(server.requestCount("/old"), 1);
    EXPECT_EQ(server.requestCount("/new.txt"), 1);
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
        QTest::qWait(100);
    }
    EXPECT_EQ(raised, 0);
}

}  // namespace
}  // namespace qova::platform
