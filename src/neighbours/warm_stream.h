#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <memory>
#include <string>

namespace qova::neighbours {

class OggPages;

/// A radio station kept ready, not heard: connected as the engine would connect, its answer's
/// head kept and its latest seconds of sound held (older ones dropped, so that what is handed
/// over is live). Handed over, it answers the engine on a loopback address with that head and
/// the held sound at once, then passes on what the station sends; the station never sees a
/// second listener.
///
/// Sound alone, over HTTP or HTTPS (TLS as the relay speaks it, see stream::connectToStation):
/// MP3 and AAC, which a decoder takes up at any frame, and Ogg, held as whole pages after the
/// stream's header pages (see OggPages). With ICY metadata the held sound is dropped a whole
/// block at a time, and the title of the last block dropped goes into the first block handed
/// over, so that the engine learns it at once. The station is sent the headers the channel's
/// line gives (User-Agent, Referer, Origin) as the engine sends them.
///
/// A station that cannot be reached, answers anything but such a stream, or ends, is simply
/// not ready (ended()); nothing is said of it anywhere.
class WarmStream : public QObject {
    Q_OBJECT
  public:
    /// The most sound held, and how much must be there before the stream counts as ready.
    static constexpr qsizetype kHeldBytes = 96 * 1024;
    static constexpr qsizetype kReadyBytes = 8 * 1024;
    static constexpr qsizetype kHeadLimit = 16 * 1024;

    /// Connects at once. `line`: a channel's address, with the headers it carries (see
    /// platform::splitHeaders); `userAgent` is sent when it names none.
    WarmStream(const std::string& line, const std::string& userAgent, QObject* parent = nullptr);
    ~WarmStream() override;
    WarmStream(const WarmStream&) = delete;
    WarmStream& operator=(const WarmStream&) = delete;

    /// Whether a channel's line can be kept ready at all: where the relay would take it (http,
    /// or https when `https`; no credentials, no proxy), and without cookies, which the engine
    /// sends only to the host they name.
    static bool keepable(const std::string& line, bool https = true);

    bool ready() const { return ready_ && !handedOver_; }
    bool handedOver() const { return handedOver_; }
    /// The bytes of the station's answer come so far, and those of its sound held now.
    qint64 received() const { return received_; }
    qsizetype held() const;
    /// The loopback address the engine opens instead of the station's, once; empty when the
    /// stream is not ready.
    std::string handOver();

  signals:
    void becameReady();
    /// The station failed or ended, or the engine let go of what was handed over.
    void ended();

  private:
    void readStation();
    bool readHead();
    void hold(const QByteArray& bytes);
    void dropOld();
    qsizetype soundHeld() const;
    void serveEngine();
    void end();

    QSslSocket station_;
    QTcpServer local_;
    QPointer<QTcpSocket> engine_;
    QByteArray request_;
    QByteArray head_;
    bool headRead_ = false;
    bool ready_ = false;
    bool handedOver_ = false;
    // The held sound went to the engine: what comes now goes straight on.
    bool served_ = false;
    bool ended_ = false;
    qint64 received_ = 0;
    // The held sound, in blocks of metaint bytes and their metadata (or as it came).
    qsizetype metaint_ = 0;
    std::deque<QByteArray> blocks_;
    QByteArray partial_;
    qsizetype held_ = 0;
    // Where the reading of the current block is: audio bytes still to come in it, and the
    // metadata's bytes still to come (-1 while its length byte is awaited).
    qsizetype audioLeft_ = 0;
    qsizetype metaLeft_ = 0;
    bool inMeta_ = false;
    // An Ogg stream's pages, held instead of blocks.
    std::unique_ptr<OggPages> ogg_;
    // The metadata of the last block dropped that had any, its length byte first.
    QByteArray lastTitle_;
};

}  // namespace qova::neighbours
