#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <string>

namespace qova::neighbours {

/// A radio station kept ready, not heard: connected as the engine would connect, its answer's
/// head kept and its latest seconds of sound held (older ones dropped, so that what is handed
/// over is live). Handed over, it answers the engine on a loopback address with that head and
/// the held sound at once, then passes on what the station sends; the station never sees a
/// second listener.
///
/// Sound alone, over plain HTTP: MP3 and AAC, which a decoder takes up at any frame. With ICY
/// metadata the held sound is dropped a whole block at a time, and the title of the last block
/// dropped goes into the first block handed over, so that the engine learns it at once.
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

    /// Connects at once. `address`: http://host[:port]/path, without headers of its own.
    WarmStream(const std::string& address, const std::string& userAgent, QObject* parent = nullptr);
    ~WarmStream() override;
    WarmStream(const WarmStream&) = delete;
    WarmStream& operator=(const WarmStream&) = delete;

    /// Whether an address can be kept ready at all (plain http://, no credentials).
    static bool keepable(const std::string& address);

    bool ready() const { return ready_ && !handedOver_; }
    bool handedOver() const { return handedOver_; }
    /// The bytes of the station's answer come so far, and those of its sound held now.
    qint64 received() const { return received_; }
    qsizetype held() const { return held_ + partial_.size(); }
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
    void serveEngine();
    void end();

    QTcpSocket station_;
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
    // The metadata of the last block dropped that had any, its length byte first.
    QByteArray lastTitle_;
};

}  // namespace qova::neighbours
