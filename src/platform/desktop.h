#pragma once

#include <functional>
#include <string>

namespace qova::platform {

/// The program as the desktop's media keys and player applets see it (MPRIS on the session bus).
/// The program tells it what plays; the desktop's commands come back as callbacks, from the
/// event loop. Without a desktop bus nothing happens, silently.
class DesktopPlayer {
  public:
    virtual ~DesktopPlayer() = default;

    enum class Status { Playing, Stopped, Paused };

    virtual void setStatus(Status status) = 0;
    /// What plays: an identity that changes with the channel, the title to show (the stream's
    /// title, or the channel's name while it has none) and the channel's name.
    virtual void setTrack(const std::string& id, const std::string& title,
                          const std::string& channel) = 0;
    /// 0.0 to 1.0.
    virtual void setVolume(double volume) = 0;
    /// Whether what plays can be moved in (a stream held behind its live point).
    virtual void setCanSeek(bool) {}

    std::function<void()> onPlay, onPause, onPlayPause, onStop, onNext, onPrevious;
    std::function<void(double)> onSetVolume;
    /// Move by this many seconds, back (negative) or on.
    std::function<void(double)> onSeek;
    std::function<void()> onRaise, onQuit;
};

/// Holds the desktop's screen saver off while a picture plays.
class ScreenSaver {
  public:
    virtual ~ScreenSaver() = default;
    /// Idempotent: a second inhibit before an uninhibit changes nothing.
    virtual void inhibit(const std::string& reason) = 0;
    virtual void uninhibit() = 0;
};

}  // namespace qova::platform
