#pragma once

#include <QMetaObject>
#include <QOpenGLWidget>

struct mpv_render_context;

namespace qova::player {

class MpvPlayer;

/// Draws the video of an MpvPlayer (started with renderVideo) through libmpv's OpenGL render
/// API. The player must outlive the widget. Black while nothing plays.
///
/// The render context can only be made once the widget has an OpenGL context, which is when it is
/// first shown; until then video cannot be drawn, and libmpv gives up on the video of a file
/// loaded before that. isSurfaceReady() and surfaceReady() tell when loading may begin.
class MpvVideoWidget : public QOpenGLWidget {
    Q_OBJECT

  public:
    explicit MpvVideoWidget(MpvPlayer& player, QWidget* parent = nullptr);
    ~MpvVideoWidget() override;

    MpvVideoWidget(const MpvVideoWidget&) = delete;
    MpvVideoWidget& operator=(const MpvVideoWidget&) = delete;

    /// Whether the widget has tried to set up drawing; true even when that failed, since waiting
    /// longer would not help and sound can still play.
    bool isSurfaceReady() const { return surfaceReady_; }

  signals:
    void surfaceReady();

  protected:
    void initializeGL() override;
    void paintGL() override;

  private:
    static void* procAddress(void* widget, const char* name);
    static void renderUpdate(void* widget);
    void freeRenderContext();

    MpvPlayer& player_;
    mpv_render_context* render_ = nullptr;
    QMetaObject::Connection contextGone_;
    bool surfaceReady_ = false;
    bool renderFailureReported_ = false;
};

}  // namespace qova::player
