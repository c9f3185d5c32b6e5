#pragma once

#include <QObject>
#include <QThread>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "stream/stream_tape.h"

namespace qova::stream {

class RelayWorker;

/// What the station answered the request whose body the tape holds.
struct StationAnswer {
    int status = 0;
    std::string contentType;
    /// Audio bytes between two ICY metadata blocks; 0 without them.
    std::size_t metaint = 0;
    /// Whether the body is a stream of sound or pictures the tape takes.
    bool taped = false;
};

/// A relay on 127.0.0.1 between a station and the media engine. The engine opens the relay's
/// address (the station's path on the relay's port); the relay passes the engine's requests on
/// to the station, with the Host the station's address names, and the station's answers back
/// to the engine byte for byte, ICY metadata included, so that the engine meets the station as
/// it would without it. On the way the relay reads the answer that carries the stream: its
/// audio, without the metadata, goes onto the channel's tape (see StreamTape) with the byte at
/// which each StreamTitle changes, for whatever records or keeps it.
///
/// The relay's sockets and the tape live on a thread of their own, so that a busy window never
/// holds the sound up; what reads the engine is slow in (a paused engine) is held back from the
/// station by TCP rather than kept in memory.
///
/// Prepared, not heard: prepare() asks the station for the stream before the engine does and
/// holds its answer (bounded) until the engine's first request, which is then served at once.
class StreamRelay : public QObject {
    Q_OBJECT
  public:
    /// Most of a prepared answer held before the station is made to wait.
    static constexpr std::size_t kHeldLimit = 4 << 20;

    explicit StreamRelay(QObject* parent = nullptr);
    ~StreamRelay() override;
    StreamRelay(const StreamRelay&) = delete;
    StreamRelay& operator=(const StreamRelay&) = delete;

    /// Whether the engine may open an address through the relay: http:// or https:// (when TLS
    /// is at hand) without credentials in it, and no proxy that the engine would take from the
    /// environment. The engine always speaks plain HTTP to the relay; the relay speaks TLS to an
    /// https station, taking its certificate as the engine does by default, unchecked.
    static bool relays(const std::string& address);

    /// Connects to the station's server for the engine's next request, then calls `then` on
    /// this object's thread with the address for the engine: the relay's once connected (over
    /// TLS, once its handshake is done), the address itself when the server cannot be reached
    /// or greeted (the engine then meets the failure as it would have). A new channel starts the
    /// tape anew; otherwise (the same channel reconnecting) the tape goes on, with nothing twice.
    void route(const std::string& address, bool newChannel,
               std::function<void(const std::string&)> then);
    /// As route(), asking for the stream at once with these request header fields.
    void prepare(const std::string& address,
                 const std::vector<std::pair<std::string, std::string>>& headers,
                 std::function<void(const std::string&)> then);
    /// Ends every connection; the tape stays until the next channel.
    void close();

    /// Runs `work` on the relay's thread with the channel's tape and what the station answered:
    /// sinks are added and removed there, and called there. With wait, returns once it ran.
    void withTape(std::function<void(StreamTape&, const StationAnswer&)> work, bool wait = false);

  private:
    void start(const std::string& address, bool newChannel, bool ask,
               const std::vector<std::pair<std::string, std::string>>& headers,
               std::function<void(const std::string&)> then);

    QThread thread_;
    RelayWorker* worker_;
};

}  // namespace qova::stream
