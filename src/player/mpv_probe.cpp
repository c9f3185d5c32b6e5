#include "player/mpv_probe.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <future>
#include <utility>

#include "platform/text.h"
#include "player/mpv_library.h"

namespace qova::player {
namespace {

using platform::ProbeResult;

constexpr std::string_view kRtspProtocol = "rtsp";
constexpr std::string_view kRealMediaDemuxer = "rm";
constexpr std::string_view kNullsoftVideoDemuxer = "nsv";
constexpr std::chrono::milliseconds kUnloadAfterProbe{1000};

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

std::unique_ptr<MpvProbe> probeAskingInBackground() {
    struct Answer {
        std::optional<MediaCapabilities> capabilities;
        std::string error;
    };
    auto answer = std::make_shared<std::future<Answer>>(std::async(std::launch::async, [] {
        Answer read;
        read.capabilities = readEngineCapabilities(&read.error);
        return read;
    }));
    return std::make_unique<MpvProbe>([answer] {
        Answer read = answer->get();
        if (!read.capabilities)
            qWarning("Media engine unavailable, no player found: %s", read.error.c_str());
        // Unloading takes the loader's lock for milliseconds: not while the program starts.
        QTimer::singleShot(kUnloadAfterProbe, QCoreApplication::instance(), [] {
            QThreadPool::globalInstance()->start([] { unloadEngineLibraryIfUnused(); });
        });
        return read.capabilities;
    });
}

}  // namespace qova::player
