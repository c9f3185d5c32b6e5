#include "platform/network_browser.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTextDocument>
#include <QUrl>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace qova::platform {
namespace {

constexpr std::string_view kAboutScheme = "about:";

const char kErrorPage[] =
    "<html><head><title>Cannot display the page</title></head>"
    "<body><p>This page can't be displayed.</p></body></html>";

// Gzip bombs aside, a large directory of repetitive lines compresses far better than Qt's
// default guard allows for; refuse only what could never be a real page.
constexpr qint64 kDecompressedSafetyThreshold = qint64{256} * 1024 * 1024;

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

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

// The status a failed reply is reported with. Qt gives OperationCanceledError when the transfer
// timeout strikes; before the server has answered at all that means it could not be reached,
// afterwards that the transfer broke off.
std::int32_t failureStatus(QNetworkReply& reply, bool isFile) {
    const QVariant httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool answered = httpStatus.isValid();
    if (answered && httpStatus.toInt() >= 400)
        return httpStatus.toInt();
    const QNetworkReply::NetworkError error = reply.error();
    if (isFile && error == QNetworkReply::ContentNotFoundError)
        return 404;
    if (isUnreachable(error))
        return WebBrowser::kStatusResourceNotFound;
    if (error == QNetworkReply::OperationCanceledError && !answered) {
        return WebBrowser::kStatusResourceNotFound;
    }
    return WebBrowser::kStatusDownloadFailure;
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

QString decodeHtml(const QByteArray& bytes) {
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

}  // namespace

NetworkBrowser::NetworkBrowser(QObject* parent, int noAnswerTimeoutMs)
    : QObject(parent),
      network_(new QNetworkAccessManager(this)),
      noAnswerTimeoutMs_(noAnswerTimeoutMs) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

NetworkBrowser::~NetworkBrowser() {
    abandonCurrent();
}

void NetworkBrowser::abandonCurrent() {
    ++serial_;
    if (reply_ == nullptr)
        return;
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    // Aborting emits finished at once; nothing of ours may hear it.
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

void NetworkBrowser::navigate(const std::string& address) {
    abandonCurrent();
    readyState_ = kReadyStateLoading;

    if (startsWithIgnoreCase(address, kAboutScheme)) {
        const std::string_view markup = std::string_view(address).substr(kAboutScheme.size());
        if (equalsIgnoreCase(markup, "blank")) {
            completeLater(address, QByteArray(), PageKind::Html);
        } else {
            completeLater(address, QByteArray(markup.data(), static_cast<qsizetype>(markup.size())),
                          PageKind::Html);
        }
        return;
    }
    if (!address.empty() && address.front() == '/') {
        loadFile(address, address);
        return;
    }

    const QUrl url(QString::fromStdString(address));
    const QString scheme = url.scheme();
    if (url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty()) {
        load(url, address);
    } else if (url.isValid() && scheme == u"file" && !url.toLocalFile().isEmpty()) {
        load(url, address);
    } else {
        failLater(address, kStatusResourceNotFound);
    }
}

void NetworkBrowser::navigate2(const std::string& filePath) {
    abandonCurrent();
    readyState_ = kReadyStateLoading;
    loadFile(filePath, filePath);
}

void NetworkBrowser::loadFile(const std::string& path, const std::string& reportedUrl) {
    if (path.empty()) {
        failLater(reportedUrl, 404);
        return;
    }
    load(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absoluteFilePath()),
         reportedUrl);
}

void NetworkBrowser::load(const QUrl& url, const std::string& reportedUrl) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(noAnswerTimeoutMs_);
    request.setDecompressedSafetyCheckThreshold(kDecompressedSafetyThreshold);
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, reportedUrl] { replyFinished(reply, reportedUrl); });
}

void NetworkBrowser::replyFinished(QNetworkReply* reply, const std::string& reportedUrl) {
    if (reply != reply_)
        return;
    reply_ = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();

    const bool isFile = reply->url().isLocalFile();
    if (reply->error() != QNetworkReply::NoError) {
        failLater(reportedUrl, failureStatus(*reply, isFile));
        return;
    }
    const QVariant httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (httpStatus.isValid() && httpStatus.toInt() >= 400) {
        failLater(reportedUrl, httpStatus.toInt());
        return;
    }
    QByteArray bytes = reply->readAll();
    if (!isFile && isShortBody(*reply, bytes.size())) {
        failLater(reportedUrl, kStatusDownloadFailure);
        return;
    }
    const bool html = isFile ? isHtmlFileName(reply->url().toLocalFile())
                             : isHtmlContentType(reply->rawHeader("Content-Type"));
    completeLater(reportedUrl, std::move(bytes), html ? PageKind::Html : PageKind::PlainText);
}

void NetworkBrowser::completeLater(const std::string& url, QByteArray bytes, PageKind kind) {
    const std::uint64_t serial = serial_;
    QMetaObject::invokeMethod(
        this,
        [this, serial, url, bytes = std::move(bytes), kind] {
            if (serial != serial_)
                return;
            page_ = bytes;
            pageKind_ = kind;
            bodyText_.reset();
            title_.reset();
            readyState_ = kReadyStateComplete;
            hasDocument_ = true;
            // A copy, so that a handler may replace itself while it runs.
            const auto handler = onDocumentComplete;
            if (handler)
                handler(url);
        },
        Qt::QueuedConnection);
}

void NetworkBrowser::failLater(const std::string& url, std::int32_t status) {
    const std::uint64_t serial = serial_;
    QMetaObject::invokeMethod(
        this,
        [this, serial, url, status] {
            if (serial != serial_)
                return;
            const auto handler = onNavigateError;
            if (handler)
                handler(url, status);
        },
        Qt::QueuedConnection);
    // Queued now rather than after the handler: a handler that opens a message box sees its
    // error page complete while the message is open.
    completeLater(url, QByteArray(kErrorPage), PageKind::Html);
}

int NetworkBrowser::readyState() const {
    return readyState_;
}

bool NetworkBrowser::hasDocument() const {
    return hasDocument_;
}

const std::string& NetworkBrowser::bodyText() const {
    if (!bodyText_) {
        if (pageKind_ == PageKind::PlainText) {
            bodyText_ = withCrLfLineBreaks(std::string_view(page_.constData(), page_.size()));
        } else {
            render();
        }
    }
    return *bodyText_;
}

std::string NetworkBrowser::title() const {
    if (!title_) {
        if (pageKind_ == PageKind::PlainText) {
            title_.emplace();
        } else {
            render();
        }
    }
    return *title_;
}

void NetworkBrowser::render() const {
    QTextDocument document;
    document.setHtml(decodeHtml(page_));
    QString text = document.toPlainText();
    text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
    const QByteArray utf8 = text.toUtf8();
    bodyText_ = withCrLfLineBreaks(std::string_view(utf8.constData(), utf8.size()));
    title_ = document.metaInformation(QTextDocument::DocumentTitle).simplified().toStdString();
}

}  // namespace qova::platform
