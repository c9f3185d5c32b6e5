#include "player/mpv_video_widget.h"

#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QtGlobal>

#include "player/mpv_player.h"

namespace qova::player {

MpvVideoWidget::MpvVideoWidget(MpvPlayer& player, QWidget* parent)
    : QOpenGLWidget(parent), player_(player) {
    // The last picture must not stay up once playback has stopped.
    connect(&player_, &MpvPlayer::idleChanged, this, [this] { update(); });
}

MpvVideoWidget::~MpvVideoWidget() {
    disconnect(contextGone_);
    if (render_ != nullptr) {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }
}

void* MpvVideoWidget::procAddress(void* widget, const char* name) {
    QOpenGLContext* context = static_cast<MpvVideoWidget*>(widget)->context();
    if (context == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(context->getProcAddress(name));
}

void MpvVideoWidget::renderUpdate(void* widget) {
    // Runs on a libmpv thread; painting belongs to the Qt thread.
    auto* self = static_cast<MpvVideoWidget*>(widget);
    QMetaObject::invokeMethod(
        self, [self] { self->update(); }, Qt::QueuedConnection);
}

void MpvVideoWidget::initializeGL() {
    // A widget moved to another window gets a new context; the old one took its renderer along.
    freeRenderContext();
    disconnect(contextGone_);
    // libmpv frees its GL objects when the context goes, and it must still be current for that;
    // leaving it to the destructor would be too late when the window goes first.
    contextGone_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    });

    mpv_opengl_init_params glInit{&MpvVideoWidget::procAddress, this};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (const int rc = player_.createRenderContext(&render_, params); rc < 0) {
        render_ = nullptr;
        qWarning("Video cannot be shown: %s", mpv_error_string(rc));
    } else {
        mpv_render_context_set_update_callback(render_, &MpvVideoWidget::renderUpdate, this);
        if (surfaceReady_)
            player_.reselectVideo();
    }
    if (!surfaceReady_) {
        surfaceReady_ = true;
        emit surfaceReady();
    }
}

void MpvVideoWidget::paintGL() {
    QOpenGLFunctions* gl = context()->functions();
    gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    if (render_ == nullptr || player_.idle())
        return;

    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()), qRound(width() * ratio),
                       qRound(height() * ratio), 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (const int rc = mpv_render_context_render(render_, params);
        rc < 0 && !renderFailureReported_) {
        renderFailureReported_ = true;
        qWarning("Video cannot be drawn: %s", mpv_error_string(rc));
    }
}

void MpvVideoWidget::freeRenderContext() {
    if (render_ == nullptr)
        return;
    mpv_render_context_set_update_callback(render_, nullptr, nullptr);
    mpv_render_context_free(render_);
    render_ = nullptr;
}

}  // namespace qova::player
