#include "platform/web_view.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/page_loading.h"
#include "platform/text.h"

namespace qova::platform {
namespace {

constexpr std::string_view kAboutScheme = "about:";

// A page's images and style sheets are decoded whole in memory; nothing an information page
// shows comes near this, and it keeps a hostile page from filling the memory.
constexpr qint64 kMaxPartBytes = qint64{8} * 1024 * 1024;
constexpr std::size_t kMaxStyleSheets = 16;

QUrl aboutBlank() {
    return QUrl(QStringLiteral("about:blank"));
}

bool isWebScheme(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https";
}

// Only a page that is itself local may use local files: a page from a server must not make the
// program read whatever file it names.
bool mayFetch(const QUrl& url, bool pageIsLocal) {
    return isWebScheme(url) || (pageIsLocal && url.isLocalFile());
}

// Drawn where an image is still on its way or never came. Being an image, it also stops the
// document from looking the address up as a file of its own accord.
const QImage& placeholderImage() {
    static const QImage image = [] {
        QImage transparent(1, 1, QImage::Format_ARGB32_Premultiplied);
        transparent.fill(Qt::transparent);
        return transparent;
    }();
    return image;
}

void discard(QNetworkReply* reply, QObject* receiver) {
    // Aborting emits finished at once; nothing of ours may hear it.
    QObject::disconnect(reply, nullptr, receiver, nullptr);
    reply->abort();
    reply->deleteLater();
}

// Takes a reply out of the list it is kept in; false when it is no longer ours.
bool release(std::vector<QNetworkReply*>& replies, QNetworkReply* reply, QObject* receiver) {
    const auto found = std::find(replies.begin(), replies.end(), reply);
    if (found == replies.end())
        return false;
    replies.erase(found);
    QObject::disconnect(reply, nullptr, receiver, nullptr);
    reply->deleteLater();
    return true;
}

// A failed reply has no body worth reading, and reading an aborted one only draws a warning.
QByteArray readBody(QNetworkReply& reply) {
    return reply.error() == QNetworkReply::NoError ? reply.readAll() : QByteArray();
}

std::string renderedText(const QTextDocument& document) {
    QString text = document.toPlainText();
    text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
    // Where an image stands; a reader of the page's text sees nothing there.
    text.remove(QChar::ObjectReplacementCharacter);
    const QByteArray utf8 = text.toUtf8();
    return withCrLfLineBreaks(std::string_view(utf8.constData(), utf8.size()));
}

}  // namespace

WebView::WebView(QWidget* parent, int noAnswerTimeoutMs)
    : QTextBrowser(parent),
      network_(new QNetworkAccessManager(this)),
      noAnswerTimeoutMs_(noAnswerTimeoutMs) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    // Links are followed here rather than by QTextBrowser, so that they raise our events.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &WebView::followLink);
}

WebView::~WebView() {
    abandonCurrent();
    dropImages();
}

void WebView::abandonCurrent() {
    ++serial_;
    if (pageReply_ != nullptr)
        discard(std::exchange(pageReply_, nullptr), this);
    for (QNetworkReply* reply : std::exchange(styleSheetReplies_, {}))
        discard(reply, this);
    arriving_.reset();
    styleSheetsLeft_ = 0;
}

void WebView::navigate(const std::string& address) {
    abandonCurrent();
    readyState_ = kReadyStateLoading;

    if (startsWithIgnoreCase(address, kAboutScheme)) {
        const std::string_view markup = std::string_view(address).substr(kAboutScheme.size());
        Page page;
        page.reportedUrl = address;
        page.url = aboutBlank();
        if (!equalsIgnoreCase(markup, "blank"))
            page.html = QString::fromUtf8(markup.data(), static_cast<qsizetype>(markup.size()));
        pageArrived(std::move(page));
        return;
    }
    if (!address.empty() && address.front() == '/') {
        loadFile(address, address);
        return;
    }

    const QUrl url(QString::fromStdString(address));
    if (url.isValid() && isWebScheme(url) && !url.host().isEmpty()) {
        load(url, address);
    } else if (url.isValid() && url.isLocalFile() && !url.toLocalFile().isEmpty()) {
        load(url, address);
    } else {
        failLater(address, kStatusResourceNotFound);
    }
}

void WebView::navigate2(const std::string& filePath) {
    abandonCurrent();
    readyState_ = kReadyStateLoading;
    loadFile(filePath, filePath);
}

