#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <string>

#include "platform/player_overlay.h"

class QLabel;
class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace qova::player {

/// A line of text over the player area's picture: white plain text on a dark box with room
/// around it, letting the mouse through to the player area. Where the picture is drawn into a
/// native window, the player area draws the line into it exactly as the label lays it out (its
/// contentsRect), so the text always fits the box the label was given.
QLabel* lineOverPicture(QWidget* playerArea, const char* objectName, int backgroundAlpha);

/// Lines over the player area's picture: what plays (channel and country, the stream's title,
/// a line of facts) along its bottom, and a short note of the volume in its top right corner.
/// Text from streams is shown as plain text. Over a picture the lines fade after a few seconds;
/// for sound alone they stay. The mouse goes through to the player area.
class PlayerOverlayWidget : public QWidget, public platform::PlayerOverlay {
    Q_OBJECT

  public:
    explicit PlayerOverlayWidget(QWidget* playerArea);

    void showNowPlaying(const platform::NowPlaying& what, bool renew) override;
    void hideNowPlaying() override;
    void showVolume(int percent, bool muted) override;

    /// The lines of what plays as they are in view, empty while none is.
    QString nowPlayingText() const;
    /// What plays, in view or faded, as its lines say it; empty once nothing plays.
    const QString& whatPlays() const { return whatPlays_; }
    /// The same without its line of facts, which changes with a stream's bit rate.
    const QString& whatPlaysHeadline() const { return headline_; }
    /// The channel last shown as playing.
    const std::string& channel() const { return channel_; }
    /// The volume note in view, empty while none is.
    QString volumeText() const;

    /// Places the lines over an area of this size; called when the player area changes size.
    void place(QSize area);
    /// Puts the lines above a picture that came in after them.
    void bringToFront();

  signals:
    /// What the lines show, or how, changed: a picture drawn elsewhere must draw them anew.
    void changed();

  private:
    QLabel* lines_;
    QLabel* volume_;
    QGraphicsOpacityEffect* opacity_;
    QPropertyAnimation* fade_;
    QTimer fadeDelay_;
    QTimer volumeDelay_;
    bool stays_ = false;
    QString whatPlays_;
    QString headline_;
    std::string channel_;
};

}  // namespace qova::player
