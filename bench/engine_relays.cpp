// libmpv's entry points as the benchmarks see them: this executable's definitions come before
// the library's, for the program's player as for a bare instance; each notes the time and calls
// the library's own.
#include <dlfcn.h>
#include <mpv/client.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "playback_support.h"

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

EngineTimes engineTimes() {
    return gTimes;
}

void resetEngineTimes() {
    gTimes = {};
}

}  // namespace qova::bench
