#include "web/network_browser.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <string_view>
#include <utility>

#include "platform/markup_reader.h"
#include "platform/text.h"

namespace qova::web {
namespace {

// Below this a page's text is made at once: a thread would cost more than it saves.
constexpr qsizetype kTextOnWorkerFrom = 256 * 1024;

}  // namespace

NetworkBrowser::NetworkBrowser(QObject* parent, int noAnswerTimeoutMs, int transferLimitMs)
    : QObject(parent),
      pages_(*this, FetchLimits{noAnswerTimeoutMs, transferLimitMs, kMaxDownloadBytes},
             [this](FetchedPage page) { pageArrived(std::move(page)); }),
      events_(*this, *this) {}

NetworkBrowser::~NetworkBrowser() = default;

void NetworkBrowser::navigate(const std::string& address) {
    ++navigation_;
    events_.startNavigation();
    pages_.open(address);
}

void NetworkBrowser::navigate2(const std::string& filePath) {
    ++navigation_;
    events_.startNavigation();
    pages_.openFile(filePath);
}

NetworkBrowser::Text NetworkBrowser::textOf(QByteArray bytes, FetchedPage::Kind kind,
                                            const TextTransform& transform) {
    // The bytes go as soon as they are read, so that a large page is never held three times
    // over.
    Text text;
    if (kind == FetchedPage::Kind::PlainText) {
        text.body = platform::withCrLfLineBreaks(std::string_view(bytes.constData(), bytes.size()));
        bytes = QByteArray();
    } else {
        // Read in one pass, building no document: what a page costs stays near its size,
        // however many elements it holds.
        std::string markup = kind == FetchedPage::Kind::Markup
                                 ? std::string(bytes.constData(), bytes.size())
                                 : utf8Markup(bytes);
        bytes = QByteArray();
        platform::PageText page = platform::pageText(markup);
        std::string().swap(markup);
        text.body = std::move(page.body);
        text.title = std::move(page.title);
    }
    if (transform)
        text.found = transform(text.body);
    return text;
}

void NetworkBrowser::pageArrived(FetchedPage page) {
    if (page.failure) {
        events_.failLater(std::move(page.reportedUrl), *page.failure, [this] {
            Text text = textOf(QByteArray(qt::kCannotDisplayPage), FetchedPage::Kind::Html, {});
            bodyText_ = std::move(text.body);
            title_ = std::move(text.title);
            textFound_ = text.found;
        });
        return;
    }
    if (page.bytes.size() < kTextOnWorkerFrom) {
        complete(std::move(page.reportedUrl), textOf(page.bytes, page.kind, transform_));
        return;
    }
    // The watcher goes with this object; a worker still running then finishes unheard.
    auto* watcher = new QFutureWatcher<Text>(this);
    connect(watcher, &QFutureWatcher<Text>::finished, this,
            [this, watcher, navigation = navigation_, url = std::move(page.reportedUrl)]() mutable {
                watcher->deleteLater();
                if (navigation == navigation_)
                    complete(std::move(url), watcher->result());
            });
    watcher->setFuture(
        QtConcurrent::run(&NetworkBrowser::textOf, std::move(page.bytes), page.kind, transform_));
}

void NetworkBrowser::complete(std::string url, Text text) {
    events_.completeLater(std::move(url), [this, text = std::move(text)]() mutable {
        bodyText_ = std::move(text.body);
        title_ = std::move(text.title);
        textFound_ = text.found;
    });
}

}  // namespace qova::web
