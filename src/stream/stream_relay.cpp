#include "stream/stream_relay.h"

#include <QByteArray>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "stream/icy_reader.h"
#include "stream/station_answer.h"
#include "stream/station_target.h"

namespace qova::stream {
namespace {

// What of a head is read at most: a longer one is passed on but not read.
constexpr qsizetype kHeadLimit = 16 * 1024;
// How much the engine may leave unread before the station is made to wait.
constexpr qint64 kClientBacklog = 512 * 1024;
constexpr qint64 kUpstreamBuffer = 256 * 1024;
// A server that neither answers nor refuses is left to the engine, which waits its own time.
constexpr int kConnectLimitMs = 10000;

// The engine's request with the station's Host in place of the relay's.
QByteArray withHost(const QByteArray& head, const QByteArray& authority) {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.size() >= 5 && line.left(5).toLower() == "host:")
            line = "Host: " + authority + "\r";
    }
    return lines.join('\n');
}

// A connection to the station (see connectToStation).
QSslSocket* newUpstream(QObject* parent) {
    auto* socket = new QSslSocket(parent);
    socket->setReadBufferSize(kUpstreamBuffer);
    return socket;
}

}  // namespace

/// The relay's sockets and tape, on the relay's thread.
class RelayWorker : public QObject {
  public:
    struct Pipe {
        QPointer<QTcpSocket> client;
        QPointer<QTcpSocket> upstream;
        QByteArray request;
        // The station was asked before the engine came: the engine's first head is not sent.
        bool asked = false;
        // Whether the station's answer on this pipe is read for the tape; its head so far.
        bool tapping = false;
        bool headRead = false;
        QByteArray head;
        std::optional<IcyReader> reader;
    };

