#include "player/mpv_video_widget.h"

#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

#include <QCoreApplication>
#include <QExposeEvent>
#include <QMutex>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLTexture>
#include <QOpenGLTextureBlitter>
#include <QPlatformSurfaceEvent>
#include <QSurfaceFormat>
#include <QVBoxLayout>
#include <QWindow>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>

#include "player/mpv_player.h"

namespace qova::player {

/// The native window the picture is drawn in; tells the renderer when it can be seen and how
/// large it is.
class VideoWindow : public QWindow {
  public:
    explicit VideoWindow(bool onQtThread) {
        setSurfaceType(QWindow::OpenGLSurface);
        if (onQtThread) {
            // A swap that waited for the screen's refresh would hold the windows up with it.
            QSurfaceFormat format = requestedFormat();
            format.setSwapInterval(0);
            setFormat(format);
        }
        // Only a picture: the X server hands the mouse over it to the player area's window
        // beneath, and a click never takes the keyboard from the player area.
        setFlags(flags() | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    }

    std::function<void()> onChange;
    /// Called on the Qt thread just before the native window goes, and once one is made again.
    std::function<void(bool)> onSurface;

  protected:
    void exposeEvent(QExposeEvent*) override { changed(); }
    void resizeEvent(QResizeEvent*) override { changed(); }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::PlatformSurface && onSurface)
            onSurface(static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                      QPlatformSurfaceEvent::SurfaceCreated);
        return QWindow::event(event);
    }

  private:
    void changed() {
        if (onChange)
            onChange();
    }
};

/// Lives on the render thread with the OpenGL context and libmpv's render context. Frames are
/// asked for from any thread; they are drawn one at a time, the latest request winning.
class VideoRenderer : public QObject {
  public:
    VideoRenderer(MpvPlayer& player, VideoWindow& window) : player_(player), window_(window) {}

    /// On the render thread. Takes the context (already moved here) and makes the render
    /// context; false when libmpv cannot draw with it. `fallback` serves to free it should the
    /// window be gone first, as when the whole window closes.
    bool setUp(QOpenGLContext* context, QOffscreenSurface* fallback) {
        context_ = context;
        fallback_ = fallback;
        if (!hasWindow_ || !context_->makeCurrent(&window_))
            return false;
        mpv_opengl_init_params glInit{&VideoRenderer::procAddress, this};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        if (const int rc = player_.createRenderContext(&render_, params); rc < 0) {
            render_ = nullptr;
            qWarning("Video cannot be shown: %s", mpv_error_string(rc));
            context_->doneCurrent();
            return false;
        }
        mpv_render_context_set_update_callback(render_, &VideoRenderer::frameReady, this);
        context_->doneCurrent();
        return true;
    }

    /// On the render thread: everything of OpenGL and libmpv goes, with the context current.
    void tearDown() {
        stopping_ = true;
        if (context_ != nullptr && render_ != nullptr &&
            ((hasWindow_ && context_->makeCurrent(&window_)) || context_->makeCurrent(fallback_))) {
            mpv_render_context_set_update_callback(render_, nullptr, nullptr);
            mpv_render_context_free(render_);
            linesTexture_.reset();
            if (blitter_.isCreated())
                blitter_.destroy();
            context_->doneCurrent();
        }
        render_ = nullptr;
        delete context_;
        context_ = nullptr;
    }

    /// On the render thread: whether the native window exists. Closing a top-level window
    /// destroys the native windows inside it long before their widgets go, and nothing may be
    /// drawn to a window that is gone.
    void setHasWindow(bool has) {
        hasWindow_ = has;
        if (!has && context_ != nullptr && QOpenGLContext::currentContext() == context_)
            context_->doneCurrent();
        if (has)
            requestFrame(true);
    }

