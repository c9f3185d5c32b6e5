#include "playback_support.h"

#include "player/mpv_player.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <mpv/client.h>
#include <mpv/render_gl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace qova::bench {
namespace {

// Clock::now() as a number, 0 meaning "not yet"; written from libmpv's threads.
std::atomic<Clock::rep> gWakeupSince{0};
// libmpv's own script threads (stats, console) take events through the same entry points; only
// the main thread, where the benchmarks and the program's player run, counts.
const pthread_t gTimedThread = pthread_self();
EngineTimes gTimes;
double gLastWakeupMs = 0.0;

template <typename Function>
Function realFunction(const char* name) {
    // The next definition after this executable's: libmpv's own.
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

struct WakeupTarget {
    void (*callback)(void*);
    void* data;
};

void noteWakeup(void* target) {
    const Clock::rep now = Clock::now().time_since_epoch().count();
    Clock::rep none = 0;
    gWakeupSince.compare_exchange_strong(none, now);
    const auto* wrapped = static_cast<const WakeupTarget*>(target);
    wrapped->callback(wrapped->data);
}

}  // namespace
}  // namespace qova::bench

// The executable's definitions of these libmpv entry points come before the library's, for the
// program's player as for the bare instance; each notes the time and calls the library's.
extern "C" {

int mpv_command_async(mpv_handle* ctx, uint64_t reply_userdata, const char** args) {
    using namespace qova::bench;
    static const auto real =
        realFunction<int (*)(mpv_handle*, uint64_t, const char**)>("mpv_command_async");
    if (pthread_equal(pthread_self(), gTimedThread) && args != nullptr && args[0] != nullptr &&
        std::strcmp(args[0], "loadfile") == 0 && !gTimes.loadIssued)
        gTimes.loadIssued = Clock::now();
    return real(ctx, reply_userdata, args);
}

mpv_event* mpv_wait_event(mpv_handle* ctx, double timeout) {
    using namespace qova::bench;
    static const auto real = realFunction<mpv_event* (*)(mpv_handle*, double)>("mpv_wait_event");
    mpv_event* event = real(ctx, timeout);
    if (!pthread_equal(pthread_self(), gTimedThread))
        return event;
    const auto now = Clock::now();
    if (const Clock::rep since = gWakeupSince.exchange(0); since != 0)
        gLastWakeupMs = msBetween(Clock::time_point(Clock::duration(since)), now);
    // The first restart after a load is the start; later ones are seeks or resyncs.
    if (event != nullptr && event->event_id == MPV_EVENT_PLAYBACK_RESTART && !gTimes.restartTaken) {
        gTimes.restartTaken = now;
        gTimes.restartWakeupMs = gLastWakeupMs;
    }
    return event;
}

// With QOVA_BENCH_ENGINE_LOGS=<folder>, every engine writes its debug log there (engine-0.log,
// engine-1.log, ... in the order they start): where a start's milliseconds go, line by line.
int mpv_initialize(mpv_handle* ctx) {
    static const auto real = qova::bench::realFunction<int (*)(mpv_handle*)>("mpv_initialize");
    static std::atomic<int> started{0};
    if (const char* folder = std::getenv("QOVA_BENCH_ENGINE_LOGS")) {
        const std::string file =
            std::string(folder) + "/engine-" + std::to_string(started++) + ".log";
        mpv_set_option_string(ctx, "log-file", file.c_str());
        mpv_set_option_string(ctx, "msg-level", "all=debug");
    }
    return real(ctx);
}

void mpv_set_wakeup_callback(mpv_handle* ctx, void (*cb)(void* d), void* d) {
    using namespace qova::bench;
    static const auto real =
        realFunction<void (*)(mpv_handle*, void (*)(void*), void*)>("mpv_set_wakeup_callback");
    if (cb == nullptr) {
        real(ctx, nullptr, nullptr);
        return;
    }
    // Kept for the life of the process: libmpv may still be calling an earlier one.
    auto* target = new WakeupTarget{cb, d};
    real(ctx, &noteWakeup, target);
}
}

namespace qova::bench {

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double statusMb(const char* field, const std::string& process) {
    std::ifstream status("/proc/" + process + "/status");
    const std::string name(field);
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name, 0) == 0)
            return std::stod(line.substr(name.size())) / 1024.0;
    }
    return 0.0;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// QTest::qWaitFor sleeps 10 ms between rounds, which would add its own delay to every hop
// between libmpv's threads and the Qt thread; this wakes for every event, as exec() does. The
// tick only bounds the wait when nothing else happens.
bool runUntil(const std::function<bool()>& done, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(100);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void runFor(Clock::duration span) {
    const auto end = Clock::now() + span;
    runUntil([&] { return Clock::now() >= end; }, span + 1s);
}

EngineTimes engineTimes() {
    return gTimes;
}

void resetEngineTimes() {
    gTimes = {};
}

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

namespace {

int connectWhileRunning(pid_t pid, const std::string& socketPath, Clock::time_point deadline) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof(address.sun_path) - 1);
    while (Clock::now() < deadline && ::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            return fd;
        std::this_thread::sleep_for(1ms);
    }
    ::close(fd);
    return -1;
}

void endProcess(pid_t pid) {
    const auto limit = Clock::now() + 3s;
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() >= limit) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(5ms);
    }
}

}  // namespace

std::optional<double> mpvProgramStart(const std::string& program, const std::string& url,
                                      const std::string& socketPath) {
    ::unlink(socketPath.c_str());
    std::vector<std::string> words = {
        program, "--no-config", "--ao=null", "--vo=null", "--input-ipc-server=" + socketPath, url};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const auto start = Clock::now();
    const auto deadline = start + kWaitLimit;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only calls that are safe between fork and exec in a program with threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::setpgid(0, 0);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(devNull);
    if (pid < 0)
        return std::nullopt;

    std::optional<double> result;
    const int fd = connectWhileRunning(pid, socketPath, deadline);
    std::string received;
    while (fd >= 0 && !result && Clock::now() < deadline) {
        pollfd wait{fd, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&wait, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
        if (received.find("\"playback-restart\"") != std::string::npos)
            result = msBetween(start, Clock::now());
    }
    if (fd >= 0) {
        const char quit[] = "{\"command\":[\"quit\"]}\n";
        [[maybe_unused]] const ssize_t sent = ::write(fd, quit, sizeof(quit) - 1);
        ::close(fd);
    }
    endProcess(pid);
    ::unlink(socketPath.c_str());
    std::this_thread::sleep_for(kSettle);
    return result;
}

}  // namespace qova::bench
