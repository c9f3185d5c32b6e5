#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string_view>

class QNetworkReply;
class QNetworkRequest;
class QUrl;

namespace qova::platform {

/// The page a browser control shows in place of one it could not load.
extern const char kCannotDisplayPage[];

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix);

/// Whether a local file is a page by its name (.htm, .html, .xhtml).
bool isHtmlFileName(const QString& path);
/// Whether a Content-Type header names a page (text/html, application/xhtml+xml).
bool isHtmlContentType(const QByteArray& header);

/// A request for a page or one of its parts: safe redirects only, given up after noAnswerTimeoutMs
/// without a byte, and no guard against well-compressed bodies below any real page's size.
QNetworkRequest pageRequest(const QUrl& url, int noAnswerTimeoutMs);

/// Why a finished reply cannot be shown, as the status a browser control reports: the HTTP status
/// of an error answer, 404 for a missing local file, kStatusResourceNotFound for a server that
/// could not be reached and kStatusDownloadFailure for a transfer that broke off. Nothing when
/// the receivedBytes read from it are the whole body.
std::optional<std::int32_t> replyFailure(QNetworkReply& reply, qsizetype receivedBytes);

/// A page's text, in the encoding its byte order mark or <meta> names, UTF-8 otherwise.
QString decodeHtml(const QByteArray& bytes);

/// The addresses, as written, of the style sheets a page links for the screen, in page order:
/// <link rel="stylesheet" href="..."> outside comments, not alternate, with no media or one that
/// covers the screen.
QStringList styleSheetLinks(const QString& html);

/// The page without its <link> tags. Qt's HTML reader takes <link> for an element with content
/// and hides everything after it up to the end of the head, which HTML lets a page leave out:
/// a page that links a style sheet and has no </head> would show as empty.
QString withoutLinkTags(const QString& html);

}  // namespace qova::platform
