#pragma once

#include <QObject>
#include <QTimer>
#include <optional>
#include <string>

#include "platform/desktop.h"
#include "platform/player_overlay.h"

namespace qova::ui {

class GuideService;

/// The player area's lines with the guide's now and next beneath them: what plays is handed on
/// to the overlay with the guide's lines added, and brought up to date as the programme runs
/// on. Without a guide for the channel, what plays goes on exactly as it came.
class GuideOverlay : public QObject, public platform::PlayerOverlay {
  public:
    GuideOverlay(QObject* parent, platform::PlayerOverlay& overlay, const GuideService& guide);

    void showNowPlaying(const platform::NowPlaying& what, bool renew) override;
    void hideNowPlaying() override;
    void showVolume(int percent, bool muted) override;
    /// The guide changed or time went on: the lines in view are said anew where they differ.
    void update();

  private:
    platform::PlayerOverlay& overlay_;
    const GuideService& guide_;
    std::optional<platform::NowPlaying> shown_;
    QTimer tick_;
};

/// The desktop's player applets with the programme's title as the track's title while a TV
/// channel with a guide plays; the channel stays the artist. Everything else passes through.
class GuideDesktop : public QObject, public platform::DesktopPlayer {
  public:
    GuideDesktop(QObject* parent, platform::DesktopPlayer& desktop, const GuideService& guide);

    void setStatus(Status status) override { desktop_.setStatus(status); }
    void setTrack(const std::string& id, const std::string& title,
                  const std::string& channel) override;
    void setVolume(double volume) override { desktop_.setVolume(volume); }
    void update();

  private:
    platform::DesktopPlayer& desktop_;
    const GuideService& guide_;
    std::string id_, title_, channel_, sent_;
    QTimer tick_;
};

}  // namespace qova::ui
