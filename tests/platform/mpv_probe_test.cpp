// The player probe: its decision from given capability lists, and the real libmpv of this machine.
#include "platform/mpv_probe.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <clocale>
#include <optional>
#include <string>
#include <vector>

namespace qova::platform {
namespace {

const std::vector<std::string> kRealPlayerIds = {
    "rmocx.RealPlayer G2 Control",
    "RealPlayer.RealPlayer(tm) ActiveX Control (32-bit)",
    "RealVideo.RealVideo(tm) ActiveX Control (32-bit)",
};
const std::vector<std::string> kWinampIds = {"WinampCom.Application", "gen_scripting.winamp"};

TEST(ProbeDecision, EachPlayerNeedsItsProtocolAndFormatsByWholeName) {
    // "rtsps" is another protocol and "rmvb" or "nsvx" other formats; an entry may name several.
    const MediaCapabilities lookalikes{{"rtsps"}, {"rmvb", "nsvx,rmx"}};
    const MediaCapabilities rtspAndNsv{{"file", "rtsp"}, {"flv,nsv"}};
    const MediaCapabilities rmOnly{{"http"}, {"rm"}};
    const MediaCapabilities real{{"http", "rtsp"}, {"mov,rm,rmvb"}};
    for (const auto& id : kRealPlayerIds) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probeResultFor(id, lookalikes), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rtspAndNsv), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rmOnly), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, real), ProbeResult::Object);
    }
    for (const auto& id : kWinampIds) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probeResultFor(id, lookalikes), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, real), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rtspAndNsv), ProbeResult::Object);
    }
}

TEST(ProbeDecision, ProgIdsMatchWholeIgnoringAsciiCaseOnly) {
    const MediaCapabilities all{{"rtsp"}, {"rm", "nsv"}};
    for (const char* id : {"RMOCX.REALPLAYER G2 CONTROL", "winampcom.application"})
        EXPECT_EQ(probeResultFor(id, all), ProbeResult::Object) << id;
    // Look-alike letters outside ASCII and near misses name other, unknown objects.
    for (const char* id : {"WİnampCom.Application", "gen_ſcripting.winamp", "", "WMPlayer.OCX",
                           "WinampCom", "WinampCom.Application ", "rmocx.RealPlayer G2 Control.1"})
        EXPECT_EQ(probeResultFor(id, all), ProbeResult::Failure) << id;
}

TEST(ProbeDecision, EngineIsAskedOnceAtTheFirstProbeEvenWhenItFails) {
    for (const bool starts : {true, false}) {
        int asked = 0;
        MpvProbe probe([&] {
            ++asked;
            return starts ? std::optional(MediaCapabilities{{"rtsp"}, {"rm"}}) : std::nullopt;
        });
        EXPECT_EQ(asked, 0);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(probe.probePlayerControl(kRealPlayerIds[0]),
                      starts ? ProbeResult::Object : ProbeResult::Failure);
        }
        EXPECT_EQ(asked, 1) << starts;
    }
}

// The engine's lists in its own comma-joined form, read without the code under test.
std::vector<std::string> listsFromLibmpv() {
    std::vector<std::string> lists(2);
    mpv_handle* handle = mpv_create();
    if (handle && mpv_initialize(handle) >= 0) {
        for (int i = 0; i < 2; ++i) {
            char* value =
                mpv_get_property_string(handle, i ? "demuxer-lavf-list" : "protocol-list");
            lists[i] = value ? value : "";
            mpv_free(value);
        }
    }
    if (handle)
        mpv_terminate_destroy(handle);
    return lists;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

TEST(RealEngine, ReadsWhatLibmpvListsUnderTheProgramLocaleAndLeavesItBe) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    const auto lists = listsFromLibmpv();
    // Qt gives the program the locale of its environment; libmpv refuses to start under most.
    const bool switched =
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "C.UTF-8");
    const std::string programLocale = std::setlocale(LC_NUMERIC, nullptr);
    std::string error;
    const auto read = readMpvCapabilities({}, &error);
    const std::string afterwards = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, saved.c_str());

    EXPECT_TRUE(switched) << "no locale but C here to start under";
    EXPECT_EQ(afterwards, programLocale);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(joined(read->protocols), lists[0]);
    EXPECT_EQ(joined(read->demuxers), lists[1]);
    MpvProbe probe;
    for (const auto& id : {kRealPlayerIds[0], kWinampIds[0]})
        EXPECT_EQ(probe.probePlayerControl(id), probeResultFor(id, *read)) << id;
}

TEST(RealEngine, EngineThatCannotStartSaysWhy) {
    std::string error;
    EXPECT_FALSE(readMpvCapabilities({{"qova-no-such-option", "yes"}}, &error).has_value());
    EXPECT_NE(error.find("qova-no-such-option"), std::string::npos) << error;
    EXPECT_NE(error.find(mpv_error_string(MPV_ERROR_OPTION_NOT_FOUND)), std::string::npos) << error;
}

}  // namespace
}  // namespace qova::platform
