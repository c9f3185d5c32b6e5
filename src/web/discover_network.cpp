#include "web/discover_network.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <utility>

#include "discover/sources.h"
#include "platform/qt_strings.h"
#include "platform/web_browser.h"
#include "web/page_loading.h"

namespace qova::web {
namespace {

bool isWebScheme(const QUrl& url) {
    return url.scheme() == u"http" || url.scheme() == u"https";
}

std::string tooLarge(std::size_t maxBytes) {
    return "The answer is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MiB.";
}

}  // namespace

NetworkGetter::NetworkGetter(QObject* parent, int noAnswerTimeoutMs, int transferMs)
    : QObject(parent),
      network_(new QNetworkAccessManager(this)),
      noAnswerMs_(noAnswerTimeoutMs),
      transferMs_(transferMs) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

NetworkGetter::~NetworkGetter() {
    for (auto& [id, get] : gets_) {
        if (get.reply != nullptr)
            discardReply(get.reply, this);
    }
}

std::uint64_t NetworkGetter::get(const std::string& url, std::size_t maxBytes,
                                 std::function<void(discover::HttpAnswer)> done) {
    const std::uint64_t id = ++lastId_;
    Get& get = gets_[id];
    get.maxBytes = maxBytes;
    get.done = std::move(done);
    const QUrl address(platform::toQString(url));
    if (!address.isValid() || !isWebScheme(address) || address.host().isEmpty()) {
        // Heard later all the same, as every answer is.
        QTimer::singleShot(0, this, [this, id] {
            answer(id, {0, {}, "The address is no web address."});
        });
        return id;
    }
    QNetworkRequest request = pageRequest(address, noAnswerMs_);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QString::fromStdString(discover::UserAgent()));
    QNetworkReply* reply = network_->get(request);
    get.reply = reply;
    get.limit = new QTimer(this);
    get.limit->setSingleShot(true);
    connect(get.limit, &QTimer::timeout, this, [this, id] {
        answer(id, {0, {}, "The server took too long."});
    });
    get.limit->start(transferMs_);
    connect(reply, &QNetworkReply::finished, this, [this, id] { finished(id); });
    // Read no further than any answer of the sources goes, so that memory stays bounded.
    connect(reply, &QNetworkReply::readyRead, this, [this, id, reply, maxBytes] {
        if (reply->bytesAvailable() > static_cast<qint64>(maxBytes))
            answer(id, {0, {}, tooLarge(maxBytes)});
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, id, reply] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 200 && status < 300 &&
            isStreamAnswer(reply->rawHeader("Content-Type"), reply->rawHeaderList()))
            answer(id, {0, {}, "The address gives a stream, not a list."});
    });
    return id;
}

void NetworkGetter::cancel(std::uint64_t request) {
    const auto found = gets_.find(request);
    if (found == gets_.end())
        return;
    if (found->second.reply != nullptr)
        discardReply(found->second.reply, this);
    delete found->second.limit;
    gets_.erase(found);
    letConnectionsGo();
}

void NetworkGetter::letConnectionsGo() {
    // The sources are asked now and then, not all the time: no connection is kept open for a
    // next request that may never come. Once the replies let go, after this call.
    if (gets_.empty()) {
        QTimer::singleShot(0, this, [this] {
            if (gets_.empty())
                network_->clearConnectionCache();
        });
    }
}

void NetworkGetter::finished(std::uint64_t id) {
    const auto found = gets_.find(id);
    if (found == gets_.end() || found->second.reply == nullptr)
        return;
    QNetworkReply& reply = *found->second.reply;
    QByteArray body = readBody(reply);
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const std::optional<std::int32_t> failure = replyFailure(reply, body.size());
    if (!isWebScheme(reply.url())) {
        answer(id, {0, {}, "The server sent the request elsewhere than the web."});
    } else if (status.isValid() && status.toInt() >= 400) {
        answer(id, {status.toInt(), {}, {}});
    } else if (failure == platform::WebBrowser::kStatusResourceNotFound) {
        answer(id, {0, {}, "The server cannot be reached."});
    } else if (failure) {
        answer(id, {0, {}, "The transfer broke off."});
    } else if (static_cast<std::size_t>(body.size()) > found->second.maxBytes) {
        answer(id, {0, {}, tooLarge(found->second.maxBytes)});
    } else {
        answer(id, {status.isValid() ? status.toInt() : 200, body.toStdString(), {}});
    }
}

void NetworkGetter::answer(std::uint64_t id, discover::HttpAnswer answer) {
    const auto found = gets_.find(id);
    if (found == gets_.end())
        return;
    Get get = std::move(found->second);
    gets_.erase(found);
    if (get.reply != nullptr)
        discardReply(get.reply, this);
    delete get.limit;
    letConnectionsGo();
    if (get.done)
        get.done(std::move(answer));
}

HostResolver::HostResolver(QObject* parent, int timeoutMs)
    : QObject(parent), timeoutMs_(timeoutMs) {}

HostResolver::~HostResolver() {
    for (const auto& [id, lookup] : lookups_)
        QHostInfo::abortHostLookup(id);
}

void HostResolver::addressesOf(const std::string& host,
                               std::function<void(std::vector<std::string>)> done) {
    lookUp(platform::toQString(host),
           [done = std::move(done)](std::vector<std::string> addresses, std::string) {
               done(std::move(addresses));
           });
}

void HostResolver::nameOf(const std::string& address, std::function<void(std::string)> done) {
    // Only an address is looked up backwards; anything else names nothing.
    if (QHostAddress(platform::toQString(address)).isNull()) {
        QTimer::singleShot(0, this, [done = std::move(done)] { done({}); });
        return;
    }
    lookUp(platform::toQString(address),
           [done = std::move(done)](std::vector<std::string>, std::string name) {
               done(std::move(name));
           });
}

void HostResolver::lookUp(const QString& name,
                          std::function<void(std::vector<std::string>, std::string)> done) {
    auto* limit = new QTimer(this);
    limit->setSingleShot(true);
    const int id = QHostInfo::lookupHost(name, this, [this, name](const QHostInfo& info) {
        std::vector<std::string> addresses;
        std::string host;
        if (info.error() == QHostInfo::NoError) {
            for (const QHostAddress& each : info.addresses())
                addresses.push_back(platform::toStdString(each.toString()));
            // A reverse lookup that found no name gives the address back.
            if (info.hostName() != name)
                host = platform::toStdString(info.hostName());
        }
        settle(info.lookupId(), std::move(addresses), std::move(host));
    });
    lookups_[id] = {std::move(done), limit};
    connect(limit, &QTimer::timeout, this, [this, id] {
        QHostInfo::abortHostLookup(id);
        settle(id, {}, {});
    });
    limit->start(timeoutMs_);
}

void HostResolver::settle(int id, std::vector<std::string> addresses, std::string name) {
    const auto found = lookups_.find(id);
    if (found == lookups_.end())
        return;
    Lookup lookup = std::move(found->second);
    lookups_.erase(found);
    lookup.limit->deleteLater();
    lookup.done(std::move(addresses), std::move(name));
}

}  // namespace qova::web