    /// From any thread: the window changed, or what plays stopped or started.
    void setTarget(QSize pixels, bool exposed) {
        width_ = pixels.width();
        height_ = pixels.height();
        exposed_ = exposed;
        requestFrame(true);
    }
    void setIdle(bool idle) {
        idle_ = idle;
        requestFrame(true);
    }
    void setLinesOver(const QImage& image, QPoint at) {
        {
            const QMutexLocker lock(&linesMutex_);
            lines_ = image;
            linesAt_ = at;
            linesChanged_ = true;
        }
        requestFrame(true);
    }

  private:
    static void* procAddress(void* renderer, const char* name) {
        QOpenGLContext* context = static_cast<VideoRenderer*>(renderer)->context_;
        return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
    }
    // On a libmpv thread: only ask for a frame.
    static void frameReady(void* renderer) {
        static_cast<VideoRenderer*>(renderer)->requestFrame(false);
    }

    void requestFrame(bool redraw) {
        if (redraw)
            redraw_ = true;
        if (!queued_.exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { draw(); }, Qt::QueuedConnection);
    }

    void draw() {
        queued_ = false;
        if (stopping_ || !hasWindow_ || render_ == nullptr || !exposed_ || width_ <= 0 ||
            height_ <= 0)
            return;
        const bool frame = (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME) != 0;
        if (!frame && !redraw_.exchange(false))
            return;
        if (!context_->makeCurrent(&window_))
            return;
        if (idle_) {
            // The last picture must not stay up once playback has stopped.
            QOpenGLFunctions* gl = context_->functions();
            gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            gl->glClear(GL_COLOR_BUFFER_BIT);
        } else {
            mpv_opengl_fbo fbo{static_cast<int>(context_->defaultFramebufferObject()), width_,
                               height_, 0};
            int flipY = 1;
            mpv_render_param params[] = {
                {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
                {MPV_RENDER_PARAM_FLIP_Y, &flipY},
                {MPV_RENDER_PARAM_INVALID, nullptr},
            };
            if (const int rc = mpv_render_context_render(render_, params);
                rc < 0 && !failureReported_) {
                failureReported_ = true;
                qWarning("Video cannot be drawn: %s", mpv_error_string(rc));
            }
        }
        drawLines();
        context_->swapBuffers(&window_);
        mpv_render_context_report_swap(render_);
        // On the Qt thread the context is not left current for other drawing there.
        if (thread() == QCoreApplication::instance()->thread())
            context_->doneCurrent();
    }

    // The lines over the picture, blended on top of what was drawn.
    void drawLines() {
        std::optional<QImage> changed;
        QPoint at;
        {
            const QMutexLocker lock(&linesMutex_);
            if (linesChanged_) {
                linesChanged_ = false;
                changed = std::exchange(lines_, QImage());
                at = linesAt_;
            }
        }
        // Uploaded outside the lock, which the Qt thread takes to hand over the next image.
        if (changed) {
            linesTexture_.reset();
            linesRect_ = QRect(at, changed->size());
            if (!changed->isNull()) {
                // Drawn 1:1: mipmaps would only cost a software driver milliseconds at every
                // change of a line.
                linesTexture_ =
                    std::make_unique<QOpenGLTexture>(*changed, QOpenGLTexture::DontGenerateMipMaps);
                linesTexture_->setMinMagFilters(QOpenGLTexture::Nearest, QOpenGLTexture::Nearest);
            }
        }
        if (!linesTexture_)
            return;
        if (!blitter_.isCreated() && !blitter_.create())
            return;
        QOpenGLFunctions* gl = context_->functions();
        gl->glViewport(0, 0, width_, height_);
        gl->glEnable(GL_BLEND);
        // QOpenGLTexture uploads the image with straight alpha, whatever its format.
        gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        blitter_.bind();
        blitter_.blit(linesTexture_->textureId(),
                      QOpenGLTextureBlitter::targetTransform(QRectF(linesRect_),
                                                             QRect(0, 0, width_, height_)),
                      QOpenGLTextureBlitter::OriginTopLeft);
        blitter_.release();
        gl->glDisable(GL_BLEND);
    }

    MpvPlayer& player_;
    VideoWindow& window_;
    QOpenGLContext* context_ = nullptr;
    QOffscreenSurface* fallback_ = nullptr;
    mpv_render_context* render_ = nullptr;
    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::atomic<bool> exposed_{false};
    std::atomic<bool> idle_{true};
    std::atomic<bool> redraw_{false};
    std::atomic<bool> queued_{false};
    std::atomic<bool> stopping_{false};
    bool failureReported_ = false;
    QMutex linesMutex_;
    QImage lines_;
    QPoint linesAt_;
    bool linesChanged_ = false;
    // Render thread only.
    bool hasWindow_ = true;
    std::unique_ptr<QOpenGLTexture> linesTexture_;
    QRect linesRect_;
    QOpenGLTextureBlitter blitter_;
};

namespace {

bool drawsOnQtThread(bool asked) {
    return asked || !QOpenGLContext::supportsThreadedOpenGL();
}

}  // namespace

MpvVideoWidget::MpvVideoWidget(MpvPlayer& player, QWidget* parent, bool onQtThread)
    : QWidget(parent),
      player_(player),
      window_(new VideoWindow(drawsOnQtThread(onQtThread))),
      // Owns the window from here on.
      container_(QWidget::createWindowContainer(window_, this)),
      renderer_(new VideoRenderer(player_, *window_)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container_);
    container_->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (!drawsOnQtThread(onQtThread)) {
        thread_.setObjectName(QStringLiteral("video"));
        renderer_->moveToThread(&thread_);
        thread_.start();
    }
    window_->onChange = [this] {
        const qreal ratio = window_->devicePixelRatio();
        renderer_->setTarget(window_->size() * ratio, window_->isExposed());
        if (window_->isExposed() && !settingUp_ && !surfaceReady_)
            windowShown();
    };
    window_->onSurface = [this](bool created) {
        // Waits for a frame being drawn to finish before the window may go.
        if (created)
            QMetaObject::invokeMethod(
                renderer_, [this] { renderer_->setHasWindow(true); }, Qt::QueuedConnection);
        else
            onRendererThread([this] { renderer_->setHasWindow(false); });
    };
    connect(&player_, &MpvPlayer::idleChanged, this,
            [this](bool idle) { renderer_->setIdle(idle); });
}

