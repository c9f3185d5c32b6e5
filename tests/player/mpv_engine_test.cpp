// The media engine's set-up and answers: the player probe's decision from given capability lists,
// what the player area says when a stream stops, and the real libmpv of this machine.
#include "player/mpv_engine.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <QSignalSpy>
#include <QTest>
#include <optional>
#include <string>
#include <vector>

#include "player/mpv_player.h"
#include "player/mpv_probe.h"

namespace qova::player {
namespace {

using platform::kRealPlayerProgIds;
using platform::kWinampProgIds;
using platform::ProbeResult;

TEST(ProbeDecision, EachPlayerNeedsItsProtocolAndFormatsByWholeName) {
    // "rtsps" is another protocol and "rmvb" or "nsvx" other formats; an entry may name several.
    const MediaCapabilities lookalikes{{"rtsps"}, {"rmvb", "nsvx,rmx"}};
    const MediaCapabilities rtspAndNsv{{"file", "rtsp"}, {"flv,nsv"}};
    const MediaCapabilities rmOnly{{"http"}, {"rm"}};
    const MediaCapabilities real{{"http", "rtsp"}, {"mov,rm,rmvb"}};
    for (const char* id : kRealPlayerProgIds) {
        SCOPED_TRACE(id);
        EXPECT_EQ(probeResultFor(id, lookalikes), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rtspAndNsv), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, rmOnly), ProbeResult::Failure);
        EXPECT_EQ(probeResultFor(id, real), ProbeResult::Object);
    }
    for (const char* id : kWinampProgIds) {
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
            EXPECT_EQ(probe.probePlayerControl(kRealPlayerProgIds[0]),
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

TEST(EndFileMessage, SaysWhyAStreamStopped) {
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_EOF, 0), "The stream has ended.");
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_ERROR, MPV_ERROR_LOADING_FAILED),
              std::string("The stream cannot be played: ") +
                  mpv_error_string(MPV_ERROR_LOADING_FAILED) + ".");
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_ERROR, 0), "The stream cannot be played.");
    for (int quiet :
         {MPV_END_FILE_REASON_STOP, MPV_END_FILE_REASON_QUIT, MPV_END_FILE_REASON_REDIRECT}) {
        EXPECT_EQ(endFileMessage(quiet, MPV_ERROR_LOADING_FAILED), "") << quiet;
    }
    // A reason this program does not know is told only when it comes with an error.
    EXPECT_EQ(endFileMessage(99, 0), "");
    EXPECT_NE(endFileMessage(99, MPV_ERROR_NOTHING_TO_PLAY), "");
}

TEST(EndFileMessage, TellsTheReasonTheEngineLoggedLastWhereItTellsOne) {
    const int failed = MPV_ERROR_LOADING_FAILED;
    EXPECT_EQ(failureReason(failed, {"ffmpeg: tcp: Connection to tcp://h:1 failed: Connection "
                                     "refused",
                                     "stream: Failed to open http://h:1/x."}),
              "the server refused the connection");
    EXPECT_EQ(failureReason(failed, {"ffmpeg: http: HTTP error 503 Service Unavailable\n"}),
              "the server answered 503 Service Unavailable");
    EXPECT_EQ(failureReason(failed, {"ffmpeg: Connection refused",
                                     "ffmpeg: http: HTTP error 404 "
                                     "Not Found"}),
              "the server has no stream at this address (404)");
    EXPECT_EQ(failureReason(failed, {"ffmpeg: tcp: Connection timed out"}),
              "the server did not answer in time");
    EXPECT_EQ(failureReason(MPV_ERROR_UNKNOWN_FORMAT, {"ffmpeg: something else"}),
              "its format is not recognised");
    EXPECT_EQ(failureReason(failed, {}), mpv_error_string(failed));
}

TEST(RealEngine, ThePlayersEngineListsWhatLibmpvListsAndAnswersTheProbe) {
    const auto lists = listsFromLibmpv();
    MpvPlayer player(MpvPlayerOptions{false, "null"});
    ASSERT_TRUE(player.isRunning()) << player.startError();
    std::string error;
    const auto read = player.capabilities(&error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(joined(read->protocols), lists[0]);
    EXPECT_EQ(joined(read->demuxers), lists[1]);
    MpvProbe probe([&] { return player.capabilities(); });
    for (const char* id : {kRealPlayerProgIds[0], kWinampProgIds[0]})
        EXPECT_EQ(probe.probePlayerControl(id), probeResultFor(id, *read)) << id;
}

TEST(RealEngine, AnEngineThatCannotStartSaysWhyAndAnswersNothing) {
    mpv_handle* handle = mpv_create();
    ASSERT_NE(handle, nullptr);
    std::string error;
    EXPECT_FALSE(applyEngineOptions(handle, {{"qova-no-such-option", "yes"}}, &error));
    EXPECT_NE(error.find("qova-no-such-option"), std::string::npos) << error;
    EXPECT_NE(error.find(mpv_error_string(MPV_ERROR_OPTION_NOT_FOUND)), std::string::npos) << error;
    // Options that only an engine with scripting has may be missing.
    EXPECT_TRUE(applyEngineOptions(handle, {{"qova-no-such-option", "yes", true}}, &error));
    mpv_terminate_destroy(handle);
    EXPECT_FALSE(readCapabilities(nullptr, &error).has_value());
}

TEST(RealEngine, VolumeAndMuteAreTakenAtOnceAndToldFromTheEventLoop) {
    MpvPlayer player(MpvPlayerOptions{false, "null"});
    ASSERT_TRUE(player.isRunning()) << player.startError();
    int changes = 0;
    player.onVolumeChanged = [&] { ++changes; };
    player.setVolume(35);
    player.setMuted(true);
    player.setVolume(250);  // beyond the scale: the loudest it goes
    EXPECT_EQ(player.volume(), 100);
    EXPECT_TRUE(player.muted());
    EXPECT_EQ(changes, 0) << "told inside the call";
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 3; }, 5000));
    player.setVolume(100);  // no change, nothing to tell
    player.setMuted(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 4; }, 5000));
    EXPECT_FALSE(player.muted());
}

}  // namespace
}  // namespace qova::player
