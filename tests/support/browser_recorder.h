#pragma once

// Records what a web browser control raises, for the tests of the three controls.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/web_browser.h"

namespace qova::testing {

struct BrowserEvent {
    bool isError = false;
    std::string url;
    std::int32_t status = 0;
    int readyState = 0;
    // Noted by web views only: parts still on their way, and the laid-out page's height.
    int pendingParts = 0;
    double height = 0;
};

class BrowserRecorder {
  public:
    static constexpr int kWaitLimitMs = 10000;

    /// `note` adds what a particular control can tell about a completed document.
    explicit BrowserRecorder(platform::WebBrowser& browser,
                             std::function<void(BrowserEvent&)> note = {})
        : browser_(browser), note_(std::move(note)) {
        browser.onDocumentComplete = [this](const std::string& url) {
            BrowserEvent event{false, url, 0, browser_.readyState()};
            if (note_)
                note_(event);
            events.push_back(event);
        };
        browser.onNavigateError = [this](const std::string& url, std::int32_t status) {
            events.push_back(BrowserEvent{true, url, status, browser_.readyState()});
        };
    }

    bool waitForCompletion() {
        return QTest::qWaitFor([&] { return !events.empty() && !events.back().isError; },
                               kWaitLimitMs);
    }
    // Callers rely on events only ever arriving from the event loop, never from inside the call.
    ::testing::AssertionResult settle(const std::function<void()>& start) {
        events.clear();
        start();
        if (!events.empty())
            return ::testing::AssertionFailure() << "raised inside the call";
        if (browser_.readyState() != platform::WebBrowser::kReadyStateLoading)
            return ::testing::AssertionFailure() << "not loading after the call";
        if (!waitForCompletion())
            return ::testing::AssertionFailure() << "never completed";
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult load(const std::string& address) {
        return settle([&] { browser_.navigate(address); });
    }

    std::vector<BrowserEvent> events;

  private:
    platform::WebBrowser& browser_;
    std::function<void(BrowserEvent&)> note_;
};

/// Runs the event loop until every event posted before the call has been delivered, and what those
/// posted in turn, a few rounds deep. A control's events are posted the moment they are due, so
/// one that was due and is still missing afterwards was never raised.
inline bool deliverPosted() {
    int rounds = 4;
    std::function<void()> post = [&] {
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                if (--rounds > 0)
                    post();
            },
            Qt::QueuedConnection);
    };
    post();
    return QTest::qWaitFor([&] { return rounds == 0; }, BrowserRecorder::kWaitLimitMs);
}

/// A failed navigation's events: the error first, while loading, then an error page.
inline void expectErrorThenErrorPageEvents(const std::vector<BrowserEvent>& events,
                                           const std::string& url, std::int32_t status) {
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].isError);
    EXPECT_EQ(events[0].url, url);
    EXPECT_EQ(events[0].status, status);
    EXPECT_EQ(events[0].readyState, platform::WebBrowser::kReadyStateLoading);
    EXPECT_FALSE(events[1].isError);
    EXPECT_EQ(events[1].url, url);
    EXPECT_EQ(events[1].readyState, platform::WebBrowser::kReadyStateComplete);
}

/// A failed navigation: the error first, while loading, then the control's own error page.
inline void expectErrorThenErrorPage(const platform::WebBrowser& browser,
                                     const std::vector<BrowserEvent>& events,
                                     const std::string& url, std::int32_t status) {
    expectErrorThenErrorPageEvents(events, url, status);
    EXPECT_EQ(browser.title(), "Cannot display the page");
    EXPECT_EQ(browser.bodyText(), "This page can't be displayed.");
}

}  // namespace qova::testing
