#include "qt/browser_events.h"

#include <QMetaObject>
#include <QObject>
#include <utility>

namespace qova::qt {

const char kCannotDisplayPage[] =
    "<html><head><title>Cannot display the page</title></head>"
    "<body><p>This page can't be displayed.</p></body></html>";

BrowserEvents::BrowserEvents(platform::WebBrowser& browser, QObject& context)
    : browser_(browser), context_(context) {}

void BrowserEvents::startNavigation() {
    ++serial_;
    readyState_ = platform::WebBrowser::kReadyStateLoading;
}

void BrowserEvents::completeLater(std::string url, std::function<void()> show) {
    const std::uint64_t serial = serial_;
    QMetaObject::invokeMethod(
        &context_,
        [this, serial, url = std::move(url), show = std::move(show)] {
            if (serial != serial_)
                return;
            readyState_ = platform::WebBrowser::kReadyStateComplete;
            hasDocument_ = true;
            show();
            // Someone who heard the control's signals may have navigated elsewhere already.
            if (serial != serial_)
                return;
            // A copy, so that a handler may replace itself while it runs.
            const auto handler = browser_.onDocumentComplete;
            if (handler)
                handler(url);
        },
        Qt::QueuedConnection);
}

void BrowserEvents::failLater(std::string url, std::int32_t status,
                              std::function<void()> showErrorPage) {
    const std::uint64_t serial = serial_;
    QMetaObject::invokeMethod(
        &context_,
        [this, serial, url, status] {
            if (serial != serial_)
                return;
            const auto handler = browser_.onNavigateError;
            if (handler)
                handler(url, status);
        },
        Qt::QueuedConnection);
    // Queued now rather than after the handler: a handler that opens a message box sees its
    // error page complete while the message is open.
    completeLater(std::move(url), std::move(showErrorPage));
}

}  // namespace qova::qt
