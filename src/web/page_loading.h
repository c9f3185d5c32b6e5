#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QObject;
class QTextDocument;
class QTimer;

namespace qova::web {

/// Whether a local file is a page by its name (.htm, .html, .xhtml).
bool isHtmlFileName(const QString& path);
/// Whether a Content-Type header names a page (text/html, application/xhtml+xml).
bool isHtmlContentType(const QByteArray& header);
/// Whether an answer's headers say plainly that it is a stream, which never ends, rather than a
/// page or a list: a sound or picture type other than a playlist's, Ogg, or the headers of an
/// Icecast or SHOUTcast server (icy-*).
bool isStreamAnswer(const QByteArray& contentType, const QList<QByteArray>& headerNames);

/// A request for a page or one of its parts: safe redirects only, given up after noAnswerTimeoutMs
/// without a byte, and no guard against well-compressed bodies below any real page's size.
QNetworkRequest pageRequest(const QUrl& url, int noAnswerTimeoutMs);

/// Why a finished reply cannot be shown, as the status a browser control reports: the HTTP status
/// of an error answer, 404 for a missing local file, kStatusResourceNotFound for a server that
/// could not be reached and kStatusDownloadFailure for a transfer that broke off. Nothing when
/// the receivedBytes read from it are the whole body.
std::optional<std::int32_t> replyFailure(QNetworkReply& reply, qsizetype receivedBytes);

/// The body of a finished reply; empty for a failed one, which has no body worth reading.
QByteArray readBody(QNetworkReply& reply);

/// Gives up a reply under way without receiver hearing any more of it.
void discardReply(QNetworkReply* reply, QObject* receiver);

/// A page's text, in the encoding its byte order mark or <meta> names, UTF-8 otherwise.
QString decodeHtml(const QByteArray& bytes);
/// The same as UTF-8, made a piece at a time, so that it costs no more than its own size on top
/// of the bytes (a page of a single-byte encoding costs up to twice that); bytes that are not
/// valid in the encoding become U+FFFD.
std::string utf8Markup(const QByteArray& bytes);

/// The text of a rendered page, every line break given as CR LF and nothing where its images
/// stand.
std::string renderedText(const QTextDocument& document);

/// The addresses, as written, of the style sheets a page links for the screen, in page order:
/// <link rel="stylesheet" href="..."> outside comments, not alternate, with no media or one that
/// covers the screen.
QStringList styleSheetLinks(const QString& html);

/// The page without its <link> tags. Qt's HTML reader takes <link> for an element with content
/// and hides everything after it up to the end of the head, which HTML lets a page leave out:
/// a page that links a style sheet and has no </head> would show as empty.
QString withoutLinkTags(const QString& html);

/// A page as it came to a browser control, or why it did not.
struct FetchedPage {
    enum class Kind {
        PlainText,
        Html,
        /// The markup of an "about:" address itself, UTF-8.
        Markup,
    };

    /// The address navigate was given, as events report it.
    std::string reportedUrl;
    /// Where the page came from, after redirects; "about:blank" for markup.
    QUrl url;
    Kind kind = Kind::Html;
    QByteArray bytes;
    /// Set when there is no page: the status to report.
    std::optional<std::int32_t> failure;
    /// Where the fetcher gave the page up of its own accord, why.
    enum class GivenUp { No, Stream, TooLong, TooLarge };
    GivenUp givenUp = GivenUp::No;
};

/// The most a download may hold (the directory's page, an added list, a playlist of favourites to
/// import), far above the largest real channel directory; a longer body is a transfer that
/// failed.
inline constexpr qint64 kMaxDownloadBytes = qint64{64} * 1024 * 1024;

/// How long a whole download may take, however steadily its server sends: the directory's page
/// (or a page a browser control shows), and an added list, which may be larger and is waited
/// for by nothing else.
inline constexpr int kPageTransferLimitMs = 2 * 60 * 1000;
inline constexpr int kListTransferLimitMs = 5 * 60 * 1000;

/// What one download may take.
struct FetchLimits {
    /// A server that sends nothing for this long has given up; before its answer, it counts as
    /// one that cannot be reached.
    int noAnswerMs = 30000;
    /// The whole transfer, from the request to the last byte.
    int transferMs = kPageTransferLimitMs;
    /// The body.
    qint64 maxBytes = kMaxDownloadBytes;
};

/// Fetches the pages a browser control navigates to, one at a time, over a network manager of
/// its own: web and local addresses as platform/address_policy tells them, regular files alone
/// among the local ones, and "about:" markup. Every
/// navigation ends in arrived, with the page or the reason it failed; markup and addresses that
/// lead nowhere end there before open returns. An answer that is plainly a stream is given up
/// at once, and one that outlasts the limits when they strike.
class PageFetcher {
  public:
    using Arrived = std::function<void(FetchedPage page)>;

    /// The network manager is a child of owner, which hears the replies; it goes with the
    /// fetcher.
    PageFetcher(QObject& owner, FetchLimits limits, Arrived arrived);
    ~PageFetcher();

    PageFetcher(const PageFetcher&) = delete;
    PageFetcher& operator=(const PageFetcher&) = delete;

    /// Loads an address as navigate takes it, in place of the page under way.
    void open(const std::string& address);
    /// Loads a local file path, in place of the page under way.
    void openFile(const std::string& path);
    /// Drops the page under way: arrived hears nothing of it.
    void abandon();

    /// Starts fetching one of a page's parts, with the same rules as its page; the reply is the
    /// caller's.
    QNetworkReply* get(const QUrl& url);

  private:
    void openLocal(const std::string& path, const std::string& reportedUrl);
    void fetch(const QUrl& url, const std::string& reportedUrl);
    void finished(QNetworkReply* reply, const std::string& reportedUrl);
    void giveUp(const std::string& reportedUrl, FetchedPage::GivenUp why);
    void fail(const std::string& reportedUrl, std::int32_t status,
              FetchedPage::GivenUp why = FetchedPage::GivenUp::No);

    QObject& owner_;
    QNetworkAccessManager* network_;
    FetchLimits limits_;
    Arrived arrived_;
    QNetworkReply* reply_ = nullptr;
    // Bounds the page under way, from its request on.
    QTimer* transferLimit_;
};

}  // namespace qova::web
