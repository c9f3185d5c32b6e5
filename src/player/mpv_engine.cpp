#include "player/mpv_engine.h"

#include <malloc.h>
#include <mpv/client.h>

#include <algorithm>
#include <clocale>
#include <memory>

#include "player/failure_reason.h"
#include "player/mpv_library.h"

namespace qova::player {
namespace {

constexpr const char* kProtocolListProperty = "protocol-list";
constexpr const char* kDemuxerListProperty = "demuxer-lavf-list";

void setError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

class MpvNode {
  public:
    MpvNode() = default;
    ~MpvNode() {
        if (filled_)
            mpv_free_node_contents(&node_);
    }
    MpvNode(const MpvNode&) = delete;
    MpvNode& operator=(const MpvNode&) = delete;

    int read(mpv_handle* handle, const char* property) {
        const int rc = mpv_get_property(handle, property, MPV_FORMAT_NODE, &node_);
        filled_ = rc >= 0;
        return rc;
    }
    const mpv_node& get() const { return node_; }

  private:
    mpv_node node_{};
    bool filled_ = false;
};

std::optional<std::vector<std::string>> readStringList(mpv_handle* handle, const char* property,
                                                       std::string* error) {
    MpvNode node;
    if (const int rc = node.read(handle, property); rc < 0) {
        setError(error, std::string("cannot read libmpv property ") + property + ": " +
                            mpv_error_string(rc));
        return std::nullopt;
    }
    if (node.get().format != MPV_FORMAT_NODE_ARRAY || node.get().u.list == nullptr) {
        setError(error, std::string("libmpv property ") + property + " is not a list");
        return std::nullopt;
    }
    const mpv_node_list& list = *node.get().u.list;
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(list.num));
    for (int i = 0; i < list.num; ++i) {
        const mpv_node& item = list.values[i];
        if (item.format == MPV_FORMAT_STRING && item.u.string)
            names.emplace_back(item.u.string);
    }
    return names;
}

}  // namespace

void prepareProcess() {
    std::setlocale(LC_NUMERIC, "C");
#ifdef M_ARENA_MAX  // the GNU C library's
    mallopt(M_ARENA_MAX, 2);
#endif
}

void returnFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

std::vector<MpvEngineOption> mpvEngineOptions(const MpvPlayerOptions& options) {
    std::vector<MpvEngineOption> list = {
        {"vo", options.renderVideo ? "libmpv" : "null"},
        {"terminal", "no"},
        {"idle", "yes"},
        {"keep-open", "no"},
        {"force-window", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"load-scripts", "no"},
        {"osc", "no", true},
        {"ytdl", "no", true},
        // Built-in scripts the program never uses: each costs megabytes and milliseconds.
        {"load-stats-overlay", "no", true},
        {"load-osd-console", "no", true},
        {"load-auto-profiles", "no", true},
        {"network-timeout", "15"},
        {"user-agent", kEngineUserAgent},
        // Live streams never end, so reading ahead is bounded by memory, not by time, and a
        // live edge rarely lets it fill; what was played is of no use without seeking back, and
        // kept it would only grow the program by megabytes a minute.
        {"cache", "auto"},
        {"demuxer-max-bytes", "16MiB"},
        {"demuxer-max-back-bytes", "512KiB"},
        {"audio-client-name", "QOVA"},
        {"loop-file", "no"},
    };
    if (!options.audioOutput.empty())
        list.push_back({"ao", options.audioOutput});
    for (const auto& [name, value] : options.moreEngineOptions)
        list.push_back({name, value});
    return list;
}

bool applyEngineOptions(mpv_handle* handle, const std::vector<MpvEngineOption>& options,
                        std::string* error) {
    for (const MpvEngineOption& option : options) {
        const int rc = mpv_set_option_string(handle, option.name.c_str(), option.value.c_str());
        if (rc == MPV_ERROR_OPTION_NOT_FOUND && option.mayBeMissing)
            continue;
        if (rc < 0) {
            setError(error, "cannot set option " + option.name + "=" + option.value + ": " +
                                mpv_error_string(rc));
            return false;
        }
    }
    return true;
}

bool MediaCapabilities::hasProtocol(std::string_view name) const {
    return std::find(protocols.begin(), protocols.end(), name) != protocols.end();
}

bool MediaCapabilities::hasDemuxer(std::string_view name) const {
    return std::any_of(demuxers.begin(), demuxers.end(), [&](std::string_view entry) {
        while (!entry.empty()) {
            const auto comma = entry.find(',');
            if (entry.substr(0, comma) == name)
                return true;
            if (comma == std::string_view::npos)
                break;
            entry.remove_prefix(comma + 1);
        }
        return false;
    });
}

std::optional<MediaCapabilities> readCapabilities(mpv_handle* handle, std::string* error) {
    if (handle == nullptr) {
        setError(error, "the media engine is not running");
        return std::nullopt;
    }
    auto protocols = readStringList(handle, kProtocolListProperty, error);
    if (!protocols)
        return std::nullopt;
    auto demuxers = readStringList(handle, kDemuxerListProperty, error);
    if (!demuxers)
        return std::nullopt;
    return MediaCapabilities{std::move(*protocols), std::move(*demuxers)};
}

std::optional<MediaCapabilities> readEngineCapabilities(std::string* error) {
    std::string why;
    if (!loadEngineLibrary(&why)) {
        setError(error, why);
        return std::nullopt;
    }
    const std::unique_ptr<mpv_handle, decltype(&mpv_terminate_destroy)> handle(
        mpv_create(), &mpv_terminate_destroy);
    if (!handle) {
        setError(error, "cannot create a libmpv instance");
        return std::nullopt;
    }
    if (!applyEngineOptions(handle.get(),
                            mpvEngineOptions({.renderVideo = false, .audioOutput = "null"}), error))
        return std::nullopt;
    if (const int rc = mpv_initialize(handle.get()); rc < 0) {
        setError(error, std::string("cannot initialise libmpv: ") + mpv_error_string(rc));
        return std::nullopt;
    }
    return readCapabilities(handle.get(), error);
}

std::string failureReason(int error, const std::vector<std::string>& log) {
    return failureReason(error, log, &mpv_error_string);
}

std::string endFileMessage(int reason, int error, const std::vector<std::string>& log) {
    return endFileMessage(reason, error, log, &mpv_error_string);
}

}  // namespace qova::player
