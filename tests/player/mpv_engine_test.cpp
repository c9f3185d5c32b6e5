// The media engine's set-up and answers: the player probe's decision from given capability lists,
// what the player area says when a stream stops, and the real libmpv of this machine.
#include "player/mpv_engine.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <QTest>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/stream_address.h"
#include "player/mpv_library.h"
#include "player/mpv_player.h"
#include "player/mpv_probe.h"
#include "support/process_maps.h"
#include "testkit/loopback_http_server.h"
#include "testkit/test_media.h"

namespace qova::player {
namespace {

using testing::processMaps;

using platform::kRealPlayerProgIds;
using platform::kWinampProgIds;
using platform::ProbeResult;

// The probe's answers for a ProgID against four engines, a letter each (O: Object, F: Failure):
// look-alikes only ("rtsps", "rmvb", "nsvx"), no RTSP, RTSP with RealMedia, Nullsoft video.
std::string answers(std::string_view id) {
    static const MediaCapabilities engines[] = {{{"rtsps"}, {"rmvb", "nsvx,rmx"}},
                                                {{"http"}, {"rm"}},
                                                {{"http", "rtsp"}, {"mov,rm,rmvb"}},
                                                {{"file", "rtsp"}, {"flv,nsv"}}};
    std::string letters;
    for (const MediaCapabilities& engine : engines) {
        const ProbeResult result = probeResultFor(id, engine);
        letters += result == ProbeResult::Object ? 'O' : result == ProbeResult::Failure ? 'F' : '?';
    }
    return letters;
}

TEST(ProbeDecision, EachPlayerNeedsItsProtocolAndFormatsAndItsWholeProgId) {
    for (const char* id : kRealPlayerProgIds)
        EXPECT_EQ(answers(id), "FFOF") << id;
    for (const char* id : kWinampProgIds)
        EXPECT_EQ(answers(id), "FFFO") << id;
    // ASCII case does not count; non-ASCII look-alikes and near misses are unknown objects.
    EXPECT_EQ(answers("RMOCX.REALPLAYER G2 CONTROL") + answers("winampcom.application"),
              "FFOFFFFO");
    for (const char* id : {"WİnampCom.Application", "gen_ſcripting.winamp", "", "WMPlayer.OCX",
                           "WinampCom", "WinampCom.Application ", "rmocx.RealPlayer G2 Control.1"})
        EXPECT_EQ(answers(id), "FFFF") << id;
}

TEST(ProbeDecision, EngineIsAskedOnceAtTheFirstProbeEvenWhenItFails) {
    for (const bool starts : {true, false}) {
        int asked = 0;
        MpvProbe probe([&] {
            ++asked;
            return starts ? std::optional(MediaCapabilities{{"rtsp"}, {"rm"}}) : std::nullopt;
        });
        EXPECT_EQ(asked, 0);
        const ProbeResult expected = starts ? ProbeResult::Object : ProbeResult::Failure;
        EXPECT_EQ(probe.probePlayerControl(kRealPlayerProgIds[0]), expected);
        EXPECT_EQ(probe.probePlayerControl(kRealPlayerProgIds[1]), expected);
        EXPECT_EQ(asked, 1) << starts;
    }
}

TEST(EndFileMessage, SaysWhyAStreamStoppedFromWhatTheEngineLoggedLastWhereThatTells) {
    const int error = MPV_END_FILE_REASON_ERROR, failed = MPV_ERROR_LOADING_FAILED;
    // Without a reason of its own a failure says libmpv's words for its code. Loaded and let go
    // on a thread of its own, as the program does: a library unloaded from the main thread leaves
    // that thread's record of the library's thread-local data behind, which trips the leak
    // checker at exit.
    bool loaded = false;
    std::thread([&] { loaded = loadEngineLibrary(nullptr); }).join();
    ASSERT_TRUE(loaded);
    const std::string loadingFailed = "The stream cannot be played: loading failed.";
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_EOF, 0), "The stream has ended.");
    EXPECT_EQ(endFileMessage(error, 0), "The stream cannot be played.");
    EXPECT_EQ(endFileMessage(error, failed), loadingFailed);
    // Stopped, replaced or quit: nothing to tell; an unknown reason only with an error.
    for (int quiet :
         {MPV_END_FILE_REASON_STOP, MPV_END_FILE_REASON_QUIT, MPV_END_FILE_REASON_REDIRECT})
        EXPECT_EQ(endFileMessage(quiet, failed), "") << quiet;
    EXPECT_EQ(endFileMessage(99, 0), "");
    EXPECT_EQ(endFileMessage(99, failed), loadingFailed);
    // The newest line that tells wins.
    EXPECT_EQ(failureReason(failed, {"tcp: Connection refused", "stream: Failed to open h:1/x."}),
              "the server refused the connection");
    EXPECT_EQ(failureReason(failed, {"tcp: Connection refused", "http: HTTP error 404 Not Found"}),
              "the server has no stream at this address (404)");
    EXPECT_EQ(failureReason(failed, {"http: HTTP error 503 Service Unavailable\n"}),
              "the server answered 503 Service Unavailable");
    EXPECT_EQ(failureReason(failed, {"ffmpeg: tcp: Connection timed out"}),
              "the server did not answer in time");
    EXPECT_EQ(failureReason(MPV_ERROR_UNKNOWN_FORMAT, {"ffmpeg: something else"}),
              "its format is not recognised");
    std::thread([] { unloadEngineLibraryIfUnused(); }).join();
}