void WebView::loadFile(const std::string& path, const std::string& reportedUrl) {
    if (path.empty()) {
        failLater(reportedUrl, 404);
        return;
    }
    load(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absoluteFilePath()),
         reportedUrl);
}

void WebView::load(const QUrl& url, const std::string& reportedUrl) {
    QNetworkReply* reply = network_->get(pageRequest(url, noAnswerTimeoutMs_));
    pageReply_ = reply;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, reportedUrl] { pageReplyFinished(reply, reportedUrl); });
}

void WebView::pageReplyFinished(QNetworkReply* reply, const std::string& reportedUrl) {
    if (reply != pageReply_)
        return;
    pageReply_ = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();

    QByteArray bytes = readBody(*reply);
    if (const std::optional<std::int32_t> failure = replyFailure(*reply, bytes.size())) {
        failLater(reportedUrl, *failure);
        return;
    }
    Page page;
    page.reportedUrl = reportedUrl;
    // After redirects: the page's relative addresses count from where it really came from.
    page.url = reply->url();
    const bool html = page.url.isLocalFile() ? isHtmlFileName(page.url.toLocalFile())
                                             : isHtmlContentType(reply->rawHeader("Content-Type"));
    if (html) {
        page.html = decodeHtml(bytes);
    } else {
        page.kind = PageKind::PlainText;
        page.bytes = std::move(bytes);
    }
    pageArrived(std::move(page));
}

void WebView::pageArrived(Page page) {
    std::vector<QUrl> sheets;
    if (page.kind == PageKind::Html) {
        const bool local = page.url.isLocalFile() || page.url.scheme() == u"about";
        for (const QString& link : styleSheetLinks(page.html)) {
            const QUrl url = page.url.resolved(QUrl(link));
            if (mayFetch(url, local) && sheets.size() < kMaxStyleSheets)
                sheets.push_back(url);
        }
    }
    if (sheets.empty()) {
        completeLater(std::move(page));
        return;
    }
    // QTextBrowser only reads a style sheet while it parses the page, and only if it has it
    // at hand: the page waits for its sheets, as it would in any browser.
    page.styleSheets.resize(sheets.size());
    arriving_ = std::move(page);
    styleSheetsLeft_ = sheets.size();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        QNetworkReply* reply = fetchPart(sheets[i]);
        styleSheetReplies_.push_back(reply);
        connect(reply, &QNetworkReply::finished, this,
                [this, reply, i] { styleSheetFinished(reply, i); });
    }
}

void WebView::styleSheetFinished(QNetworkReply* reply, std::size_t index) {
    if (!release(styleSheetReplies_, reply, this) || !arriving_)
        return;
    const QByteArray bytes = readBody(*reply);
    // A sheet that cannot be had leaves the page plainer, not broken.
    if (!replyFailure(*reply, bytes.size()))
        arriving_->styleSheets[index] = QStringDecoder(QStringDecoder::Utf8).decode(bytes);
    if (--styleSheetsLeft_ > 0)
        return;
    Page page = std::move(*arriving_);
    arriving_.reset();
    completeLater(std::move(page));
}

void WebView::completeLater(Page page) {
    const std::uint64_t serial = serial_;
    QMetaObject::invokeMethod(
        this,
        [this, serial, page = std::move(page)] {
            if (serial != serial_)
                return;
            const QString oldTitle = title_;
            display(page);
            readyState_ = kReadyStateComplete;
            hasDocument_ = true;
            if (title_ != oldTitle)
                emit titleChanged(title_);
            // Someone who heard the title may have navigated elsewhere already.
            if (serial != serial_)
                return;
            // A copy, so that a handler may replace itself while it runs.
            const auto handler = onDocumentComplete;
            if (handler)
                handler(page.reportedUrl);
        },
        Qt::QueuedConnection);
}

void WebView::failLater(const std::string& url, std::int32_t status) {
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
    Page errorPage;
    errorPage.reportedUrl = url;
    errorPage.url = aboutBlank();
    errorPage.html = QString::fromLatin1(kCannotDisplayPage);
    // Queued now rather than after the handler: a handler that opens a message box sees its
    // error page complete while the message is open.
    completeLater(std::move(errorPage));
}

