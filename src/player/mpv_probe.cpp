#include "player/mpv_probe.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace qova::player {
namespace {

using platform::ProbeResult;

constexpr std::string_view kRtspProtocol = "rtsp";
constexpr std::string_view kRealMediaDemuxer = "rm";
constexpr std::string_view kNullsoftVideoDemuxer = "nsv";

// ProgIDs are registry keys, whose case rules are ASCII-only.
template <typename List>
bool isOneOf(std::string_view progId, const List& known) {
    return std::any_of(std::begin(known), std::end(known), [&](std::string_view id) {
        return platform::equalsIgnoringAsciiCase(progId, id);
    });
}

}  // namespace

platform::ProbeResult probeResultFor(std::string_view progId,
                                     const MediaCapabilities& capabilities) {
    if (isOneOf(progId, platform::kRealPlayerProgIds)) {
        return capabilities.hasProtocol(kRtspProtocol) && capabilities.hasDemuxer(kRealMediaDemuxer)
                   ? platform::ProbeResult::Object
                   : platform::ProbeResult::Failure;
    }
    if (isOneOf(progId, platform::kWinampProgIds)) {
        return capabilities.hasDemuxer(kNullsoftVideoDemuxer) ? platform::ProbeResult::Object
                                                              : platform::ProbeResult::Failure;
    }
    // Creating an object whose class is not installed fails.
    return platform::ProbeResult::Failure;
}

MpvProbe::MpvProbe(CapabilityReader reader) : reader_(std::move(reader)) {}

platform::ProbeResult MpvProbe::probePlayerControl(const std::string& progId) {
    if (!asked_) {
        asked_ = true;
        if (reader_)
            capabilities_ = reader_();
    }
    if (!capabilities_)
        return platform::ProbeResult::Failure;
    return probeResultFor(progId, *capabilities_);
}

}  // namespace qova::player