// Whether libmpv was loaded before the test: an engine of an earlier test in the same process
// keeps it for good.
bool loadedBefore() {
    return processMaps("libmpv.so");
}

TEST(RealEngine, AnOptionItRefusesIsNamedAndThePlayersListsAreLibmpvsOwn) {
    if (loadedBefore())
        GTEST_SKIP() << "libmpv is kept by an earlier test of this process";
    mpv_handle* bare = mpv_create();
    ASSERT_NE(bare, nullptr);
    std::string error;
    EXPECT_FALSE(applyEngineOptions(bare, {{"qova-no-such-option", "yes"}}, &error));
    EXPECT_NE(error.find("qova-no-such-option"), std::string::npos) << error;
    EXPECT_NE(error.find(mpv_error_string(MPV_ERROR_OPTION_NOT_FOUND)), std::string::npos) << error;
    // Options that only an engine with scripting has may be missing.
    EXPECT_TRUE(applyEngineOptions(bare, {{"qova-no-such-option", "yes", true}}, &error));
    EXPECT_FALSE(readCapabilities(nullptr, &error).has_value());

    // The engine's lists in its own comma-joined form, read without the code under test.
    ASSERT_GE(mpv_initialize(bare), 0);
    std::string lists[2];
    for (int i = 0; i < 2; ++i) {
        char* value = mpv_get_property_string(bare, i ? "demuxer-lavf-list" : "protocol-list");
        lists[i] = value ? value : "";
        mpv_free(value);
    }
    mpv_terminate_destroy(bare);

    // An instance started to tell what the engine can open lets libmpv go with it, unless an
    // engine that plays needs it.
    MpvPlayer player(MpvPlayerOptions{false, "null"});
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running ? "engine running" : "no engine");
        if (running) {
            ASSERT_TRUE(player.startEngine()) << player.startError();
        }
        const auto read = readEngineCapabilities(&error);
        unloadEngineLibraryIfUnused();
        ASSERT_TRUE(read.has_value()) << error;
        std::string joined[2];
        for (int i = 0; i < 2; ++i) {
            for (const std::string& name : i ? read->demuxers : read->protocols)
                joined[i] += (joined[i].empty() ? "" : ",") + name;
            EXPECT_EQ(joined[i], lists[i]);
        }
        EXPECT_EQ(processMaps("libmpv.so"), running);
        EXPECT_EQ(processMaps("libavformat.so"), running);
    }
}

TEST(RealEngine, PreparingLoadsTheLibraryAheadWithoutStartingAnEngine) {
    if (loadedBefore())
        GTEST_SKIP() << "libmpv is kept by an earlier test of this process";
    MpvPlayer player(MpvPlayerOptions{false, "null"});
    player.prepare();
    EXPECT_TRUE(QTest::qWaitFor([] { return engineLibraryLoaded(); }, 10000));
    EXPECT_TRUE(processMaps("libavcodec.so"));
    EXPECT_FALSE(player.isRunning());
    ASSERT_TRUE(player.startEngine()) << player.startError();
}