MpvVideoWidget::~MpvVideoWidget() {
    window_->onChange = nullptr;
    window_->onSurface = nullptr;
    // The render thread lets go of the window and the engine before either goes.
    onRendererThread([this] { renderer_->tearDown(); });
    thread_.quit();
    thread_.wait();
    delete renderer_;
}

void MpvVideoWidget::onRendererThread(const std::function<void()>& work) {
    if (renderer_->thread() == QThread::currentThread())
        work();
    else
        QMetaObject::invokeMethod(renderer_, work, Qt::BlockingQueuedConnection);
}

void MpvVideoWidget::setLinesOver(const QImage& image, QPoint at) {
    renderer_->setLinesOver(image, at);
}

void MpvVideoWidget::windowShown() {
    settingUp_ = true;
    auto* context = new QOpenGLContext;
    context->setFormat(window_->requestedFormat());
    if (!context->create()) {
        delete context;
        qWarning("Video cannot be shown: no OpenGL context");
        renderingSetUp(false);
        return;
    }
    // Made here: an offscreen surface belongs to the Qt thread, though others may draw to it.
    fallback_ = std::make_unique<QOffscreenSurface>();
    fallback_->setFormat(context->format());
    fallback_->create();
    context->moveToThread(renderer_->thread());
    QMetaObject::invokeMethod(
        renderer_,
        [this, context, fallback = fallback_.get()] {
            const bool works = renderer_->setUp(context, fallback);
            QMetaObject::invokeMethod(
                this, [this, works] { renderingSetUp(works); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void MpvVideoWidget::renderingSetUp(bool) {
    settingUp_ = false;
    surfaceReady_ = true;
    renderer_->setIdle(player_.idle());
    emit surfaceReady();
}

}  // namespace qova::player
