// The player probe: the decision from given capability lists, and the real libmpv of this machine.
#include "platform/mpv_probe.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <clocale>
#include <memory>
#include <set>
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

MediaCapabilities capabilities(std::vector<std::string> protocols,
                               std::vector<std::string> demuxers) {
    return MediaCapabilities{std::move(protocols), std::move(demuxers)};
}

// ---- The decision, from given lists ----

TEST(ProbeDecision, RealPlayerNeedsBothRtspAndRealMedia) {
    const auto none = capabilities({"file", "http"}, {"mov,mp4,m4a", "matroska,webm"});
    const auto rtspOnly = capabilities({"file", "rtsp"}, {"matroska,webm"});
    const auto rmOnly = capabilities({"file", "http"}, {"rm", "matroska,webm"});
    const auto nsvOnly = capabilities({"file"}, {"nsv"});
    const auto both = capabilities({"http", "rtsp", "file"}, {"mov,mp4", "rm", "nsv"});
    for (const auto& id : kRealPlayerIds) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probeResultFor(id, MediaCapabilities{}), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, none), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rtspOnly), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rmOnly), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, nsvOnly), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, both), ProbeResult::Object);
    }
}

TEST(ProbeDecision, WinampNeedsNullsoftVideo) {
    const auto real = capabilities({"rtsp"}, {"rm"});
    const auto nsv = capabilities({"file"}, {"aac", "nsv"});
    for (const auto& id : kWinampIds) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probeResultFor(id, MediaCapabilities{}), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, real), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, nsv), ProbeResult::Object);
    }
}

TEST(ProbeDecision, ProgIdsIgnoreAsciiCaseOnly) {
    const auto all = capabilities({"rtsp"}, {"rm", "nsv"});
    EXPECT_EQ(probeResultFor("RMOCX.REALPLAYER G2 CONTROL", all), ProbeResult::Object);
    EXPECT_EQ(probeResultFor("realvideo.realvideo(TM) activex control (32-BIT)", all),
              ProbeResult::Object);
    EXPECT_EQ(probeResultFor("winampcom.application", all), ProbeResult::Object);
    EXPECT_EQ(probeResultFor("GEN_SCRIPTING.WINAMP", all), ProbeResult::Object);
    // Letters outside ASCII never stand in for ASCII ones.
    EXPECT_EQ(probeResultFor("WİnampCom.Application", all), ProbeResult::Failure);
    EXPECT_EQ(probeResultFor("gen_scrıpting.winamp", all), ProbeResult::Failure);
}

TEST(ProbeDecision, UnknownAndNearMissProgIdsFail) {
    const auto all = capabilities({"rtsp"}, {"rm", "nsv"});
    for (const char* id :
         {"", "WMPlayer.OCX", "ShockwaveFlash.ShockwaveFlash", "WinampCom",
          "WinampCom.Application ", " gen_scripting.winamp", "WinampCom.Application2",
          "rmocx.RealPlayer G2 Control.1", "RealPlayer.RealPlayer(tm) ActiveX Control (64-bit)"}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probeResultFor(id, all), ProbeResult::Failure);
    }
}

TEST(ProbeDecision, NamesMatchWholeNotByPrefix) {
    // "rtsps" is a different protocol; "rmvb" or "nsvx" are not the formats asked for.
    const auto lookalikes = capabilities({"rtsps", "rtspx"}, {"rmvb", "nsvx,rmx"});
    EXPECT_FALSE(lookalikes.hasProtocol("rtsp"));
    EXPECT_FALSE(lookalikes.hasDemuxer("rm"));
    EXPECT_FALSE(lookalikes.hasDemuxer("nsv"));
    EXPECT_EQ(probeResultFor(kRealPlayerIds[0], lookalikes), ProbeResult::Failure);
    EXPECT_EQ(probeResultFor(kWinampIds[0], lookalikes), ProbeResult::Failure);

    // An entry naming several formats covers each of them.
    const auto grouped = capabilities({"rtsp"}, {"mov,mp4,m4a", "rm,rmvb", "flv,nsv"});
    EXPECT_TRUE(grouped.hasDemuxer("mp4"));
    EXPECT_TRUE(grouped.hasDemuxer("rm"));
    EXPECT_TRUE(grouped.hasDemuxer("nsv"));
    EXPECT_FALSE(grouped.hasDemuxer("mo"));
    EXPECT_FALSE(grouped.hasDemuxer(""));
    EXPECT_EQ(probeResultFor(kRealPlayerIds[1], grouped), ProbeResult::Object);
    EXPECT_EQ(probeResultFor(kWinampIds[1], grouped), ProbeResult::Object);
}

// ---- The real engine of this machine ----

// The lists as libmpv gives them in its own string form, read without the code under test.
struct EngineLists {
    std::string protocols;
    std::string demuxers;
};

std::string currentNumericLocale() {
    const char* name = std::setlocale(LC_NUMERIC, nullptr);
    return name ? name : "";
}

std::string readStringProperty(mpv_handle* handle, const char* name) {
    char* value = mpv_get_property_string(handle, name);
    if (!value) {
        ADD_FAILURE() << "libmpv gave no " << name;
        return {};
    }
    std::string text(value);
    mpv_free(value);
    return text;
}