TEST(RealEngine, AStreamThatAsksForNoAgentGetsLibmpvs) {
    // The bytes a server sees stay what they were when the engine chose them itself.
    ASSERT_EQ(testkit::TestMedia::get().error(), "");
    testkit::LoopbackHttpServer server;
    server.serve("/tone.mp3", testkit::TestMedia::get().toneBytes(), "audio/mpeg");
    MpvPlayer player(MpvPlayerOptions{false, "null"});
    player.play(server.url("/tone.mp3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/tone.mp3") > 0; }, 10000))
        << player.startError();
    const std::string head = server.lastRequestHead("/tone.mp3");
    EXPECT_NE(head.find("User-Agent: libmpv\r\n"), std::string::npos) << head;
}

// What a line asks its server to be sent reaches it as the headers a line may give and no line
// of their own; its cookie goes to its own host alone, never on to another after a redirect.
TEST(RealEngine, AChannelsHeadersReachItsServerAsTheyMayAndItsCookieNoOtherHost) {
    ASSERT_EQ(testkit::TestMedia::get().error(), "");
    testkit::LoopbackHttpServer server;
    for (const char* path : {"/direct.mp3", "/next.mp3"})
        server.serve(path, testkit::TestMedia::get().toneBytes(), "audio/mpeg");
    server.redirect("/away.mp3", "http://localhost:" + std::to_string(server.port()) + "/next.mp3");
    MpvPlayer player(MpvPlayerOptions{false, "null"});

    // Written by hand, as any line may carry it: names and values that would end their line.
    const std::string direct = server.url("/direct.mp3");
    player.play(direct + "#qova-http=User-Agent=Agent%0D%0AX-Injected%3A%20yes&X-Injected=yes" +
                "&Referer%0D%0AX-Name=v&Referrer=http%3A%2F%2Fref%2F&Origin=http%3A%2F%2Forigin" +
                "&Cookie=session%3Dabc%3B%20theme%3Ddark;" + direct.substr(direct.size() - 3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/direct.mp3") > 0; }, 10000))
        << player.startError();
    const std::string head = server.lastRequestHead("/direct.mp3");
    EXPECT_EQ(head.find("X-"), std::string::npos) << head;
    for (const char* line :
         {"\r\nUser-Agent: libmpv\r\n", "\r\nReferer: http://ref/\r\n",
          "\r\nOrigin: http://origin\r\n", "\r\nCookie: session=abc; theme=dark\r\n"})
        EXPECT_NE(head.find(line), std::string::npos) << line << head;

    player.play(platform::addressWithHeaders(server.url("/away.mp3"), {{"Cookie", "session=abc"}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount("/next.mp3") > 0; }, 10000));
    EXPECT_NE(server.lastRequestHead("/away.mp3").find("\r\nCookie: session=abc\r\n"),
              std::string::npos);
    const std::string otherHost = server.lastRequestHead("/next.mp3");
    EXPECT_NE(otherHost.find("\r\nHost: localhost:"), std::string::npos) << otherHost;
    EXPECT_EQ(otherHost.find("Cookie"), std::string::npos) << otherHost;
}

TEST(RealEngine, VolumeAndMuteAreTakenAtOnceAndToldFromTheEventLoop) {
    MpvPlayer player(MpvPlayerOptions{false, "null"});
    int changes = 0;
    player.onVolumeChanged = [&] { ++changes; };
    // Chosen before the engine is needed, as a stored volume is at start-up.
    player.setVolume(35);
    player.setMuted(true);
    EXPECT_EQ(changes, 0) << "told inside the call";
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 2; }, 5000));
    EXPECT_FALSE(player.isRunning());

    // The engine starts with them: the first values it reports change nothing. Those come
    // before the events of the first file.
    ASSERT_EQ(testkit::TestMedia::get().error(), "");
    player.allowLocalFile(testkit::TestMedia::get().tone());
    bool started = false;
    QObject::connect(&player, &MpvPlayer::playbackRestarted, [&] { started = true; });
    player.play(testkit::TestMedia::get().tone());
    ASSERT_TRUE(QTest::qWaitFor([&] { return started; }, 10000)) << player.startError();
    EXPECT_EQ(player.volume(), 35);
    EXPECT_TRUE(player.muted());
    EXPECT_EQ(changes, 2);

    player.setVolume(250);  // beyond the scale: the loudest it goes
    EXPECT_EQ(player.volume(), 100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 3; }, 5000));
    player.setVolume(100);  // no change, nothing to tell
    player.setMuted(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 4; }, 5000));
    EXPECT_FALSE(player.muted());
}

}  // namespace
}  // namespace qova::player
