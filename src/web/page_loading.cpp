#include "web/page_loading.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/address_policy.h"
#include "platform/text.h"
#include "platform/web_browser.h"

namespace qova::web {
namespace {

constexpr std::string_view kAboutScheme = "about:";

// Qt gives up on a body that unpacks at a ratio no real page has once this much has been
// unpacked. Its default of 10 MiB would catch a large honest directory of repetitive lines.
constexpr qint64 kDecompressedSafetyThreshold = qint64{16} * 1024 * 1024;

bool isUnreachable(QNetworkReply::NetworkError error) {
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
        case QNetworkReply::HostNotFoundError:
        case QNetworkReply::TimeoutError:
        case QNetworkReply::SslHandshakeFailedError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
            return true;
        default:
            return false;
    }
}

// A body shorter than its announced length is a transfer that broke off, even if the network
// layer let it pass. A compressed body's length counts the compressed bytes, so it proves
// nothing there.
bool isShortBody(const QNetworkReply& reply, qsizetype received) {
    if (reply.hasRawHeader("Content-Encoding"))
        return false;
    bool ok = false;
    const qint64 announced = reply.rawHeader("Content-Length").trimmed().toLongLong(&ok);
    return ok && received < announced;
}

bool hasToken(const QString& list, QStringView token) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& each : list.split(separators, Qt::SkipEmptyParts)) {
        if (each.compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool isHtmlFileName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"htm" || suffix == u"html" || suffix == u"xhtml";
}

bool isHtmlContentType(const QByteArray& header) {
    QByteArray type = header;
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0)
        type.truncate(semicolon);
    type = type.trimmed().toLower();
    return type == "text/html" || type == "application/xhtml+xml";
}

bool isStreamAnswer(const QByteArray& contentType, const QList<QByteArray>& headerNames) {
    for (const QByteArray& name : headerNames) {
        if (name.toLower().startsWith("icy-"))
            return true;
    }
    QByteArray type = contentType;
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0)
        type.truncate(semicolon);
    type = type.trimmed().toLower();
    // Playlists come as sound types too, and are lists the program reads.
    if (type.contains("mpegurl") || type.contains("scpls"))
        return false;
    return type.startsWith("audio/") || type.startsWith("video/") || type == "application/ogg";
}

QNetworkRequest pageRequest(const QUrl& url, int noAnswerTimeoutMs) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(noAnswerTimeoutMs);
    request.setDecompressedSafetyCheckThreshold(kDecompressedSafetyThreshold);
    return request;
}

std::optional<std::int32_t> replyFailure(QNetworkReply& reply, qsizetype receivedBytes) {
    const QVariant httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool answered = httpStatus.isValid();
    if (answered && httpStatus.toInt() >= 400)
        return httpStatus.toInt();
    const bool isFile = reply.url().isLocalFile();
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError) {
        if (!isFile && isShortBody(reply, receivedBytes))
            return platform::WebBrowser::kStatusDownloadFailure;
        return std::nullopt;
    }
    if (isFile && error == QNetworkReply::ContentNotFoundError)
        return 404;
    if (isUnreachable(error))
        return platform::WebBrowser::kStatusResourceNotFound;
    // Qt gives OperationCanceledError when the transfer timeout strikes; before the server has
    // answered at all that means it could not be reached, afterwards that the transfer broke off.
    if (error == QNetworkReply::OperationCanceledError && !answered)
        return platform::WebBrowser::kStatusResourceNotFound;
    return platform::WebBrowser::kStatusDownloadFailure;
}

QByteArray readBody(QNetworkReply& reply) {
    // Reading an aborted reply only draws a warning.
    return reply.error() == QNetworkReply::NoError ? reply.readAll() : QByteArray();
}

void discardReply(QNetworkReply* reply, QObject* receiver) {
    // Aborting emits finished at once; nothing of ours may hear it.
    QObject::disconnect(reply, nullptr, receiver, nullptr);
    reply->abort();
    reply->deleteLater();
}

