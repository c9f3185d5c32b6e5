#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/web_browser.h"

class QObject;

namespace qova::qt {

/// The page a browser control shows in place of one it could not load.
extern const char kCannotDisplayPage[];

/// The events of one browser control, raised in the order WebBrowser promises: later, from the
/// event loop, never inside navigate; a failure as NavigateError and then, as an event of its
/// own, the DocumentComplete of the error page; nothing more for a navigation a later one
/// replaced, even when its events were queued already. It keeps the ready state those events
/// move; the control keeps its own document and puts each page in place when told to.
class BrowserEvents {
  public:
    /// Raises browser's events from the event loop of context, usually the control itself;
    /// events still queued when context goes are dropped with it.
    BrowserEvents(platform::WebBrowser& browser, QObject& context);

    BrowserEvents(const BrowserEvents&) = delete;
    BrowserEvents& operator=(const BrowserEvents&) = delete;

    /// A new navigation, loading now, in place of the one under way.
    void startNavigation();

    /// Later: show() puts the page in place, then DocumentComplete is raised for url. show finds
    /// the state complete already; should a signal it emits lead to another navigation, that
    /// DocumentComplete is not raised.
    void completeLater(std::string url, std::function<void()> show);
    /// Later: NavigateError for url with status; then, as an event of its own, the error page
    /// shown by showErrorPage and its DocumentComplete.
    void failLater(std::string url, std::int32_t status, std::function<void()> showErrorPage);

    int readyState() const { return readyState_; }
    bool hasDocument() const { return hasDocument_; }

  private:
    platform::WebBrowser& browser_;
    QObject& context_;
    // Tells the events of the navigation under way from those of replaced ones still queued.
    std::uint64_t serial_ = 0;
    int readyState_ = platform::WebBrowser::kReadyStateUninitialized;
    bool hasDocument_ = false;
};

}  // namespace qova::qt
