#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/web_browser.h"
#include "qt/browser_events.h"
#include "web/page_loading.h"

class QNetworkReply;

namespace qova::web {

/// The web browser control that shows its pages: a light view drawn by QTextBrowser, fed over
/// its own QNetworkAccessManager. It loads http, https and file addresses and "about:" markup,
/// with the same statuses and event order as NetworkBrowser. Pages served as text/html or
/// application/xhtml+xml (or files named .htm, .html, .xhtml) are shown as HTML, with the
/// subset of CSS that QTextBrowser knows; anything else is shown as plain text. A page larger
/// than a megabyte is no information page and fails as a transfer that broke off, so that what
/// its layout costs stays bounded.
///
/// Style sheets the page links (<link rel="stylesheet">) are fetched before the page is shown,
/// so DocumentComplete comes once the text, the title and the look are final. Images are not
/// waited for: they are fetched once the page is shown and drawn as each arrives, so they may
/// come in after DocumentComplete. An http or https page never reads local files for its parts.
///
/// Links clicked in the view are followed in the view and raise the same events as navigate;
/// "mailto:" links go to the desktop's mail program. Until the first page is complete the view
/// is empty, and a page stays on screen until the next one is complete.
class WebView : public QTextBrowser, public platform::WebBrowser {
    Q_OBJECT

  public:
    explicit WebView(QWidget* parent = nullptr, int noAnswerTimeoutMs = 30000);
    ~WebView() override;

    void navigate(const std::string& address) override;
    void navigate2(const std::string& filePath) override;

    int readyState() const override { return events_.readyState(); }
    bool hasDocument() const override { return events_.hasDocument(); }
    const std::string& bodyText() const override { return bodyText_; }
    std::string title() const override { return title_.toStdString(); }

    /// The page shown where one cannot be loaded, in place of the browser's plain one. The events
    /// stay as they are: NavigateError, then the DocumentComplete of this page.
    void setErrorPage(const QString& html) { errorPage_ = html; }

    /// Where the page on screen came from, after redirects; its relative links resolve against
    /// it. "about:blank" for markup and for the error page.
    QUrl pageUrl() const { return pageUrl_; }
    /// How many parts (style sheets of the page on its way, images of the page on screen) are
    /// still being fetched.
    int pendingParts() const;

  signals:
    void titleChanged(const QString& title);

  protected:
    QVariant loadResource(int type, const QUrl& name) override;
    // Programmatic setSource goes through navigate too, so that it raises the same events.
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

  private:
    enum class PageKind { PlainText, Html };
    struct Page {
        std::string reportedUrl;
        QUrl url;
        PageKind kind = PageKind::Html;
        QByteArray bytes;
        QString html;
        std::vector<QString> styleSheets;
    };

    void abandonCurrent();
    void pageFetched(FetchedPage fetched);
    void pageArrived(Page page);
    void styleSheetFinished(QNetworkReply* reply, std::size_t index);
    void completeLater(Page page);
    void display(const Page& page);

    QNetworkReply* fetchPart(const QUrl& url);
    void requestImage(const QUrl& url);
    void imageFinished(QNetworkReply* reply, const QUrl& url);
    void dropImages();
    void followLink(const QUrl& link);

    PageFetcher pages_;
    qt::BrowserEvents events_;

    // A page waiting for its style sheets, and the replies that bring them.
    std::optional<Page> arriving_;
    std::vector<QNetworkReply*> styleSheetReplies_;
    std::size_t styleSheetsLeft_ = 0;

    // Belong to the page on screen.
    QUrl pageUrl_;
    bool pageIsLocal_ = false;
    std::vector<QNetworkReply*> imageReplies_;
    QSet<QUrl> requestedImages_;
    std::string bodyText_;
    QString title_;
    QString errorPage_ = QString::fromLatin1(qt::kCannotDisplayPage);
};

}  // namespace qova::web
