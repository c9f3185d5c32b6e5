#include "web/guide_download.h"

#include <unistd.h>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include "platform/address_policy.h"
#include "platform/posix_text_files.h"
#include "web/page_loading.h"

namespace qova::web {

GuideDownload::GuideDownload(QObject* parent, int noAnswerTimeoutMs, int transferLimitMs,
                             std::int64_t maxBytes)
    : QObject(parent),
      network_(new QNetworkAccessManager(this)),
      noAnswerMs_(noAnswerTimeoutMs),
      maxBytes_(maxBytes) {
    limit_.setSingleShot(true);
    limit_.setInterval(transferLimitMs);
    connect(&limit_, &QTimer::timeout, this, [this] {
        finish({Result::Kind::Failed, {}, {}, {}, "The transfer took too long."});
    });
}

GuideDownload::~GuideDownload() {
    done_ = nullptr;
    finish({});
}

void GuideDownload::start(const std::string& address, const std::string& copy,
                          const std::string& etag, const std::string& lastModified,
                          std::function<void(Result)> done) {
    done_ = std::move(done);
    if (!platform::isWebAddress(address)) {
        QTimer::singleShot(0, this, [this] {
            finish({Result::Kind::Failed, {}, {}, {}, "The address is not on the web."});
        });
        return;
    }
    fd_ = platform::createTemporaryBeside(copy, temp_);
    if (fd_ < 0) {
        QTimer::singleShot(0, this, [this] {
            finish(
                {Result::Kind::Failed, {}, {}, {}, "The guide cannot be kept beside the program."});
        });
        return;
    }
    QNetworkRequest request = pageRequest(QUrl(QString::fromStdString(address)), noAnswerMs_);
    if (!etag.empty())
        request.setRawHeader("If-None-Match", QByteArray::fromStdString(etag));
    if (!lastModified.empty())
        request.setRawHeader("If-Modified-Since", QByteArray::fromStdString(lastModified));
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, &GuideDownload::received);
    connect(reply_, &QNetworkReply::finished, this, [this] {
        received();
        if (reply_ == nullptr)
            return;
        QNetworkReply& reply = *reply_;
        const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        Result result;
        if (status == 304) {
            result.kind = Result::Kind::NotModified;
        } else if (const auto failure = replyFailure(reply, written_)) {
            result.error = *failure == 404 ? "Not found."
                           : *failure >= 400 && *failure < 600
                               ? "The server answered " + std::to_string(*failure) + "."
                               : std::string("The guide cannot be fetched.");
        } else {
            result.kind = Result::Kind::Fetched;
            result.file = temp_;
            result.etag = reply.rawHeader("ETag").left(512).toStdString();
            result.lastModified = reply.rawHeader("Last-Modified").left(128).toStdString();
        }
        finish(std::move(result));
    });
    limit_.start();
}

void GuideDownload::received() {
    if (reply_ == nullptr)
        return;
    const QByteArray piece = reply_->readAll();
    written_ += piece.size();
    if (written_ > maxBytes_) {
        finish({Result::Kind::Failed, {}, {}, {}, "The guide is larger than 2 GiB."});
        return;
    }
    if (!platform::writeAll(
            fd_, std::string_view(piece.constData(), static_cast<std::size_t>(piece.size()))))
        finish({Result::Kind::Failed, {}, {}, {}, "The guide cannot be kept beside the program."});
}

void GuideDownload::finish(Result result) {
    limit_.stop();
    if (reply_ != nullptr) {
        QNetworkReply* reply = reply_;
        reply_ = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // The new file stays only for the caller to take; anything else of it goes now.
    if (result.kind != Result::Kind::Fetched && !temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    if (auto done = std::move(done_)) {
        done_ = nullptr;
        done(std::move(result));
    }
}

}  // namespace qova::web
