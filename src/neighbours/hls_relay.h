#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "neighbours/hls_playlist.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTcpSocket;

namespace qova::neighbours {

/// An answer fetched whole.
struct Fetched {
    QByteArray body;
    QByteArray contentType;
    /// Where it came from, after redirects: the base of a playlist's references.
    QUrl url;
};

/// Asks for an address as the engine would, and calls `done` with the answer once it came
/// whole: with nothing for a failure, an answer other than 200, more than `limit` bytes, or,
/// for a playlist, anything that does not begin as one (found from its first bytes, so that an
/// endless stream is not read on). Returns the reply under way, which dies with `context`.
QNetworkReply* fetchWhole(QNetworkAccessManager& network, const QUrl& url,
                          const QByteArray& userAgent, qsizetype limit, bool playlist,
                          QObject* context, std::function<void(std::optional<Fetched>)> done);

/// A small HTTP server on 127.0.0.1 that stands between the engine and an HLS channel's server
/// once a channel kept warm is handed over: the engine opens a playlist here, and every address
/// in what it gets leads here too (see rewrittenPlaylist), each carrying the server's own
/// address. What was held is answered from memory, once; everything else is asked of the
/// server as the engine asked (its User-Agent, its Range) and passed on, playlists rewritten
/// alike, the rest streamed as it comes and held back from the server by TCP while the engine
/// does not read. Only addresses with this relay's secret lead anywhere.
class HlsRelay : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxConnections = 16;
    static constexpr qsizetype kRequestLimit = 16 * 1024;

    HlsRelay(QNetworkAccessManager& network, QByteArray userAgent, QObject* parent = nullptr);
    ~HlsRelay() override;
    HlsRelay(const HlsRelay&) = delete;
    HlsRelay& operator=(const HlsRelay&) = delete;

    bool listen();
    /// This relay's address for a server's address.
    std::string localAddress(const std::string& address, HlsReference kind) const;
    /// Whether a playlist fetched can be served by any relay: rewritten, it stays within
    /// kMaxRewrittenBytes. One that cannot is answered with 502.
    static bool servable(const Fetched& playlist);
    /// The answer for the address, given from memory: a segment once, a playlist (as fetched,
    /// rewritten when served) until the engine asks for its first segment.
    void hold(const std::string& address, Fetched answer, HlsReference kind);
    /// How many requests came, and how many of them were answered from memory.
    int requests() const { return requests_; }
    int answeredFromMemory() const { return fromMemory_; }

  signals:
    /// The engine asked for something.
    void asked();

  private:
    static constexpr qsizetype kSecretLength = 16;

    static std::string relayAddress(quint16 port, const QByteArray& secret,
                                    const std::string& address, HlsReference kind);
    static std::optional<QByteArray> served(const Fetched& playlist, quint16 port,
                                            const QByteArray& secret);
    void accept();
    void answer(QTcpSocket* socket, const QByteArray& head);
    void passOn(QTcpSocket* socket, const QUrl& url, HlsReference kind, const QByteArray& head);

    QNetworkAccessManager& network_;
    QByteArray userAgent_;
    QTcpServer server_;
    QByteArray secret_;
    struct Held {
        Fetched answer;
        HlsReference kind = HlsReference::Media;
    };
    std::map<std::string, Held> held_;
    int open_ = 0;
    int requests_ = 0;
    int fromMemory_ = 0;
};

}  // namespace qova::neighbours
