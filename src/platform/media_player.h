#pragma once

#include <functional>
#include <string>

namespace qova::platform {

/// What the stream playing says of itself, for a line of facts; 0 or empty where it says nothing.
struct StreamFacts {
    std::string audioCodec;
    std::string videoCodec;
    /// Bits per second.
    int audioBitrate = 0;
    int sampleRate = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const StreamFacts&, const StreamFacts&) = default;
};

/// The media engine behind the player area, for what a player page cannot carry: its state, the
/// volume, and what the stream says of itself. Channels are shown through the player area's
/// pages as ever; play() and stop() are for starting the same address again and for stopping
/// without a page. Changes are raised from the event loop, never inside a call.
class MediaPlayer {
  public:
    enum class State {
        /// Nothing loaded: before the first channel, after stop, after a stream ended or failed.
        Stopped,
        /// Loaded, waiting for the first picture or sound.
        Opening,
        Playing,
    };

    virtual ~MediaPlayer() = default;

    /// Plays an address (URL or local path) in place of whatever played.
    virtual void play(const std::string& address) = 0;
    virtual void stop() = 0;
    /// The channel about to play from this address carries sound alone (a radio channel), so
    /// the player may start it from a short look at its first data; "" when it may carry a
    /// picture. Holds for that address until another is given.
    virtual void expectSoundOnly(const std::string& address) = 0;
    /// The channel about to play from this address came from a channel list that is itself a
    /// file here, which may name files here: the player opens it though it is a local file or a
    /// relative path. Holds for that address until another is given; "" for none, the default.
    /// Addresses the player refuses are not opened: it says why in the player area instead.
    virtual void allowLocalFile(const std::string& address) = 0;

    virtual State state() const = 0;
    /// 0 to 100.
    virtual int volume() const = 0;
    virtual void setVolume(int percent) = 0;
    virtual bool muted() const = 0;
    virtual void setMuted(bool muted) = 0;
    /// The title of what plays now as the stream gives it (an Icecast/Shoutcast StreamTitle, or
    /// the stream's title tag), UTF-8; empty when it gives none.
    virtual std::string streamTitle() const = 0;
    virtual StreamFacts facts() const = 0;

    /// Holds a stream that plays where it is, its connection and what comes meanwhile kept, so
    /// that resume() goes on from there; false when this stream cannot be held (nothing
    /// changes then). onStateChanged tells of either.
    virtual bool pause() { return false; }
    virtual void resume() {}
    virtual bool paused() const { return false; }
    /// Whether what plays can be moved in, behind the live point and back (seekBy).
    virtual bool canSeek() const { return false; }
    /// Moves by this many seconds, back (negative) or on, no further than the live point.
    virtual void seekBy(double) {}

    std::function<void()> onStateChanged;
    std::function<void()> onVolumeChanged;
    std::function<void()> onTitleChanged;
    std::function<void()> onFactsChanged;
};

}  // namespace qova::platform
