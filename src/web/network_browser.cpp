#include "web/network_browser.h"

#include <QTextDocument>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace qova::web {

NetworkBrowser::NetworkBrowser(QObject* parent, int noAnswerTimeoutMs)
    : QObject(parent),
      pages_(*this, noAnswerTimeoutMs, [this](FetchedPage page) { pageArrived(std::move(page)); }),
      events_(*this, *this) {}

NetworkBrowser::~NetworkBrowser() = default;

void NetworkBrowser::navigate(const std::string& address) {
    events_.startNavigation();
    pages_.open(address);
}

void NetworkBrowser::navigate2(const std::string& filePath) {
    events_.startNavigation();
    pages_.openFile(filePath);
}

void NetworkBrowser::pageArrived(FetchedPage page) {
    if (page.failure) {
        events_.failLater(std::move(page.reportedUrl), *page.failure, [this] {
            setPage(QByteArray(qt::kCannotDisplayPage), FetchedPage::Kind::Html);
        });
        return;
    }
    events_.completeLater(
        std::move(page.reportedUrl),
        [this, bytes = std::move(page.bytes), kind = page.kind] { setPage(bytes, kind); });
}

void NetworkBrowser::setPage(QByteArray bytes, FetchedPage::Kind kind) {
    page_ = std::move(bytes);
    pageKind_ = kind;
    bodyText_.reset();
    title_.reset();
}

const std::string& NetworkBrowser::bodyText() const {
    if (!bodyText_) {
        if (pageKind_ == FetchedPage::Kind::PlainText) {
            bodyText_ =
                platform::withCrLfLineBreaks(std::string_view(page_.constData(), page_.size()));
        } else {
            render();
        }
    }
    return *bodyText_;
}

std::string NetworkBrowser::title() const {
    if (!title_) {
        if (pageKind_ == FetchedPage::Kind::PlainText) {
            title_.emplace();
        } else {
            render();
        }
    }
    return *title_;
}

void NetworkBrowser::render() const {
    QTextDocument document;
    document.setHtml(withoutLinkTags(decodeHtml(page_)));
    bodyText_ = renderedText(document);
    title_ = document.metaInformation(QTextDocument::DocumentTitle).simplified().toStdString();
}

}  // namespace qova::web
