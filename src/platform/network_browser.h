#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/web_browser.h"

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

namespace qova::platform {

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
class NetworkBrowser : public QObject, public WebBrowser {
    Q_OBJECT

  public:
    explicit NetworkBrowser(QObject* parent = nullptr, int noAnswerTimeoutMs = 30000);
    ~NetworkBrowser() override;

    NetworkBrowser(const NetworkBrowser&) = delete;
    NetworkBrowser& operator=(const NetworkBrowser&) = delete;

    void navigate(const std::string& address) override;
    void navigate2(const std::string& filePath) override;

    int readyState() const override;
    bool hasDocument() const override;
    const std::string& bodyText() const override;
    std::string title() const override;

  private:
    enum class PageKind { PlainText, Html };

    void abandonCurrent();
    void loadFile(const std::string& path, const std::string& reportedUrl);
    void load(const QUrl& url, const std::string& reportedUrl);
    void replyFinished(QNetworkReply* reply, const std::string& reportedUrl);
    void completeLater(const std::string& url, QByteArray bytes, PageKind kind);
    void failLater(const std::string& url, std::int32_t status);
    void render() const;

    QNetworkAccessManager* network_;
    QNetworkReply* reply_ = nullptr;
    int noAnswerTimeoutMs_;
    // Tells the events of the navigation under way from those of replaced ones still queued.
    std::uint64_t serial_ = 0;
    int readyState_ = kReadyStateUninitialized;
    bool hasDocument_ = false;

    QByteArray page_;
    PageKind pageKind_ = PageKind::PlainText;
    // Rendering is left until someone asks: most pages are only read as plain text.
    mutable std::optional<std::string> bodyText_;
    mutable std::optional<std::string> title_;
};

}  // namespace qova::platform
