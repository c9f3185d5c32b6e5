#include "web/web_view.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QImage>
#include <QNetworkReply>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/address_policy.h"
#include "platform/text.h"
#include "web/page_loading.h"

namespace qova::web {
namespace {

// A page's images and style sheets are decoded whole in memory; nothing an information page
// shows comes near this, and it keeps a hostile page from filling the memory.
constexpr qint64 kMaxPartBytes = qint64{8} * 1024 * 1024;
// A page shown is laid out whole, at hundreds of bytes for each of its elements: information
// pages are a few tens of kilobytes, and this keeps a hostile page's layout within a few hundred
// megabytes. A longer one is a transfer that failed.
constexpr qint64 kMaxShownPageBytes = qint64{1} * 1024 * 1024;
constexpr std::size_t kMaxStyleSheets = 16;

QUrl aboutBlank() {
    return QUrl(QStringLiteral("about:blank"));
}

bool isWebAddress(const QUrl& url) {
    return platform::isWebAddress(url.toString(QUrl::FullyEncoded).toStdString());
}

// Only a page that is itself local may use local files: a page from a server must not make the
// program read whatever file it names. They are read on the Qt thread: regular files alone,
// never a FIFO or a device that would hold it.
bool mayFetch(const QUrl& url, bool pageIsLocal) {
    return isWebAddress(url) || (pageIsLocal && url.isLocalFile() &&
                                 platform::isRegularFile(url.toLocalFile().toStdString()));
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

}  // namespace

WebView::WebView(QWidget* parent, int noAnswerTimeoutMs)
    : QTextBrowser(parent),
      pages_(*this, FetchLimits{noAnswerTimeoutMs, kPageTransferLimitMs, kMaxShownPageBytes},
             [this](FetchedPage fetched) { pageFetched(std::move(fetched)); }),
      events_(*this, *this) {
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
    pages_.abandon();
    for (QNetworkReply* reply : std::exchange(styleSheetReplies_, {}))
        discardReply(reply, this);
    arriving_.reset();
    styleSheetsLeft_ = 0;
}

void WebView::navigate(const std::string& address) {
    abandonCurrent();
    events_.startNavigation();
    pages_.open(address);
}

void WebView::navigate2(const std::string& filePath) {
    abandonCurrent();
    events_.startNavigation();
    pages_.openFile(filePath);
}

void WebView::pageFetched(FetchedPage fetched) {
    Page page;
    page.reportedUrl = std::move(fetched.reportedUrl);
    if (fetched.failure) {
        page.url = aboutBlank();
        page.html = errorPage_;
        std::string url = page.reportedUrl;
        events_.failLater(std::move(url), *fetched.failure,
                          [this, page = std::move(page)] { display(page); });
        return;
    }
    // After redirects: the page's relative addresses count from where it really came from.
    page.url = fetched.url;
    switch (fetched.kind) {
        case FetchedPage::Kind::Markup:
            page.html = QString::fromUtf8(fetched.bytes);
            break;
        case FetchedPage::Kind::Html:
            page.html = decodeHtml(fetched.bytes);
            break;
        case FetchedPage::Kind::PlainText:
            page.kind = PageKind::PlainText;
            page.bytes = std::move(fetched.bytes);
            break;
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
    std::string url = page.reportedUrl;
    events_.completeLater(std::move(url), [this, page = std::move(page)] { display(page); });
}

void WebView::display(const Page& page) {
    const QString oldTitle = title_;
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
        bodyText_ = platform::withCrLfLineBreaks(
            std::string_view(page.bytes.constData(), page.bytes.size()));
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
    if (title_ != oldTitle)
        emit titleChanged(title_);
}

QNetworkReply* WebView::fetchPart(const QUrl& url) {
    QNetworkReply* reply = pages_.get(url);
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxPartBytes)
            reply->abort();
    });
    return reply;
}

void WebView::requestImage(const QUrl& url) {
    // Local images of a local page are read by the document as the layout needs them.
    if (!url.isValid() || !isWebAddress(url) || requestedImages_.contains(url))
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
        discardReply(reply, this);
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
        if (name.isLocalFile()) {
            if (mayFetch(name, pageIsLocal_)) {
                const QVariant local = QTextBrowser::loadResource(type, name);
                if (local.isValid())
                    return local;
            }
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

}  // namespace qova::web
