#include "platform/mpv_probe.h"

#include <mpv/client.h>

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <clocale>
#include <memory>
#include <utility>

namespace qova::platform {
namespace {

constexpr const char* kProtocolListProperty = "protocol-list";
constexpr const char* kDemuxerListProperty = "demuxer-lavf-list";

constexpr const char* kVideoOutputOption = "vo";
constexpr const char* kAudioOutputOption = "ao";
constexpr const char* kIdleOption = "idle";
constexpr const char* kLoadScriptsOption = "load-scripts";

constexpr std::string_view kRtspProtocol = "rtsp";
constexpr std::string_view kRealMediaDemuxer = "rm";
constexpr std::string_view kNullsoftVideoDemuxer = "nsv";

constexpr std::array<std::string_view, 3> kRealPlayerProgIds = {
    "rmocx.RealPlayer G2 Control",
    "RealPlayer.RealPlayer(tm) ActiveX Control (32-bit)",
    "RealVideo.RealVideo(tm) ActiveX Control (32-bit)",
};
constexpr std::array<std::string_view, 2> kWinampProgIds = {
    "WinampCom.Application",
    "gen_scripting.winamp",
};

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// ProgIDs are registry keys, whose case rules are ASCII-only; a Unicode-aware comparison would
// let look-alike letters match.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

template <std::size_t N>
bool isOneOf(std::string_view progId, const std::array<std::string_view, N>& known) {
    return std::any_of(known.begin(), known.end(),
                       [&](std::string_view id) { return equalsIgnoringAsciiCase(progId, id); });
}

// libmpv refuses to start unless LC_NUMERIC is "C", and it parses numbers with the C library for
// as long as it runs. Qt sets the locale from the environment, so the probe switches LC_NUMERIC
// only while its own engine lives and then gives the program its locale back.
class CNumericLocale {
  public:
    CNumericLocale() {
        if (const char* current = std::setlocale(LC_NUMERIC, nullptr))
            saved_ = current;
        std::setlocale(LC_NUMERIC, "C");
    }
    ~CNumericLocale() {
        if (!saved_.empty())
            std::setlocale(LC_NUMERIC, saved_.c_str());
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

  private:
    std::string saved_;
};

struct MpvHandleDeleter {
    void operator()(mpv_handle* handle) const { mpv_terminate_destroy(handle); }
};
using MpvHandle = std::unique_ptr<mpv_handle, MpvHandleDeleter>;

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

void setError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

std::string describe(const char* what, std::string_view name, int rc) {
    return std::string(what) + " " + std::string(name) + ": " + mpv_error_string(rc);
}

bool setOption(mpv_handle* handle, const MpvOption& option, std::string* error) {
    const int rc = mpv_set_option_string(handle, option.name.c_str(), option.value.c_str());
    if (rc < 0) {
        setError(error, describe("cannot set libmpv option", option.name, rc));
        return false;
    }
    return true;
}

std::optional<std::vector<std::string>> readStringList(mpv_handle* handle, const char* property,
                                                       std::string* error) {
    MpvNode node;
    const int rc = node.read(handle, property);
    if (rc < 0) {
        setError(error, describe("cannot read libmpv property", property, rc));
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

std::optional<MediaCapabilities> readMpvCapabilities(const std::vector<MpvOption>& extraOptions,
                                                     std::string* error) {
    // Declared before the handle so that the locale comes back only after the engine is gone.
    const CNumericLocale locale;
    MpvHandle handle(mpv_create());
    if (!handle) {
        setError(error, "cannot create a libmpv instance");
        return std::nullopt;
    }
    // Only lists are read: no window, no sound device, no scripts, nothing to play.
    const std::vector<MpvOption> quiet = {{kVideoOutputOption, "null"},
                                          {kAudioOutputOption, "null"},
                                          {kIdleOption, "yes"},
                                          {kLoadScriptsOption, "no"}};
    for (const auto* options : {&quiet, &extraOptions}) {
        for (const MpvOption& option : *options) {
            if (!setOption(handle.get(), option, error))
                return std::nullopt;
        }
    }
    // Built-in scripts that would load only to be shut down again; an engine built without
    // scripting has no such options, which is no reason to fail.
    for (const char* script : {"load-stats-overlay", "load-osd-console", "load-auto-profiles"}) {
        mpv_set_option_string(handle.get(), script, "no");
    }
    if (const int rc = mpv_initialize(handle.get()); rc < 0) {
        setError(error, std::string("cannot start libmpv: ") + mpv_error_string(rc));
        return std::nullopt;
    }
    auto protocols = readStringList(handle.get(), kProtocolListProperty, error);
    if (!protocols)
        return std::nullopt;
    auto demuxers = readStringList(handle.get(), kDemuxerListProperty, error);
    if (!demuxers)
        return std::nullopt;
    return MediaCapabilities{std::move(*protocols), std::move(*demuxers)};
}

ProbeResult probeResultFor(std::string_view progId, const MediaCapabilities& capabilities) {
    if (isOneOf(progId, kRealPlayerProgIds)) {
        return capabilities.hasProtocol(kRtspProtocol) && capabilities.hasDemuxer(kRealMediaDemuxer)
                   ? ProbeResult::Object
                   : ProbeResult::Failure;
    }
    if (isOneOf(progId, kWinampProgIds)) {
        return capabilities.hasDemuxer(kNullsoftVideoDemuxer) ? ProbeResult::Object
                                                              : ProbeResult::Failure;
    }
    // Creating an object whose class is not installed fails.
    return ProbeResult::Failure;
}

MpvProbe::MpvProbe()
    : MpvProbe([]() -> std::optional<MediaCapabilities> {
          std::string error;
          auto capabilities = readMpvCapabilities({}, &error);
          if (!capabilities)
              qWarning("Media engine unavailable, no player found: %s", error.c_str());
          return capabilities;
      }) {}

MpvProbe::MpvProbe(CapabilityReader reader) : reader_(std::move(reader)) {}

ProbeResult MpvProbe::probePlayerControl(const std::string& progId) {
    if (!asked_) {
        asked_ = true;
        if (reader_)
            capabilities_ = reader_();
    }
    if (!capabilities_)
        return ProbeResult::Failure;
    return probeResultFor(progId, *capabilities_);
}

}  // namespace qova::platform
