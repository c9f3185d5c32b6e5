// A bare libmpv instance set up as the program's player sets up its engine, beside which the
// program's channel starts are measured.
#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "playback_support.h"
#include "player/mpv_player.h"

namespace qova::bench {

/// libmpv's render API drawing into an offscreen framebuffer of the player area's size, on a
/// thread of its own, whenever libmpv asks.
class PictureDrawer {
  public:
    explicit PictureDrawer(mpv_handle* handle) {
        surface_.create();
        context_ = new QOpenGLContext;
        if (!context_->create()) {
            delete context_;
            return;
        }
        std::promise<bool> made;
        thread_.reset(QThread::create([this, handle, &made] { run(handle, made); }));
        context_->moveToThread(thread_.get());
        thread_->start();
        working_ = made.get_future().get();
    }
    ~PictureDrawer() {
        if (!thread_)
            return;
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        asked_.notify_one();
        thread_->wait();
    }
    PictureDrawer(const PictureDrawer&) = delete;
    PictureDrawer& operator=(const PictureDrawer&) = delete;

    bool working() const { return working_; }

  private:
    void run(mpv_handle* handle, std::promise<bool>& made) {
        // Everything of OpenGL lives and goes on this thread.
        std::unique_ptr<QOpenGLContext> context(context_);
        if (!context->makeCurrent(&surface_)) {
            made.set_value(false);
            return;
        }
        QOpenGLFramebufferObject framebuffer(550, 338);
        mpv_opengl_init_params init{[](void*, const char* name) -> void* {
                                        return reinterpret_cast<void*>(
                                            QOpenGLContext::currentContext()->getProcAddress(name));
                                    },
                                    nullptr};
        mpv_render_param create[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &init},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        mpv_render_context* render = nullptr;
        if (mpv_render_context_create(&render, handle, create) < 0) {
            made.set_value(false);
            return;
        }
        mpv_render_context_set_update_callback(
            render,
            [](void* self) {
                auto* drawer = static_cast<PictureDrawer*>(self);
                {
                    const std::lock_guard lock(drawer->mutex_);
                    drawer->drawAsked_ = true;
                }
                drawer->asked_.notify_one();
            },
            this);
        made.set_value(true);
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                asked_.wait(lock, [&] { return drawAsked_ || stopping_; });
                if (stopping_)
                    break;
                drawAsked_ = false;
            }
            if (!(mpv_render_context_update(render) & MPV_RENDER_UPDATE_FRAME))
                continue;
            mpv_opengl_fbo target{static_cast<int>(framebuffer.handle()), framebuffer.width(),
                                  framebuffer.height(), 0};
            int flip = 1;
            mpv_render_param params[] = {
                {MPV_RENDER_PARAM_OPENGL_FBO, &target},
                {MPV_RENDER_PARAM_FLIP_Y, &flip},
                {MPV_RENDER_PARAM_INVALID, nullptr},
            };
            mpv_render_context_render(render, params);
            // A software renderer draws at the flush: the frame is done only then, as at a swap.
            context->functions()->glFinish();
            mpv_render_context_report_swap(render);
        }
        mpv_render_context_set_update_callback(render, nullptr, nullptr);
        mpv_render_context_free(render);
        context->doneCurrent();
    }

    QOffscreenSurface surface_;
    QOpenGLContext* context_ = nullptr;
    std::unique_ptr<QThread> thread_;
    bool working_ = false;
    std::mutex mutex_;
    std::condition_variable asked_;
    bool drawAsked_ = false;
    bool stopping_ = false;
};

BareMpv::BareMpv(bool drawsPicture) : handle_(mpv_create()) {
    if (handle_ == nullptr)
        return;
    // As the program's player has them, with a silent output.
    player::MpvPlayerOptions silent;
    silent.renderVideo = drawsPicture;
    silent.audioOutput = "null";
    if (!player::applyEngineOptions(handle_, player::mpvEngineOptions(silent), nullptr) ||
        mpv_initialize(handle_) < 0 ||
        mpv_observe_property(handle_, 1, "idle-active", MPV_FORMAT_FLAG) < 0 ||
        (drawsPicture && !setUpPicture())) {
        drawer_.reset();
        mpv_terminate_destroy(handle_);
        handle_ = nullptr;
    }
}

BareMpv::~BareMpv() {
    // The render context goes before the engine.
    drawer_.reset();
    if (handle_ != nullptr)
        mpv_terminate_destroy(handle_);
}

bool BareMpv::setUpPicture() {
    drawer_ = std::make_unique<PictureDrawer>(handle_);
    return drawer_->working();
}

template <typename Done>
bool BareMpv::waitFor(Clock::time_point deadline, Done done) {
    while (Clock::now() < deadline) {
        const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        const mpv_event* event = mpv_wait_event(handle_, std::max(left, 0.0));
        if (event->event_id == MPV_EVENT_NONE)
            continue;
        if (event->event_id == MPV_EVENT_END_FILE &&
            static_cast<const mpv_event_end_file*>(event->data)->reason ==
                MPV_END_FILE_REASON_ERROR)
            return false;
        if (done(*event))
            return true;
    }
    return false;
}

std::optional<BareMpv::Start> BareMpv::open(const std::string& url) {
    const auto start = Clock::now();
    // The program's player sets it before every load.
    mpv_set_property_string(handle_, "loop-file", "no");
    const char* args[] = {"loadfile", url.c_str(), "replace", nullptr};
    if (mpv_command_async(handle_, 1, args) < 0)
        return std::nullopt;
    std::optional<double> loaded;
    const bool restarted = waitFor(start + kWaitLimit, [&](const mpv_event& event) {
        if (event.event_id == MPV_EVENT_FILE_LOADED)
            loaded = msBetween(start, Clock::now());
        return event.event_id == MPV_EVENT_PLAYBACK_RESTART;
    });
    if (!restarted)
        return std::nullopt;
    const double restart = msBetween(start, Clock::now());
    return Start{loaded.value_or(restart), restart};
}

bool BareMpv::stop() {
    const char* args[] = {"stop", nullptr};
    if (mpv_command_async(handle_, 2, args) < 0)
        return false;
    const bool idle = waitFor(Clock::now() + kWaitLimit, [](const mpv_event& event) {
        if (event.event_id != MPV_EVENT_PROPERTY_CHANGE)
            return false;
        const auto& property = *static_cast<const mpv_event_property*>(event.data);
        return property.format == MPV_FORMAT_FLAG && *static_cast<int*>(property.data) != 0;
    });
    std::this_thread::sleep_for(kSettle);
    return idle;
}

}  // namespace qova::bench
