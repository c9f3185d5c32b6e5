#include "web/network_list_fetcher.h"

#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "platform/qt_strings.h"
#include "platform/web_browser.h"

namespace qova::web {
NetworkListFetcher::NetworkListFetcher(QObject* parent, int noAnswerTimeoutMs, int transferLimitMs)
    : QObject(parent), limits_{noAnswerTimeoutMs, transferLimitMs, kMaxDownloadBytes} {
    // A list converted holds its text, its lines and more; two at once would double that.
    conversions_.setMaxThreadCount(1);
}

NetworkListFetcher::~NetworkListFetcher() {
    // The pages go first; conversions still running then finish unheard.
    fetches_.clear();
    retired_.clear();
    conversions_.clear();
    conversions_.waitForDone();
}

std::string NetworkListFetcher::failureText(const FetchedPage& page, int transferLimitMs) {
    using GivenUp = FetchedPage::GivenUp;
    switch (page.givenUp) {
        case GivenUp::Stream:
            return "The address gives a stream, not a list.";
        case GivenUp::TooLarge:
            return "The list is larger than " + std::to_string(kMaxDownloadBytes / (1024 * 1024)) +
                   " MiB.";
        case GivenUp::TooLong: {
            const int minutes = std::max(1, transferLimitMs / 60000);
            return "The transfer took longer than " + std::to_string(minutes) +
                   (minutes == 1 ? " minute." : " minutes.");
        }
        case GivenUp::No:
            break;
    }
    switch (page.failure.value_or(0)) {
        case 404:
            return "Not found.";
        case platform::WebBrowser::kStatusResourceNotFound:
            return "The address cannot be reached.";
        case platform::WebBrowser::kStatusDownloadFailure:
            return "The transfer broke off.";
        default:
            return "The server answered " + std::to_string(page.failure.value_or(0)) + ".";
    }
}

void NetworkListFetcher::fetch(const std::string& address, Convert convert,
                               std::function<void(Outcome)> done) {
    cancel(address);
    const quint64 id = ++lastId_;
    Fetch& fetch = fetches_[address];
    fetch.id = id;
    fetch.pages = std::make_unique<PageFetcher>(
        *this, limits_,
        [this, address, id](FetchedPage page) { arrived(address, id, std::move(page)); });
    fetch.convert = std::move(convert);
    fetch.done = std::move(done);
    // Some addresses fail before open returns; the caller hears of it later all the same.
    QTimer::singleShot(0, this, [this, address, id] {
        if (Fetch* under = find(address, id))
            under->pages->open(address);
    });
}

void NetworkListFetcher::cancel(const std::string& address) {
    const auto found = fetches_.find(address);
    if (found == fetches_.end())
        return;
    found->second.pages->abandon();
    retire(std::move(found->second.pages));
    fetches_.erase(found);
}

NetworkListFetcher::Fetch* NetworkListFetcher::find(const std::string& address, quint64 id) {
    const auto found = fetches_.find(address);
    return found != fetches_.end() && found->second.id == id ? &found->second : nullptr;
}

void NetworkListFetcher::retire(std::unique_ptr<PageFetcher> pages) {
    if (!pages)
        return;
    if (retired_.empty())
        QTimer::singleShot(0, this, [this] { retired_.clear(); });
    retired_.push_back(std::move(pages));
}

void NetworkListFetcher::arrived(const std::string& address, quint64 id, FetchedPage page) {
    Fetch* fetch = find(address, id);
    if (fetch == nullptr)
        return;
    // Its page is in: its network connection is done with.
    retire(std::move(fetch->pages));
    if (page.failure) {
        finish(address, id, {{}, 0, failureText(page, limits_.transferMs), {}});
        return;
    }
    // The watcher goes with this object; a conversion still running then finishes unheard.
    auto* watcher = new QFutureWatcher<Converted>(this);
    connect(watcher, &QFutureWatcher<Converted>::finished, this, [this, watcher, address, id] {
        watcher->deleteLater();
        if (find(address, id) == nullptr)
            return;
        Converted converted = watcher->result();
        finish(address, id,
               {std::move(converted.lines), converted.channels, {}, platform::minuteNow()});
    });
    watcher->setFuture(QtConcurrent::run(&conversions_, [convert = fetch->convert,
                                                         bytes = std::move(page.bytes)] {
        return convert(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }));
}

void NetworkListFetcher::finish(const std::string& address, quint64 id, Outcome outcome) {
    Fetch* fetch = find(address, id);
    if (fetch == nullptr)
        return;
    auto done = std::move(fetch->done);
    retire(std::move(fetch->pages));
    fetches_.erase(address);
    if (done)
        done(std::move(outcome));
}

}  // namespace qova::web