QString decodeHtml(const QByteArray& bytes) {
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

std::string utf8Markup(const QByteArray& bytes) {
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    constexpr qsizetype kPiece = 1024 * 1024;
    std::string utf8;
    utf8.reserve(static_cast<std::size_t>(bytes.size()));
    // Bounded by the bytes: every pass decodes the next piece; the decoder carries a character
    // cut at a piece's end over to the next.
    for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
        const QString piece =
            decoder.decode(QByteArrayView(bytes).sliced(at, std::min(kPiece, bytes.size() - at)));
        const QByteArray encoded = piece.toUtf8();
        utf8.append(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    }
    return utf8;
}

std::string renderedText(const QTextDocument& document) {
    QString text = document.toPlainText();
    text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
    // Where an image stands; a reader of the page's text sees nothing there.
    text.remove(QChar::ObjectReplacementCharacter);
    const QByteArray utf8 = text.toUtf8();
    return platform::withCrLfLineBreaks(std::string_view(utf8.constData(), utf8.size()));
}

QStringList styleSheetLinks(const QString& html) {
    QStringList links;
    // Most pages link none; spare them the scan.
    if (!html.contains(u"stylesheet", Qt::CaseInsensitive))
        return links;
    static const QRegularExpression comment(QStringLiteral("<!--.*?-->"),
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression linkTag(QStringLiteral("<link\\b([^>]*)>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(
        QStringLiteral("([^\\s=/>]+)(?:\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+)))?"));
    QString text = html;
    text.remove(comment);
    for (const QRegularExpressionMatch& tag : linkTag.globalMatch(text)) {
        QString rel;
        QString href;
        QString media;
        bool seenRel = false;
        bool seenHref = false;
        bool seenMedia = false;
        const QString attributes = tag.captured(1);
        for (const QRegularExpressionMatch& each : attribute.globalMatch(attributes)) {
            const QString name = each.captured(1).toLower();
            const QString value = each.captured(2) + each.captured(3) + each.captured(4);
            // Only the first of a repeated attribute counts, as in any HTML parser.
            if (name == u"rel" && !std::exchange(seenRel, true)) {
                rel = value;
            } else if (name == u"href" && !std::exchange(seenHref, true)) {
                href = QString(value).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
                href = href.trimmed();
            } else if (name == u"media" && !std::exchange(seenMedia, true)) {
                media = value;
            }
        }
        if (!hasToken(rel, u"stylesheet") || hasToken(rel, u"alternate") || href.isEmpty())
            continue;
        if (!media.trimmed().isEmpty() && !hasToken(media, u"all") && !hasToken(media, u"screen"))
            continue;
        if (!links.contains(href))
            links.append(href);
    }
    return links;
}

QString withoutLinkTags(const QString& html) {
    if (!html.contains(u"<link", Qt::CaseInsensitive))
        return html;
    static const QRegularExpression linkTag(QStringLiteral("</?link\\b[^>]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    return QString(html).remove(linkTag);
}

PageFetcher::PageFetcher(QObject& owner, FetchLimits limits, Arrived arrived)
    : owner_(owner),
      network_(new QNetworkAccessManager(&owner)),
      limits_(limits),
      arrived_(std::move(arrived)),
      transferLimit_(new QTimer(&owner)) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    transferLimit_->setSingleShot(true);
}

PageFetcher::~PageFetcher() {
    abandon();
    delete transferLimit_;
    delete network_;
}

void PageFetcher::abandon() {
    transferLimit_->stop();
    QObject::disconnect(transferLimit_, nullptr, &owner_, nullptr);
    if (reply_ != nullptr)
        discardReply(std::exchange(reply_, nullptr), &owner_);
}

void PageFetcher::open(const std::string& address) {
    abandon();
    if (platform::startsWithIgnoreCase(address, kAboutScheme)) {
        const std::string_view markup = std::string_view(address).substr(kAboutScheme.size());
        FetchedPage page;
        page.reportedUrl = address;
        page.url = QUrl(QStringLiteral("about:blank"));
        page.kind = FetchedPage::Kind::Markup;
        if (!platform::equalsIgnoreCase(markup, "blank"))
            page.bytes = QByteArray(markup.data(), static_cast<qsizetype>(markup.size()));
        arrived_(std::move(page));
        return;
    }
    if (platform::isWebAddress(address)) {
        const QUrl url(QString::fromStdString(address));
        if (url.isValid() && !url.host().isEmpty()) {
            fetch(url, address);
            return;
        }
    } else if (const std::string path = platform::localFilePath(address); !path.empty()) {
        openLocal(path, address);
        return;
    }
    fail(address, platform::WebBrowser::kStatusResourceNotFound);
}

void PageFetcher::openFile(const std::string& path) {
    abandon();
    if (path.empty()) {
        fail(path, 404);
        return;
    }
    openLocal(QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString(), path);
}

void PageFetcher::openLocal(const std::string& path, const std::string& reportedUrl) {
    // Qt opens a file: address on the thread that asks, and a FIFO or a device named as a list
    // would hold that thread until someone writes to it: only a regular file is read.
    if (!platform::isRegularFile(path)) {
        fail(reportedUrl, 404);
        return;
    }
    fetch(QUrl::fromLocalFile(QString::fromStdString(path)), reportedUrl);
}

void PageFetcher::fetch(const QUrl& url, const std::string& reportedUrl) {
    QNetworkReply* reply = get(url);
    reply_ = reply;
    QObject::connect(reply, &QNetworkReply::finished, &owner_,
                     [this, reply, reportedUrl] { finished(reply, reportedUrl); });
    // A stream given as a page, or a server that never stops: the body is read no further than
    // any real page goes, so that memory stays bounded.
    QObject::connect(reply, &QNetworkReply::readyRead, &owner_, [this, reply, reportedUrl] {
        if (reply == reply_ && reply->bytesAvailable() > limits_.maxBytes)
            giveUp(reportedUrl, FetchedPage::GivenUp::TooLarge);
    });
    // A stream says what it is before its first byte: nothing of it is waited for. Redirects
    // and error answers are not the answer's own body.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &owner_, [this, reply, reportedUrl] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply == reply_ && status >= 200 && status < 300 &&
            isStreamAnswer(reply->rawHeader("Content-Type"), reply->rawHeaderList()))
            giveUp(reportedUrl, FetchedPage::GivenUp::Stream);
    });
    // The time-out of a request restarts with every byte: a server that sends a little now and
    // then, for ever, is stopped here.
    QObject::connect(transferLimit_, &QTimer::timeout, &owner_,
                     [this, reportedUrl] { giveUp(reportedUrl, FetchedPage::GivenUp::TooLong); });
    transferLimit_->start(limits_.transferMs);
}

QNetworkReply* PageFetcher::get(const QUrl& url) {
    return network_->get(pageRequest(url, limits_.noAnswerMs));
}

void PageFetcher::giveUp(const std::string& reportedUrl, FetchedPage::GivenUp why) {
    if (reply_ == nullptr)
        return;
    const bool answered = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    abandon();
    fail(reportedUrl,
         answered ? platform::WebBrowser::kStatusDownloadFailure
                  : platform::WebBrowser::kStatusResourceNotFound,
         why);
}

void PageFetcher::finished(QNetworkReply* reply, const std::string& reportedUrl) {
    if (reply != reply_)
        return;
    reply_ = nullptr;
    transferLimit_->stop();
    QObject::disconnect(transferLimit_, nullptr, &owner_, nullptr);
    QObject::disconnect(reply, nullptr, &owner_, nullptr);
    reply->deleteLater();

    QByteArray bytes = readBody(*reply);
    if (const std::optional<std::int32_t> failure = replyFailure(*reply, bytes.size())) {
        fail(reportedUrl, *failure);
        return;
    }
    FetchedPage page;
    page.reportedUrl = reportedUrl;
    // After redirects: the page's relative addresses count from where it really came from.
    page.url = reply->url();
    const bool html = page.url.isLocalFile() ? isHtmlFileName(page.url.toLocalFile())
                                             : isHtmlContentType(reply->rawHeader("Content-Type"));
    page.kind = html ? FetchedPage::Kind::Html : FetchedPage::Kind::PlainText;
    page.bytes = std::move(bytes);
    arrived_(std::move(page));
}

void PageFetcher::fail(const std::string& reportedUrl, std::int32_t status,
                       FetchedPage::GivenUp why) {
    FetchedPage page;
    page.reportedUrl = reportedUrl;
    page.failure = status;
    page.givenUp = why;
    arrived_(std::move(page));
}

}  // namespace qova::web
