#pragma once

#include <QImage>
#include <QOffscreenSurface>
#include <QThread>
#include <QWidget>
#include <functional>
#include <memory>

namespace qova::player {

class MpvPlayer;
class VideoRenderer;
class VideoWindow;

/// Draws the video of an MpvPlayer (started with renderVideo) through libmpv's OpenGL render
/// API, in a native window of its own that a thread of its own renders to: frames never pass
/// through the Qt thread, which stays free for the windows, screen readers and the desktop's
/// calls however fast the picture changes. Where the platform's OpenGL may not be used from
/// another thread (Qt says so of some drivers), or when asked to, the same drawing runs on the
/// Qt thread instead. The player must outlive the widget. Black while nothing plays. Text over
/// the picture is handed over as an image (setLinesOver).
///
/// The render context can only be made once the window is on screen; until then video cannot
/// be drawn, and libmpv gives up on the video of a file loaded before that. isSurfaceReady() and
/// surfaceReady() tell when loading may begin.
class MpvVideoWidget : public QWidget {
    Q_OBJECT

  public:
    /// With `onQtThread`, the picture is drawn on the Qt thread wherever OpenGL allows more.
    explicit MpvVideoWidget(MpvPlayer& player, QWidget* parent = nullptr, bool onQtThread = false);
    ~MpvVideoWidget() override;

    MpvVideoWidget(const MpvVideoWidget&) = delete;
    MpvVideoWidget& operator=(const MpvVideoWidget&) = delete;

    /// Whether the widget has tried to set up drawing; true even when that failed, since waiting
    /// longer would not help and sound can still play.
    bool isSurfaceReady() const { return surfaceReady_; }

    /// What shows over the picture: lines of text on a transparent image whose top left corner
    /// lies at `at` (in device pixels of the widget), drawn by the renderer on top of every
    /// frame; a null image for nothing.
    void setLinesOver(const QImage& image, QPoint at);

  signals:
    void surfaceReady();

  private:
    void windowShown();
    void renderingSetUp(bool works);
    /// Runs `work` where the renderer lives, and waits for it there.
    void onRendererThread(const std::function<void()>& work);

    MpvPlayer& player_;
    VideoWindow* window_;
    QWidget* container_;
    QThread thread_;
    VideoRenderer* renderer_;
    std::unique_ptr<QOffscreenSurface> fallback_;
    bool settingUp_ = false;
    bool surfaceReady_ = false;
};

}  // namespace qova::player
