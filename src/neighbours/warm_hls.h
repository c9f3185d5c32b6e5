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
/// variant the engine would play as well) and the segment the engine would start at, fetched as
/// the engine fetches them. The live playlist is fetched anew about once a target duration, but
/// the segment held is kept, with the playlist it came with, for as long as the engine can still
/// start at it (the server still lists it, at most kStartsBehind segments before where the
/// engine would start now): so a channel kept warm costs its server a small playlist now and
/// then and a segment only every few. With `wholeWindow` every segment from the start to the
/// live edge (of a finished playlist, its first three) is held and renewed with each playlist,
/// so that the engine finds all it reads in its first seconds in memory.
///
/// Handed over, the engine opens the playlist on an HlsRelay, which answers what is held from
/// memory and asks the server for the rest; it serves for as long as this object lives (the
/// keeper lets it go once the engine opens another address).
///
/// A channel that is no HLS playlist over plain HTTP, fails before it is ready, fails
/// kFailureLimit times in a row after, or grows beyond the bounds is simply not ready (ended());
/// nothing is said of it anywhere. Until then a failed renewal leaves what is held as it was.
class WarmHls : public QObject {
    Q_OBJECT
  public:
    /// The bytes of segments held at any moment, what is ready and what comes to renew it
    /// together: without and with `wholeWindow`.
    static constexpr qsizetype kSegmentLimit = 16 << 20;
    static constexpr qsizetype kWindowLimit = 48 << 20;
    static constexpr std::size_t kStartsBehind = 3;
    static constexpr int kFailureLimit = 3;

    /// Whether a channel's line can be kept warm: plain http://, without headers of its own
    /// (its playlist is fetched anew as the engine would, which does not carry them).
    static bool keepable(const std::string& line);

    /// Starts at once. `address`: as keepable() takes.
    WarmHls(const std::string& address, const std::string& userAgent, bool wholeWindow,
            QObject* parent = nullptr);
    ~WarmHls() override;
    WarmHls(const WarmHls&) = delete;
    WarmHls& operator=(const WarmHls&) = delete;

    bool wholeWindow() const { return wholeWindow_; }
    bool ready() const { return held_.has_value() && !relay_; }
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
    /// A media playlist with the addresses of the segments (keys, sections) it starts with, and
    /// which of them the engine starts at.
    struct Snapshot {
        Fetched media;
        std::vector<std::string> segments;
        std::string start;
    };

    void fetch(const QUrl& url, qsizetype limit, bool playlist, std::function<void(Fetched)> then);
    void readTop(Fetched top);
    void readMedia(Fetched media);
    bool heldStillStarts(const HlsPlaylist& playlist, const std::string& base) const;
    void fetchMissing();
    void renewed();
    void failed();
    void reload();
    void end();

    QNetworkAccessManager network_;
    QByteArray userAgent_;
    bool wholeWindow_ = false;
    bool ended_ = false;
    int failures_ = 0;
    QPointer<QNetworkReply> under_;
    QTimer reload_;
    // The master playlist, when the address is one; what a hand-over gives now, and the newest
    // media playlist while its segments come; the bytes of the segments of both.
    std::optional<Fetched> master_;
    QUrl mediaUrl_;
    std::optional<Snapshot> held_;
    std::optional<Snapshot> coming_;
    std::map<std::string, Fetched> segments_;
    std::unique_ptr<HlsRelay> relay_;
};

}  // namespace qova::neighbours