    void listen() {
        server_ = new QTcpServer(this);
        server_->listen(QHostAddress::LocalHost, 0);
        connect(server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    void route(const std::string& address, bool newChannel, bool ask,
               const std::vector<std::pair<std::string, std::string>>& headers,
               const std::function<void(const std::string&)>& then) {
        closeAll();
        if (newChannel) {
            const std::vector<AudioSink*> sinks = tape_.sinks();
            tape_ = StreamTape();
            for (AudioSink* sink : sinks)
                tape_.addSink(sink);
            answer_ = {};
        }
        const auto target = stationTarget(address);
        if (!target || !server_->isListening()) {
            then(address);
            return;
        }
        target_ = *target;
        const std::string relayed = "http://127.0.0.1:" + std::to_string(server_->serverPort()) +
                                    target_.pathAndQuery.toStdString();
        QSslSocket* upstream = newUpstream(this);
        waiting_ = upstream;
        auto decided = std::make_shared<bool>(false);
        auto decide = [this, decided, then, upstream, relayed, address](bool connected) {
            if (std::exchange(*decided, true))
                return;
            if (!connected && waiting_ == upstream) {
                waiting_ = nullptr;
                upstream->disconnect(this);
                upstream->deleteLater();
            }
            then(connected ? relayed : address);
        };
        whenStationReady(upstream, target_.tls, this, [decide] { decide(true); });
        connect(upstream, &QTcpSocket::errorOccurred, this, [decide] { decide(false); });
        QTimer::singleShot(kConnectLimitMs, upstream, [decide] { decide(false); });
        if (ask) {
            prepared_ = true;
            held_.clear();
            QByteArray request =
                "GET " + target_.pathAndQuery + " HTTP/1.1\r\nHost: " + target_.authority + "\r\n";
            for (const auto& [name, value] : headers)
                request += QByteArray::fromStdString(name + ": " + value + "\r\n");
            request += "Icy-MetaData: 1\r\nConnection: close\r\n\r\n";
            whenStationReady(upstream, target_.tls, this,
                             [upstream, request] { upstream->write(request); });
            connect(upstream, &QTcpSocket::readyRead, this, [this, upstream] { hold(upstream); });
        }
        connectToStation(upstream, target_);
    }

    void closeAll() {
        for (auto& [id, pipe] : pipes_)
            release(pipe);
        pipes_.clear();
        if (waiting_) {
            waiting_->disconnect(this);
            waiting_->deleteLater();
        }
        waiting_ = nullptr;
        prepared_ = false;
        held_.clear();
        tapNext_ = true;
    }

    StreamTape tape_;
    StationAnswer answer_;

  private:
    void release(Pipe& pipe) {
        for (QTcpSocket* socket : {pipe.client.data(), pipe.upstream.data()}) {
            if (socket) {
                socket->disconnect(this);
                socket->abort();
                socket->deleteLater();
            }
        }
    }

    void hold(QTcpSocket* upstream) {
        if (upstream != waiting_)
            return;
        const qint64 room = static_cast<qint64>(StreamRelay::kHeldLimit) - held_.size();
        if (room > 0)
            held_ += upstream->read(room);
    }

    void accept() {
        while (QTcpSocket* client = server_->nextPendingConnection()) {
            client->setParent(this);
            const int id = ++lastId_;
            Pipe& pipe = pipes_[id];
            pipe.client = client;
            if (waiting_) {
                pipe.upstream = std::exchange(waiting_, nullptr);
                pipe.upstream->disconnect(this);
                pipe.asked = std::exchange(prepared_, false);
            } else {
                // Written before a TLS handshake ends, the request waits for it.
                QSslSocket* upstream = newUpstream(this);
                connectToStation(upstream, target_);
                pipe.upstream = upstream;
            }
            pipe.tapping = std::exchange(tapNext_, false);
            connect(client, &QTcpSocket::readyRead, this, [this, id] { fromClient(id); });
            connect(client, &QTcpSocket::bytesWritten, this, [this, id] { fromUpstream(id); });
            connect(client, &QTcpSocket::disconnected, this, [this, id] { drop(id); });
            connect(pipe.upstream, &QTcpSocket::readyRead, this, [this, id] { fromUpstream(id); });
            connect(pipe.upstream, &QTcpSocket::disconnected, this,
                    [this, id] { fromUpstream(id); });
            connect(pipe.upstream, &QTcpSocket::errorOccurred, this,
                    [this, id] { fromUpstream(id); });
            if (pipe.asked)
                forward(pipe, std::exchange(held_, QByteArray()));
            fromUpstream(id);
            fromClient(id);
        }
    }

    Pipe* find(int id) {
        const auto it = pipes_.find(id);
        return it == pipes_.end() || !it->second.client || !it->second.upstream ? nullptr
                                                                                : &it->second;
    }

    void fromClient(int id) {
        Pipe* pipe = find(id);
        if (!pipe)
            return;
        pipe->request += pipe->client->readAll();
        // Each request's head goes on with the station's Host.
        for (qsizetype end = pipe->request.indexOf("\r\n\r\n"); end >= 0;
             end = pipe->request.indexOf("\r\n\r\n")) {
            const QByteArray head = pipe->request.left(end + 4);
            pipe->request.remove(0, end + 4);
            if (!std::exchange(pipe->asked, false))
                pipe->upstream->write(withHost(head, target_.authority));
        }
        // Not a head that the relay reads: passed on as it is.
        if (pipe->request.size() > kHeadLimit)
            pipe->upstream->write(std::exchange(pipe->request, QByteArray()));
    }

    void fromUpstream(int id) {
        Pipe* pipe = find(id);
        if (!pipe)
            return;
        while (pipe->upstream->bytesAvailable() > 0 &&
               pipe->client->bytesToWrite() < kClientBacklog)
            forward(*pipe, pipe->upstream->read(64 * 1024));
        // The station's end is the engine's, once it has what came before.
        const auto state = pipe->upstream->state();
        if (state != QAbstractSocket::ConnectedState && state != QAbstractSocket::ConnectingState &&
            state != QAbstractSocket::HostLookupState && pipe->upstream->bytesAvailable() == 0)
            pipe->client->disconnectFromHost();
    }

    void forward(Pipe& pipe, const QByteArray& data) {
        if (data.isEmpty())
            return;
        pipe.client->write(data);
        if (pipe.tapping)
            tap(pipe, data);
    }

    void tap(Pipe& pipe, QByteArray data) {
        if (!pipe.headRead) {
            pipe.head += data;
            const qsizetype end = pipe.head.indexOf("\r\n\r\n");
            if (end < 0) {
                if (pipe.head.size() > kHeadLimit)
                    pipe.tapping = false;
                return;
            }
            pipe.headRead = true;
            data = pipe.head.mid(end + 4);
            const StationAnswer answer = readStationAnswer(pipe.head.left(end).toStdString());
            pipe.head.clear();
            if (!answer.taped) {
                pipe.tapping = false;
                return;
            }
            answer_ = answer;
            tape_.beginAnswer();
            pipe.reader.emplace(
                answer.metaint,
                IcyReader::Handlers{
                    [this](const char* bytes, std::size_t size) { tape_.audio(bytes, size); },
                    [this](const std::string& title, std::uint64_t offset) {
                        tape_.title(title, offset);
                    }});
        }
        if (pipe.reader && !data.isEmpty())
            pipe.reader->feed(data.constData(), static_cast<std::size_t>(data.size()));
    }

    void drop(int id) {
        const auto it = pipes_.find(id);
        if (it == pipes_.end())
            return;
        release(it->second);
        pipes_.erase(it);
    }

    QTcpServer* server_ = nullptr;
    StationTarget target_;
    QPointer<QTcpSocket> waiting_;
    bool prepared_ = false;
    QByteArray held_;
    bool tapNext_ = true;
    int lastId_ = 0;
    std::map<int, Pipe> pipes_;
};

StreamRelay::StreamRelay(QObject* parent) : QObject(parent), worker_(new RelayWorker) {
    thread_.setObjectName(QStringLiteral("stream relay"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->listen(); }, Qt::BlockingQueuedConnection);
}

StreamRelay::~StreamRelay() {
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->closeAll(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

bool StreamRelay::relays(const std::string& address) {
    // The engine would go through a proxy named in the environment; the relay would not.
    for (const char* proxy : {"http_proxy", "HTTP_PROXY"}) {
        if (const char* value = std::getenv(proxy); value && *value)
            return false;
    }
    const auto target = stationTarget(address);
    return target && (!target->tls || QSslSocket::supportsSsl());
}

void StreamRelay::route(const std::string& address, bool newChannel,
                        std::function<void(const std::string&)> then) {
    start(address, newChannel, false, {}, std::move(then));
}

void StreamRelay::prepare(const std::string& address,
                          const std::vector<std::pair<std::string, std::string>>& headers,
                          std::function<void(const std::string&)> then) {
    start(address, true, true, headers, std::move(then));
}

void StreamRelay::start(const std::string& address, bool newChannel, bool ask,
                        const std::vector<std::pair<std::string, std::string>>& headers,
                        std::function<void(const std::string&)> then) {
    const QPointer<StreamRelay> self(this);
    auto back = [self, then = std::move(then)](const std::string& to) {
        // Back on the caller's thread, unless the relay is gone by then.
        if (self)
            QMetaObject::invokeMethod(
                self,
                [self, then, to] {
                    if (self)
                        then(to);
                },
                Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(worker_, [w = worker_, address, newChannel, ask, headers, back] {
        w->route(address, newChannel, ask, headers, back);
    });
}

void StreamRelay::close() {
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->closeAll(); });
}

void StreamRelay::withTape(std::function<void(StreamTape&, const StationAnswer&)> work, bool wait) {
    QMetaObject::invokeMethod(
        worker_, [w = worker_, work = std::move(work)] { work(w->tape_, w->answer_); },
        wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

}  // namespace qova::stream
