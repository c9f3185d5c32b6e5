#pragma once

#include <QByteArray>
#include <QObject>
#include <optional>
#include <string>

#include "platform/web_browser.h"
#include "qt/browser_events.h"
#include "web/page_loading.h"

namespace qova::web {

/// The web browser control of the program: it fetches pages over the network (http, https),
/// from local files or from "about:" markup, and gives their text and title. It shows nothing
/// on screen; the program only reads what it loads. Pages served as text/html or
/// application/xhtml+xml (or files named .htm, .html, .xhtml) are rendered to text; anything
/// else is plain text whose bytes are kept as they are.
///
/// Every event is raised from the event loop, never inside navigate. A failed navigation raises
/// onNavigateError and then, as a separate event, the onDocumentComplete of the control's own
/// error page. A navigation replaced by a later one raises nothing more, even when its events
/// were already queued. A server that gives no answer within noAnswerTimeoutMs counts as
/// unreachable.
class NetworkBrowser : public QObject, public platform::WebBrowser {
    Q_OBJECT

  public:
    explicit NetworkBrowser(QObject* parent = nullptr, int noAnswerTimeoutMs = 30000);
    ~NetworkBrowser() override;

    NetworkBrowser(const NetworkBrowser&) = delete;
    NetworkBrowser& operator=(const NetworkBrowser&) = delete;

    void navigate(const std::string& address) override;
    void navigate2(const std::string& filePath) override;

    int readyState() const override { return events_.readyState(); }
    bool hasDocument() const override { return events_.hasDocument(); }
    const std::string& bodyText() const override;
    std::string title() const override;

  private:
    void pageArrived(FetchedPage page);
    void setPage(QByteArray bytes, FetchedPage::Kind kind);
    void render() const;

    PageFetcher pages_;
    qt::BrowserEvents events_;

    QByteArray page_;
    FetchedPage::Kind pageKind_ = FetchedPage::Kind::PlainText;
    // Rendering is left until someone asks: most pages are only read as plain text.
    mutable std::optional<std::string> bodyText_;
    mutable std::optional<std::string> title_;
};

}  // namespace qova::web