void WebView::display(const Page& page) {
    dropImages();
    pageUrl_ = page.url;
    pageIsLocal_ = page.url.isLocalFile() || page.url.scheme() == u"about";

    QTextDocument* doc = document();
    // Also forgets the images of the page before.
    doc->clear();
    doc->setBaseUrl(page.url);
    QString styleSheet;
    for (const QString& sheet : page.styleSheets)
        styleSheet += sheet + u'\n';
    doc->setDefaultStyleSheet(styleSheet);
    if (page.kind == PageKind::Html) {
        // The sheets the links name are in the default sheet already.
        setHtml(withoutLinkTags(page.html));
        bodyText_ = renderedText(*doc);
        title_ = doc->metaInformation(QTextDocument::DocumentTitle).simplified();
    } else {
        setPlainText(QString::fromUtf8(page.bytes));
        // The bytes as they came, as NetworkBrowser gives them.
        bodyText_ = withCrLfLineBreaks(std::string_view(page.bytes.constData(), page.bytes.size()));
        title_.clear();
    }

    // Asked for now rather than when the layout first needs them, so that a view not yet on
    // screen has its images by the time it is shown.
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                requestImage(page.url.resolved(QUrl(format.toImageFormat().name())));
        }
    }

    if (page.url.hasFragment()) {
        scrollToAnchor(page.url.fragment());
    } else {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
    }
}

QNetworkReply* WebView::fetchPart(const QUrl& url) {
    QNetworkReply* reply = network_->get(pageRequest(url, noAnswerTimeoutMs_));
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxPartBytes)
            reply->abort();
    });
    return reply;
}

void WebView::requestImage(const QUrl& url) {
    // Local images of a local page are read by the document as the layout needs them.
    if (!url.isValid() || !isWebScheme(url) || requestedImages_.contains(url))
        return;
    // Asked for once: an image that failed stays a placeholder instead of being fetched again
    // at every layout.
    requestedImages_.insert(url);
    QNetworkReply* reply = fetchPart(url);
    imageReplies_.push_back(reply);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url] { imageFinished(reply, url); });
}

void WebView::imageFinished(QNetworkReply* reply, const QUrl& url) {
    if (!release(imageReplies_, reply, this))
        return;
    const QByteArray bytes = readBody(*reply);
    if (replyFailure(*reply, bytes.size()))
        return;
    const QImage image = QImage::fromData(bytes);
    if (image.isNull())
        return;
    QTextDocument* doc = document();
    // Added resources come before the placeholder the document cached for this address.
    doc->addResource(QTextDocument::ImageResource, url, image);
    // The layout made room for the placeholder; make it again for the real size.
    doc->markContentsDirty(0, doc->characterCount());
}

void WebView::dropImages() {
    for (QNetworkReply* reply : std::exchange(imageReplies_, {}))
        discard(reply, this);
    requestedImages_.clear();
}

int WebView::pendingParts() const {
    return static_cast<int>(styleSheetReplies_.size() + imageReplies_.size());
}

QVariant WebView::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource) {
        // The document decodes these itself once we give nothing.
        if (name.scheme().compare(u"data", Qt::CaseInsensitive) == 0)
            return QVariant();
        if (name.isLocalFile() && pageIsLocal_) {
            const QVariant local = QTextBrowser::loadResource(type, name);
            if (local.isValid())
                return local;
        } else if (mayFetch(name, pageIsLocal_)) {
            requestImage(name);
        }
        return placeholderImage();
    }
    // Linked style sheets were fetched ahead and are the default sheet already, and a page asks
    // for nothing else we serve. The answer must not be null: a null one lets the document read
    // the address as a local file of its own accord.
    return QVariant(QString());
}

void WebView::doSetSource(const QUrl& name, QTextDocument::ResourceType) {
    followLink(name);
}

void WebView::followLink(const QUrl& link) {
    const QUrl target = pageUrl_.resolved(link);
    const QString scheme = target.scheme().toLower();
    if (scheme == u"mailto") {
        QDesktopServices::openUrl(target);
        return;
    }
    if (target.hasFragment() &&
        target.adjusted(QUrl::RemoveFragment) == pageUrl_.adjusted(QUrl::RemoveFragment)) {
        scrollToAnchor(target.fragment());
        return;
    }
    if (mayFetch(target, pageIsLocal_))
        navigate(target.toString(QUrl::FullyEncoded).toStdString());
}

int WebView::readyState() const {
    return readyState_;
}

bool WebView::hasDocument() const {
    return hasDocument_;
}

const std::string& WebView::bodyText() const {
    return bodyText_;
}

std::string WebView::title() const {
    return title_.toStdString();
}

}  // namespace qova::platform
