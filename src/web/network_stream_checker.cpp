#include "web/network_stream_checker.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <cctype>

#include "platform/address_policy.h"
#include "platform/qt_strings.h"
#include "platform/stream_address.h"
#include "platform/text.h"
#include "web/stream_answers.h"

namespace qova::web {
namespace {

using Verdict = platform::StreamChecker::Verdict;

// What is read of an answer at most: a playlist is short, and of a stream a few bytes tell.
constexpr qint64 kMaxPlaylistBytes = 1024 * 1024;

std::string answeredText(int status) {
    return "The server answered " + std::to_string(status) + ".";
}

std::string networkFailure(QNetworkReply& reply) {
    switch (reply.error()) {
        case QNetworkReply::ConnectionRefusedError:
            return "The connection was refused.";
        case QNetworkReply::HostNotFoundError:
            return "The server was not found.";
        case QNetworkReply::RemoteHostClosedError:
            return "The server closed the connection without an answer.";
        case QNetworkReply::SslHandshakeFailedError:
            return "The secure connection failed.";
        case QNetworkReply::ProtocolFailure:
        case QNetworkReply::ProtocolUnknownError:
            return "The answer was not understood.";
        default:
            break;
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400)
        return answeredText(status);
    return reply.errorString().toStdString();
}

// Redirects followed at most, as many as the player's engine follows.
constexpr int kMaxRedirects = 8;

std::string addressOf(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded).toStdString();
}

// The player's refusal as the reason of a check: a sentence of its own.
std::string sentence(std::string words) {
    if (!words.empty())
        words.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(words.front())));
    return words + ".";
}

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

/// One check: the answer of each step, until the verdict or the time limit.
class NetworkStreamChecker::Probe : public QObject {
  public:
    Probe(NetworkStreamChecker& owner, std::function<void(Result)> done)
        : QObject(&owner), owner_(owner), done_(std::move(done)) {
        owner_.probes_.insert(this);
        limit_.setSingleShot(true);
        connect(&limit_, &QTimer::timeout, this, [this] {
            if (const int status = httpStatus(); status >= 400) {
                finish(Verdict::Fails, answeredText(status));
                return;
            }
            const int seconds = (owner_.timeLimitMs_ + 999) / 1000;
            finish(Verdict::Fails, "No answer within " + std::to_string(seconds) +
                                       (seconds == 1 ? " second." : " seconds."));
        });
        limit_.start(owner_.timeLimitMs_);
    }

    void start(const std::string& playerAddress, bool localFileAllowed) {
        const platform::StreamAddress split = platform::splitHeaders(playerAddress);
        headers_ = split.headers;
        const std::string& address = split.address;
        // What the player would not open is not opened here either: a list from elsewhere
        // learns nothing of the files of this computer, nor reaches another scheme.
        if (const auto refused = platform::refusedStreamAddress(address, localFileAllowed)) {
            later(Verdict::Fails, sentence(*refused));
            return;
        }
        if (platform::isLocalAddress(address)) {
            local(platform::localFilePath(address));
            return;
        }
        const QUrl url(QString::fromStdString(address));
        // The headers of the channel's line are for its own host alone.
        headersFor_ = addressOf(url);
        if (platform::isWebAddress(address) && url.isValid() && !url.host().isEmpty()) {
            get(url);
        } else if (url.scheme().toLower() == u"rtsp" && !url.host().isEmpty()) {
            describe(url);
        } else {
            later(Verdict::Unknown, {});
        }
    }

    ~Probe() override { owner_.probes_.erase(this); }

    /// Ends the check unheard; safe from within any callback, this probe's own included.
    void abandon() {
        done_ = nullptr;
        stopAll();
        deleteLater();
    }

  private:
    void stopAll() {
        limit_.stop();
        if (reply_) {
            reply_->disconnect(this);
            reply_->abort();
            reply_ = nullptr;
        }
        if (socket_) {
            socket_->disconnect(this);
            socket_->abort();
        }
    }

