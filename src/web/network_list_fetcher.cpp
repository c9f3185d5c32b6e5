#include "web/network_list_fetcher.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/web_browser.h"

namespace qova::web {
namespace {

std::string now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString();
}

}  // namespace

NetworkListFetcher::NetworkListFetcher(QObject* parent, int noAnswerTimeoutMs)
    : QObject(parent),
      pages_(*this, noAnswerTimeoutMs, [this](FetchedPage page) { arrived(std::move(page)); }) {}

NetworkListFetcher::~NetworkListFetcher() = default;

std::string NetworkListFetcher::failureText(std::int32_t status) {
    switch (status) {
        case 404:
            return "Not found.";
        case platform::WebBrowser::kStatusResourceNotFound:
            return "The address cannot be reached.";
        case platform::WebBrowser::kStatusDownloadFailure:
            return "The transfer broke off, or the list is larger than " +
                   std::to_string(kMaxDownloadBytes / (1024 * 1024)) + " MiB.";
        default:
            return "The server answered " + std::to_string(status) + ".";
    }
}

void NetworkListFetcher::fetch(const std::string& address, Convert convert,
                               std::function<void(Outcome)> done) {
    ++fetch_;
    convert_ = std::move(convert);
    done_ = std::move(done);
    // Some addresses fail before open returns; the caller hears of it later all the same.
    QTimer::singleShot(0, this, [this, address, fetch = fetch_] {
        if (fetch == fetch_)
            pages_.open(address);
    });
}

void NetworkListFetcher::cancel() {
    ++fetch_;
    pages_.abandon();
    convert_ = nullptr;
    done_ = nullptr;
}

void NetworkListFetcher::arrived(FetchedPage page) {
    if (page.failure) {
        finish({{}, failureText(*page.failure), {}});
        return;
    }
    // The watcher goes with this object; a conversion still running then finishes unheard.
    auto* watcher = new QFutureWatcher<std::string>(this);
    connect(watcher, &QFutureWatcher<std::string>::finished, this, [this, watcher, fetch = fetch_] {
        watcher->deleteLater();
        if (fetch == fetch_)
            finish({watcher->result(), {}, now()});
    });
    watcher->setFuture(QtConcurrent::run([convert = convert_, bytes = std::move(page.bytes)] {
        return convert(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }));
}

void NetworkListFetcher::finish(Outcome outcome) {
    auto done = std::move(done_);
    done_ = nullptr;
    convert_ = nullptr;
    if (done)
        done(std::move(outcome));
}

}  // namespace qova::web
