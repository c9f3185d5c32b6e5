#pragma once

#include <QObject>
#include <cstdint>
#include <string>

#include "platform/web_browser.h"
#include "qt/browser_events.h"
#include "web/page_loading.h"

namespace qova::web {

/// The web browser control of the program: it fetches pages over the network (http, https),
/// from local files or from "about:" markup, and gives their text and title. It shows nothing
/// on screen; the program only reads what it loads. Pages served as text/html or
/// application/xhtml+xml (or files named .htm, .html, .xhtml) are read by the markup reader to
/// the text a browser gives of them; anything else is plain text whose bytes are kept as they
/// are. A body longer than kMaxDownloadBytes is a transfer that failed.
///
/// Every event is raised from the event loop, never inside navigate. A failed navigation raises
/// onNavigateError and then, as a separate event, the onDocumentComplete of the control's own
/// error page. A navigation replaced by a later one raises nothing more, even when its events
/// were already queued. A server that gives no answer within noAnswerTimeoutMs counts as
/// unreachable. An answer that is plainly a stream, or a transfer still going after
/// transferLimitMs, is a transfer that failed: a radio station given as the directory holds
/// nothing back.
///
/// A page's text is made ready before its DocumentComplete, on a worker thread for any page
/// large enough to hold the event loop up, so that a directory of many megabytes never freezes
/// the windows.
class NetworkBrowser : public QObject, public platform::WebBrowser {
    Q_OBJECT

  public:
    explicit NetworkBrowser(QObject* parent = nullptr, int noAnswerTimeoutMs = 30000,
                            int transferLimitMs = kPageTransferLimitMs);
    ~NetworkBrowser() override;

    NetworkBrowser(const NetworkBrowser&) = delete;
    NetworkBrowser& operator=(const NetworkBrowser&) = delete;

    void navigate(const std::string& address) override;
    void navigate2(const std::string& filePath) override;

    int readyState() const override { return events_.readyState(); }
    bool hasDocument() const override { return events_.hasDocument(); }
    const std::string& bodyText() const override { return bodyText_; }
    std::string title() const override { return title_; }
    void setTextTransform(TextTransform transform) override { transform_ = std::move(transform); }
    bool textFound() const override { return textFound_; }

    struct Text {
        std::string body;
        std::string title;
        /// What the transform told of the body.
        bool found = true;
    };
    /// What the browser makes of a page's bytes: its text as a browser gives it (a plain text
    /// as it is, with CR LF line breaks) and its title, the transform applied to the text.
    static Text textOf(QByteArray bytes, FetchedPage::Kind kind, const TextTransform& transform);

  private:
    void pageArrived(FetchedPage page);
    void complete(std::string url, Text text);

    PageFetcher pages_;
    qt::BrowserEvents events_;
    // Counts navigations, so that text made ready for a replaced one is never shown.
    std::uint64_t navigation_ = 0;

    TextTransform transform_;
    std::string bodyText_;
    std::string title_;
    bool textFound_ = true;
};

}  // namespace qova::web