EngineLists readListsDirectly() {
    const std::string saved = currentNumericLocale();
    std::setlocale(LC_NUMERIC, "C");
    EngineLists lists;
    {
        std::unique_ptr<mpv_handle, void (*)(mpv_handle*)> handle(mpv_create(),
                                                                  &mpv_terminate_destroy);
        if (!handle) {
            ADD_FAILURE() << "mpv_create failed";
        } else {
            EXPECT_GE(mpv_set_option_string(handle.get(), "vo", "null"), 0);
            EXPECT_GE(mpv_set_option_string(handle.get(), "ao", "null"), 0);
            const int rc = mpv_initialize(handle.get());
            EXPECT_GE(rc, 0) << mpv_error_string(rc);
            lists.protocols = readStringProperty(handle.get(), "protocol-list");
            lists.demuxers = readStringProperty(handle.get(), "demuxer-lavf-list");
        }
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    return lists;
}

std::set<std::string> commaSeparated(const std::string& text) {
    std::set<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const auto end = comma == std::string::npos ? text.size() : comma;
        names.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

class RealEngine : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { lists_ = new EngineLists(readListsDirectly()); }
    static void TearDownTestSuite() {
        delete lists_;
        lists_ = nullptr;
    }

    static ProbeResult expectedFor(const std::string& id) {
        const auto protocols = commaSeparated(lists_->protocols);
        const auto demuxers = commaSeparated(lists_->demuxers);
        for (const auto& real : kRealPlayerIds) {
            if (id == real) {
                return protocols.count("rtsp") && demuxers.count("rm") ? ProbeResult::Object
                                                                       : ProbeResult::Failure;
            }
        }
        for (const auto& winamp : kWinampIds) {
            if (id == winamp)
                return demuxers.count("nsv") ? ProbeResult::Object : ProbeResult::Failure;
        }
        return ProbeResult::Failure;
    }

    static std::vector<std::string> allIds() {
        auto ids = kRealPlayerIds;
        ids.insert(ids.end(), kWinampIds.begin(), kWinampIds.end());
        return ids;
    }

    static EngineLists* lists_;
};

EngineLists* RealEngine::lists_ = nullptr;

TEST_F(RealEngine, ReadsTheListsLibmpvGives) {
    ASSERT_FALSE(lists_->protocols.empty());
    ASSERT_FALSE(lists_->demuxers.empty());
    std::string error;
    const auto read = readMpvCapabilities({}, &error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(joined(read->protocols), lists_->protocols);
    EXPECT_EQ(joined(read->demuxers), lists_->demuxers);
}

TEST_F(RealEngine, ProbeAgreesWithTheEngineLists) {
    MpvProbe probe;
    for (const auto& id : allIds()) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probe.probePlayerControl(id), expectedFor(id));
    }
    EXPECT_EQ(probe.probePlayerControl("WMPlayer.OCX"), ProbeResult::Failure);
    EXPECT_EQ(probe.probePlayerControl("QovaNoSuch.Player"), ProbeResult::Failure);
}

TEST_F(RealEngine, StartsUnderTheProgramLocaleAndGivesItBack) {
    const std::string saved = currentNumericLocale();
    if (!std::setlocale(LC_NUMERIC, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale here";
    const std::string programLocale = currentNumericLocale();
    ASSERT_NE(programLocale, "C");

    MpvProbe probe;
    for (const auto& id : allIds()) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probe.probePlayerControl(id), expectedFor(id));
    }
    EXPECT_EQ(currentNumericLocale(), programLocale);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(RealEngine, EngineIsAskedOnceAndOnlyWhenFirstNeeded) {
    int asked = 0;
    MpvProbe probe([&asked]() {
        ++asked;
        return readMpvCapabilities();
    });
    EXPECT_EQ(asked, 0);
    for (int round = 0; round < 3; ++round) {
        for (const auto& id : allIds())
            EXPECT_EQ(probe.probePlayerControl(id), expectedFor(id));
        EXPECT_EQ(probe.probePlayerControl("QovaNoSuch.Player"), ProbeResult::Failure);
    }
    EXPECT_EQ(asked, 1);
}

TEST_F(RealEngine, EngineThatCannotStartIsReportedAndFailsEveryProbe) {
    std::string error;
    EXPECT_FALSE(readMpvCapabilities({{"qova-no-such-option", "yes"}}, &error).has_value());
    EXPECT_NE(error.find(mpv_error_string(MPV_ERROR_OPTION_NOT_FOUND)), std::string::npos) << error;
    EXPECT_NE(error.find("qova-no-such-option"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(readMpvCapabilities({{"idle", "sometimes"}}, &error).has_value());
    EXPECT_NE(error.find("idle"), std::string::npos) << error;
    EXPECT_NE(error.find(mpv_error_string(MPV_ERROR_OPTION_ERROR)), std::string::npos) << error;

    int asked = 0;
    MpvProbe probe([&asked]() {
        ++asked;
        return readMpvCapabilities({{"idle", "sometimes"}});
    });
    for (int round = 0; round < 2; ++round) {
        for (const auto& id : allIds()) {
            SCOPED_TRACE(id);
            EXPECT_EQ(probe.probePlayerControl(id), ProbeResult::Failure);
        }
    }
    // A failed start is remembered too, not retried at every probe.
    EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace qova::platform