    // Looked at, never opened: a FIFO or a device would hold the Qt thread.
    void local(const std::string& path) {
        const QFileInfo file(QString::fromStdString(path));
        if (path.empty()) {
            // A relative path counts from the player's page, which plays it; "-" is no file.
            later(Verdict::Unknown, {});
        } else if (platform::isRegularFile(path)) {
            later(file.isReadable() ? Verdict::Answers : Verdict::Fails,
                  "The file cannot be read.");
        } else if (file.exists() && !file.isDir()) {
            later(Verdict::Unknown, {});
        } else {
            later(Verdict::Fails, "The file is not there.");
        }
    }

    void later(Verdict verdict, std::string reason) {
        QTimer::singleShot(
            0, this, [this, verdict, reason = std::move(reason)] { finish(verdict, reason); });
    }

    void get(const QUrl& url) {
        QNetworkRequest request(url);
        // Followed by hand, so that the channel's headers never go on to another host.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        request.setRawHeader("User-Agent", QByteArray::fromStdString(owner_.userAgent_));
        request.setRawHeader("Icy-MetaData", "0");
        // A server's connections would otherwise wait, idle, in the manager's cache for two
        // minutes after the check: those the server keeps for a next request, and those Qt
        // opened ahead for a request given up before it went out. A check of many channels
        // would leave some open for every server; kept for no time, they close as soon as the
        // last check of their server ends.
        request.setAttribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute, 0);
        if (platform::sameHost(headersFor_, addressOf(url))) {
            for (const auto& [name, value] : headers_)
                request.setRawHeader(QByteArray::fromStdString(name),
                                     QByteArray::fromStdString(value));
        }
        bytes_.clear();
        reply_ = owner_.network_->get(request);
        reply_->setParent(this);
        // What is not read (the body of an error answer) is held no further than this.
        reply_->setReadBufferSize(kMaxPlaylistBytes);
        connect(reply_, &QNetworkReply::readyRead, this, [this] { read(); });
        connect(reply_, &QNetworkReply::finished, this, [this] { answered(); });
    }

    int httpStatus() const {
        return reply_ ? reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    }

    bool redirected() const {
        const int status = httpStatus();
        return status >= 300 && status < 400 &&
               reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid();
    }

    void read() {
        // An error answer is heard out to its end (or the time limit): Qt reports its status
        // as an error of its own once the body is in, and a reply given up while that report is
        // on its way would hear it after its cancellation. A redirect's body says nothing.
        if (httpStatus() >= 400 || redirected())
            return;
        bytes_ += reply_->read(kMaxPlaylistBytes - bytes_.size());
        if (bytes_.isEmpty())
            return;
        if (step_ == Step::Segment) {
            finish(Verdict::Answers, {});
            return;
        }
        const QByteArray type = reply_->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        if (isPlaylistAnswer(reply_->url().path().toStdString(), view(type), view(bytes_))) {
            if (bytes_.size() >= kMaxPlaylistBytes)
                finish(Verdict::Fails, "The playlist is too large.");
            return;  // read whole, when it has all come
        }
        if (type.toLower().startsWith("text/html"))
            finish(Verdict::Fails, "The address gives a web page, not a stream.");
        else
            finish(Verdict::Answers, {});
    }

    void answered() {
        if (!reply_)
            return;
        if (reply_->error() != QNetworkReply::NoError) {
            finish(Verdict::Fails, networkFailure(*reply_));
            return;
        }
        if (redirected()) {
            follow();
            return;
        }
        read();
        if (!reply_)
            return;
        if (bytes_.isEmpty()) {
            finish(Verdict::Fails, "The stream sent nothing.");
            return;
        }
        const std::optional<PlaylistEntry> entry = firstPlaylistEntry(view(bytes_));
        // Relative addresses count from the playlist's own. Only the web is followed: a
        // playlist from a server must not make the check read a file here or another scheme.
        const QUrl next = entry ? reply_->url().resolved(QUrl(QString::fromUtf8(
                                      entry->address.data(), std::ssize(entry->address))))
                                : QUrl();
        if (!next.isValid() ||
            !platform::mayFollow(addressOf(reply_->url()), addressOf(next), false) ||
            ++steps_ > 3) {
            finish(Verdict::Fails, "The playlist names no stream.");
            return;
        }
        step_ = entry->variant ? Step::Playlist : Step::Segment;
        reply_->deleteLater();
        reply_ = nullptr;
        get(next);
    }

    void follow() {
        const QUrl next = reply_->url().resolved(
            reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
        if (++redirects_ > kMaxRedirects) {
            finish(Verdict::Fails, "The server redirects too many times.");
            return;
        }
        if (!next.isValid() ||
            !platform::mayFollow(addressOf(reply_->url()), addressOf(next), true)) {
            finish(Verdict::Fails, "The server redirects to an address that is not followed.");
            return;
        }
        reply_->deleteLater();
        reply_ = nullptr;
        get(next);
    }

    void describe(const QUrl& url) {
        socket_ = new QTcpSocket(this);
        connect(socket_, &QTcpSocket::connected, this, [this, url] {
            const QByteArray target = url.toEncoded(QUrl::RemoveFragment);
            socket_->write("DESCRIBE " + target +
                           " RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\nUser-Agent: " +
                           QByteArray::fromStdString(owner_.userAgent_) + "\r\n\r\n");
        });
        connect(socket_, &QTcpSocket::readyRead, this, [this] {
            bytes_ += socket_->read(static_cast<qint64>(kMaxRtspStatusLine) - bytes_.size());
            const std::optional<RtspStatus> status = rtspStatus(view(bytes_));
            if (!status)
                return;
            if (!status->understood)
                finish(Verdict::Fails, "The answer was not understood.");
            else if (status->code == "200")
                finish(Verdict::Answers, {});
            else
                finish(Verdict::Fails, "The server answered " + status->code + ".");
        });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
            finish(Verdict::Fails, socket_->error() == QAbstractSocket::ConnectionRefusedError
                                       ? std::string("The connection was refused.")
                                       : socket_->errorString().toStdString());
        });
        socket_->connectToHost(url.host(), static_cast<quint16>(url.port(554)));
    }

    void finish(Verdict verdict, std::string reason) {
        if (!done_)
            return;
        stopAll();
        auto done = std::exchange(done_, nullptr);
        deleteLater();
        done(Result{verdict, verdict == Verdict::Fails ? std::move(reason) : std::string(),
                    platform::minuteNow()});
    }

    enum class Step { Stream, Playlist, Segment };

    NetworkStreamChecker& owner_;
    std::function<void(Result)> done_;
    std::vector<platform::HttpHeader> headers_;
    // The address whose host the headers are for.
    std::string headersFor_;
    QTimer limit_;
    QPointer<QNetworkReply> reply_;
    QPointer<QTcpSocket> socket_;
    QByteArray bytes_;
    Step step_ = Step::Stream;
    int steps_ = 0;
    int redirects_ = 0;
};

NetworkStreamChecker::NetworkStreamChecker(QObject* parent, std::string userAgent, int timeLimitMs)
    : QObject(parent),
      network_(new QNetworkAccessManager(this)),
      userAgent_(std::move(userAgent)),
      timeLimitMs_(timeLimitMs) {}

NetworkStreamChecker::~NetworkStreamChecker() {
    // The probes go before the network manager their replies belong to.
    while (!probes_.empty())
        delete *probes_.begin();
}

void NetworkStreamChecker::check(const std::string& address, bool localFileAllowed,
                                 std::function<void(Result)> done) {
    auto* probe = new Probe(*this, std::move(done));
    probe->start(address, localFileAllowed);
}

void NetworkStreamChecker::cancelAll() {
    // Copied: a probe abandoned goes later, but goes all the same.
    const std::set<Probe*> probes = probes_;
    for (Probe* probe : probes)
        probe->abandon();
}

}  // namespace qova::web
