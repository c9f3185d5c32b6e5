#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/web_browser.h"
#include "qt/browser_events.h"

class QLabel;

namespace qova::player {

class MpvPlayer;
class MpvVideoWidget;
class PlayerOverlayWidget;

struct PlayerViewOptions {
    /// libmpv's audio output; empty for its default. "null" plays silently, in real time.
    std::string audioOutput;
    /// Decode video without drawing it. Always so on Qt platforms without OpenGL widgets
    /// (offscreen, minimal), where a black surface stands in for the picture.
    bool nullVideo = false;
    /// The waits before each try to reconnect a broken stream, the stall limit and how long a
    /// wait for data goes untold; tests shorten them. Empty and 0 for the player's own.
    std::vector<int> reconnectWaitsMs{};
    int stallLimitMs = 0;
    int bufferingShownAfterMs = 0;
    /// Draws the picture on the Qt thread even where OpenGL allows a thread of its own, as it is
    /// drawn where OpenGL does not.
    bool videoOnQtThread = false;
};

/// The player area of the main window, as a browser control: the program shows a channel by
/// navigating it to a page that embeds a media player, and this control plays what that player
/// would have played. The page itself is not drawn; the control shows the video (black for
/// sound alone) and, over it, one line saying why a stream stopped. A page without a player
/// stops playback.
///
/// Pages come from "about:" markup and from local files (a plain path or a file: URL). Other
/// addresses fail as a server that cannot be reached. As with every browser control of the
/// program, events are raised from the event loop, never inside navigate; a failed navigation
/// raises onNavigateError and then the DocumentComplete of an error page; a later navigation
/// replaces one whose events are still to come.
class PlayerView : public QWidget, public platform::WebBrowser {
    Q_OBJECT

  public:
    explicit PlayerView(QWidget* parent = nullptr, PlayerViewOptions options = {});
    ~PlayerView() override;

    PlayerView(const PlayerView&) = delete;
    PlayerView& operator=(const PlayerView&) = delete;

    void navigate(const std::string& address) override;
    void navigate2(const std::string& filePath) override;

    int readyState() const override { return events_.readyState(); }
    bool hasDocument() const override { return events_.hasDocument(); }
    const std::string& bodyText() const override { return bodyText_; }
    std::string title() const override { return title_; }

    /// The engine behind the view: playback position, title and state, and their signals.
    MpvPlayer& player() { return *player_; }
    const MpvPlayer& player() const { return *player_; }

    /// The address the current page's player plays; empty when the page has none.
    const std::string& playerAddress() const { return playerAddress_; }
    /// The line shown over the picture; empty while none is shown.
    QString statusText() const;
    /// Whether video is drawn through OpenGL rather than decoded unseen.
    bool drawsVideo() const { return drawVideo_; }

    /// What screen readers read as the player area's description: what plays, as the lines over
    /// the picture say it (in view or faded), and why a stream stopped.
    QString whatScreenReadersRead() const;

    /// A short line in the picture's top left corner (a recording's mark, how far behind live
    /// it plays), read by screen readers with the player area; empty hides it.
    void setMark(const QString& text);
    QString markText() const;

    /// What plays and the volume, shown over the picture.
    PlayerOverlayWidget& overlay() { return *overlay_; }

    /// Hides the mouse pointer after two seconds without movement, as while filling the screen.
    void setHidesIdlePointer(bool hides);

  signals:
    /// The mouse wheel turned over the picture, in steps up (positive) or down.
    void wheelTurned(int steps);
    void doubleClicked();
    /// The picture's own window (filling the screen) was asked to close.
    void closeRequested();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void openLocalPage(const std::string& path, const std::string& reportedUrl);
    void completeLater(std::string url, std::string markup, std::string baseFolder);
    void failLater(std::string url, std::int32_t status);
    void present(const std::string& markup, const std::string& baseFolder);
    void play(const std::string& address);
    void setStatus(const QString& text);
    void createVideoSurface();
    void linesChanged();
    void describeToScreenReaders();
    void drawLinesOverPicture();
    void placeChildren();

    std::unique_ptr<MpvPlayer> player_;
    bool drawVideo_ = false;
    bool videoOnQtThread_ = false;
    // The picture: a plain black widget until the first page with a player, then an
    // MpvVideoWidget when video is drawn. An OpenGL widget makes Qt set up OpenGL for the whole
    // window as soon as it is shown, which with a software driver costs tens of megabytes that an
    // idle window has no use for.
    QWidget* surface_ = nullptr;
    MpvVideoWidget* video_ = nullptr;
    QLabel* status_ = nullptr;
    // Made when first needed.
    QLabel* mark_ = nullptr;
    PlayerOverlayWidget* overlay_ = nullptr;
    bool linesPending_ = false;
    // What screen readers were last told of: what plays but its facts, and the status.
    QString toldScreenReaders_;
    int wheelAngle_ = 0;
    QTimer pointerIdle_;
    bool hidesIdlePointer_ = false;

    qt::BrowserEvents events_{*this, *this};
    std::string bodyText_;
    std::string title_;
    std::string playerAddress_;
    // Held until the video surface can draw: libmpv drops the video of a file loaded earlier.
    std::string pendingAddress_;
};

}  // namespace qova::player
