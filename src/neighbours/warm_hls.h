#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "neighbours/hls_relay.h"

class QNetworkReply;

namespace qova::neighbours {

/// A picture channel over HLS kept warm, not seen: its playlist (for a master playlist, the
/// variant the engine would play as well) and the segment the engine would start at, fetched
/// as the engine fetches them and fetched anew as the live playlist moves on (about once a
/// target duration), so that what is held stays what the engine would ask for. With
/// `wholeWindow` every segment from there to the live edge (of a finished playlist, its first
/// three) is held, so that the engine finds all it reads in its first seconds in memory.
///
/// Handed over, the engine opens the playlist on an HlsRelay, which answers what is held from
/// memory and asks the server for the rest; it serves for as long as this object lives (the
/// keeper lets it go once the engine opens another address).
///
/// A channel that is no HLS playlist over plain HTTP, fails, or grows beyond the bounds is
/// simply not ready (ended()); nothing is said of it anywhere.
class WarmHls : public QObject {
    Q_OBJECT
  public:
    static constexpr qsizetype kSegmentLimit = 16 << 20;
    static constexpr qsizetype kWindowLimit = 48 << 20;

    /// Starts at once. `address`: http://host[:port]/path, without headers of its own.
    WarmHls(const std::string& address, const std::string& userAgent, bool wholeWindow,
            QObject* parent = nullptr);
    ~WarmHls() override;
    WarmHls(const WarmHls&) = delete;
    WarmHls& operator=(const WarmHls&) = delete;

    bool wholeWindow() const { return wholeWindow_; }
    bool ready() const { return ready_ && !relay_; }
    /// The segments held now and their bytes.
    int heldSegments() const { return static_cast<int>(segments_.size()); }
    qsizetype heldBytes() const;
    /// The loopback address the engine opens instead of the channel's, once; empty when the
    /// channel is not ready.
    std::string handOver();
    /// After hand-over: the relay that serves the engine.
    const HlsRelay* relay() const { return relay_.get(); }

  signals:
    void becameReady();
    /// Failed or grew beyond the bounds before it was handed over; or handed over, the
    /// engine never came.
    void ended();

  private:
    void fetch(const QUrl& url, qsizetype limit, bool playlist, std::function<void(Fetched)> then);
    void readTop(Fetched top);
    void readMedia(Fetched media);
    void fetchMissing();
    void reload();
    void end();

    QNetworkAccessManager network_;
    QByteArray userAgent_;
    bool wholeWindow_ = false;
    bool ready_ = false;
    bool ended_ = false;
    QPointer<QNetworkReply> under_;
    QTimer reload_;
    // The master playlist, when the address is one, and the media playlist held with the
    // segments it starts at; the newest media playlist and the segments it wants, while they
    // come.
    std::optional<Fetched> master_;
    QUrl mediaUrl_;
    std::optional<Fetched> media_;
    std::optional<Fetched> newest_;
    std::vector<std::string> wanted_;
    std::map<std::string, Fetched> segments_;
    std::unique_ptr<HlsRelay> relay_;
};

}  // namespace qova::neighbours
