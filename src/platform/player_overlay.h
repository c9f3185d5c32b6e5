#pragma once

#include <string>

namespace qova::platform {

/// What plays, as the player area shows it over the picture.
struct NowPlaying {
    std::string channel;
    std::string country;
    /// The stream's own title of what plays now; empty while it gives none.
    std::string title;
    /// A short line of facts: codecs, bit rate, sample rate or picture size.
    std::string facts;
    /// Whether there is a picture to keep clear; sound alone keeps the text on screen.
    bool hasPicture = false;
    /// What the programme guide says runs now and next, in lines; empty without a guide.
    std::string guide = {};

    friend bool operator==(const NowPlaying&, const NowPlaying&) = default;
};

/// What the player area shows over its picture: what is playing, and the volume while it
/// changes. Stream text is shown as plain text, never as markup.
class PlayerOverlay {
  public:
    virtual ~PlayerOverlay() = default;

    /// Shows what plays. With `renew` (a new channel, a new title) it comes into view; over a
    /// picture it fades after a few seconds. Without, it only brings the text up to date where
    /// it is in view, and keeps it there for sound alone.
    virtual void showNowPlaying(const NowPlaying& what, bool renew) = 0;
    virtual void hideNowPlaying() = 0;
    /// A short note of the volume, 0 to 100, or that the sound is off.
    virtual void showVolume(int percent, bool muted) = 0;
};

}  // namespace qova::platform
