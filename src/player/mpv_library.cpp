#include "player/mpv_library.h"

#include <dlfcn.h>
#include <mpv/client.h>
#include <mpv/render.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define QOVA_LEAK_CHECKED 1
#endif

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace qova::player {
namespace {

// Every entry point of libmpv the program uses.
#define QOVA_MPV_ENTRY_POINTS(X)              \
    X(mpv_create)                             \
    X(mpv_initialize)                         \
    X(mpv_terminate_destroy)                  \
    X(mpv_error_string)                       \
    X(mpv_free)                               \
    X(mpv_free_node_contents)                 \
    X(mpv_set_option_string)                  \
    X(mpv_set_property)                       \
    X(mpv_set_property_string)                \
    X(mpv_get_property)                       \
    X(mpv_get_property_string)                \
    X(mpv_get_property_async)                 \
    X(mpv_command)                            \
    X(mpv_command_async)                      \
    X(mpv_observe_property)                   \
    X(mpv_request_log_messages)               \
    X(mpv_wait_event)                         \
    X(mpv_set_wakeup_callback)                \
    X(mpv_render_context_create)              \
    X(mpv_render_context_set_update_callback) \
    X(mpv_render_context_update)              \
    X(mpv_render_context_render)              \
    X(mpv_render_context_report_swap)         \
    X(mpv_render_context_free)

struct EntryPoints {
#define QOVA_MPV_FIELD(name) decltype(&::name) name = nullptr;
    QOVA_MPV_ENTRY_POINTS(QOVA_MPV_FIELD)
#undef QOVA_MPV_FIELD
};

// The library this program was built against: its soname follows the client API's major version.
const std::string kLibraryFile = "libmpv.so." + std::to_string(MPV_CLIENT_API_VERSION >> 16);

std::mutex gMutex;
void* gLibrary = nullptr;
EntryPoints gEntryPoints;
// Set once the entry points are all there; calls made with a handle read them without the lock,
// which is safe because the library is not unloaded while a handle lives.
std::atomic<const EntryPoints*> gLoaded{nullptr};
int gHandles = 0;
bool gKept = false;

bool loadLocked(std::string* error) {
    if (gLibrary != nullptr)
        return true;
#ifdef QOVA_LEAK_CHECKED
    // Libraries libmpv brings (GnuTLS, pixman) allocate process-wide state in their initialisers
    // that unloading them does not free, some 120 KB once per load: theirs, not the program's.
    __lsan_disable();
#endif
    void* library = ::dlopen(kLibraryFile.c_str(), RTLD_NOW | RTLD_LOCAL);
#ifdef QOVA_LEAK_CHECKED
    __lsan_enable();
#endif
    if (library == nullptr) {
        if (error)
            *error = "cannot load " + kLibraryFile + ": " + ::dlerror();
        return false;
    }
    EntryPoints found;
    const char* missing = nullptr;
#define QOVA_MPV_FIND(name)                                                    \
    found.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
    if (found.name == nullptr && missing == nullptr)                           \
        missing = #name;
    QOVA_MPV_ENTRY_POINTS(QOVA_MPV_FIND)
#undef QOVA_MPV_FIND
    if (missing != nullptr) {
        ::dlclose(library);
        if (error)
            *error = kLibraryFile + " has no " + missing;
        return false;
    }
    gLibrary = library;
    gEntryPoints = found;
    gLoaded.store(&gEntryPoints, std::memory_order_release);
    return true;
}

const EntryPoints& api() {
    return *gLoaded.load(std::memory_order_acquire);
}

}  // namespace

bool loadEngineLibrary(std::string* error, bool keep) {
    const std::lock_guard lock(gMutex);
    if (!loadLocked(error))
        return false;
    gKept = gKept || keep;
    return true;
}

void unloadEngineLibraryIfUnused() {
    const std::lock_guard lock(gMutex);
    if (gLibrary == nullptr || gHandles > 0 || gKept)
        return;
    gLoaded.store(nullptr, std::memory_order_release);
    ::dlclose(std::exchange(gLibrary, nullptr));
}

bool engineLibraryLoaded() {
    const std::lock_guard lock(gMutex);
    return gLibrary != nullptr;
}

}  // namespace qova::player

using qova::player::api;

// The program's definitions of libmpv's functions. Weak, so that a benchmark may put its own
// timing relays before them.
extern "C" {

__attribute__((weak)) mpv_handle* mpv_create(void) {
    using namespace qova::player;
    const std::lock_guard lock(gMutex);
    if (!loadLocked(nullptr))
        return nullptr;
    mpv_handle* handle = api().mpv_create();
    if (handle != nullptr)
        ++gHandles;
    return handle;
}

__attribute__((weak)) void mpv_terminate_destroy(mpv_handle* ctx) {
    using namespace qova::player;
    if (ctx == nullptr)
        return;
    // Not under the lock: it waits for the instance's threads to end.
    api().mpv_terminate_destroy(ctx);
    const std::lock_guard lock(gMutex);
    --gHandles;
}

__attribute__((weak)) const char* mpv_error_string(int error) {
    using namespace qova::player;
    const std::lock_guard lock(gMutex);
    return gLibrary != nullptr ? api().mpv_error_string(error) : "the media engine is not loaded";
}

__attribute__((weak)) int mpv_initialize(mpv_handle* ctx) {
    return api().mpv_initialize(ctx);
}

__attribute__((weak)) void mpv_free(void* data) {
    api().mpv_free(data);
}

__attribute__((weak)) void mpv_free_node_contents(mpv_node* node) {
    api().mpv_free_node_contents(node);
}

__attribute__((weak)) int mpv_set_option_string(mpv_handle* ctx, const char* name,
                                                const char* data) {
    return api().mpv_set_option_string(ctx, name, data);
}

__attribute__((weak)) int mpv_set_property(mpv_handle* ctx, const char* name, mpv_format format,
                                           void* data) {
    return api().mpv_set_property(ctx, name, format, data);
}

__attribute__((weak)) int mpv_set_property_string(mpv_handle* ctx, const char* name,
                                                  const char* data) {
    return api().mpv_set_property_string(ctx, name, data);
}

__attribute__((weak)) int mpv_get_property(mpv_handle* ctx, const char* name, mpv_format format,
                                           void* data) {
    return api().mpv_get_property(ctx, name, format, data);
}

__attribute__((weak)) int mpv_get_property_async(mpv_handle* ctx, uint64_t reply_userdata,
                                                 const char* name, mpv_format format) {
    return api().mpv_get_property_async(ctx, reply_userdata, name, format);
}

__attribute__((weak)) char* mpv_get_property_string(mpv_handle* ctx, const char* name) {
    return api().mpv_get_property_string(ctx, name);
}

__attribute__((weak)) int mpv_command(mpv_handle* ctx, const char** args) {
    return api().mpv_command(ctx, args);
}

__attribute__((weak)) int mpv_command_async(mpv_handle* ctx, uint64_t reply_userdata,
                                            const char** args) {
    return api().mpv_command_async(ctx, reply_userdata, args);
}

__attribute__((weak)) int mpv_observe_property(mpv_handle* mpv, uint64_t reply_userdata,
                                               const char* name, mpv_format format) {
    return api().mpv_observe_property(mpv, reply_userdata, name, format);
}

__attribute__((weak)) int mpv_request_log_messages(mpv_handle* ctx, const char* min_level) {
    return api().mpv_request_log_messages(ctx, min_level);
}

__attribute__((weak)) mpv_event* mpv_wait_event(mpv_handle* ctx, double timeout) {
    return api().mpv_wait_event(ctx, timeout);
}

__attribute__((weak)) void mpv_set_wakeup_callback(mpv_handle* ctx, void (*cb)(void* d), void* d) {
    api().mpv_set_wakeup_callback(ctx, cb, d);
}

__attribute__((weak)) int mpv_render_context_create(mpv_render_context** res, mpv_handle* mpv,
                                                    mpv_render_param* params) {
    return api().mpv_render_context_create(res, mpv, params);
}

__attribute__((weak)) void mpv_render_context_set_update_callback(mpv_render_context* ctx,
                                                                  mpv_render_update_fn callback,
                                                                  void* callback_ctx) {
    api().mpv_render_context_set_update_callback(ctx, callback, callback_ctx);
}

__attribute__((weak)) uint64_t mpv_render_context_update(mpv_render_context* ctx) {
    return api().mpv_render_context_update(ctx);
}

__attribute__((weak)) int mpv_render_context_render(mpv_render_context* ctx,
                                                    mpv_render_param* params) {
    return api().mpv_render_context_render(ctx, params);
}

__attribute__((weak)) void mpv_render_context_report_swap(mpv_render_context* ctx) {
    api().mpv_render_context_report_swap(ctx);
}

__attribute__((weak)) void mpv_render_context_free(mpv_render_context* ctx) {
    api().mpv_render_context_free(ctx);
}

}  // extern "C"
