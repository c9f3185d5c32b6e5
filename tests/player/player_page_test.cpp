// The player's address rules: which addresses it opens, and how it tunes the engine for each.
#include "player/player_page.h"

#include <gtest/gtest.h>

namespace qova::player {
namespace {

TEST(RefusedStreamAddress, OnlyStreamSchemesAndAllowedFilesPass) {
    for (const char* stream : {"http://h/a", "HTTPS://h/", "rtsp://h", "rtsps://h", "rtmp://h",
                               "rtmps://h", "mms://h", "mmsh://h", "MMST://h"})
        EXPECT_FALSE(refusedStreamAddress(stream, false)) << stream;
    for (const char* other : {"av://v4l2:/dev/video0", "edl://x", "lavfi://testsrc", "fd://0",
                              "ytdl://x", "httpx://h", "memory://x"})
        EXPECT_TRUE(refusedStreamAddress(other, true)) << other;
    for (const char* local : {"/media/a.mp4", "file:///media/a.mp4", "relative.mp3"}) {
        EXPECT_TRUE(refusedStreamAddress(local, false)) << local;
        EXPECT_FALSE(refusedStreamAddress(local, true)) << local;
    }
}

TEST(LocalMediaAddress, FilesLoopStreamsDoNot) {
    for (const char* local : {"/media/a.mp4", "FILE:///x", "relative.mp3", "C:\\media\\a.mp4",
                              "folder/name:with-colon.mp4"}) {
        EXPECT_TRUE(isLocalMediaAddress(local)) << local;
    }
    for (const char* stream : {"http://h/a.mp4", "HTTPS://h/", "rtsp://h/s", "rtmp+tls:x"})
        EXPECT_FALSE(isLocalMediaAddress(stream)) << stream;
}

// The short look suits streams whose tracks are known at once: a playlist, a picture or another
// protocol read that way could start without one of its tracks, or with too little sound in hand.
TEST(ShortAnalysis, SoundFilesAndRtspAlwaysBareMountsOnlyForSoundChannels) {
    for (const char* sound : {"http://h/radio.MP3", "http://h/a.b/c.aacp#x", "https://h/x.ogg?s=1",
                              "rtsp://h/tv", "RTSPS://h/tv.mp4"}) {
        EXPECT_TRUE(isShortAnalysisStream(sound, false)) << sound;
        EXPECT_TRUE(isShortAnalysisStream(sound, true)) << sound;
    }
    for (const char* mount :
         {"http://h:8000/stream", "https://h/live?sid=1.ts", "http://h", "http://h/"}) {
        EXPECT_TRUE(isShortAnalysisStream(mount, true)) << mount;
        EXPECT_FALSE(isShortAnalysisStream(mount, false)) << mount;
    }
    for (const char* other :
         {"http://h/list.pls", "http://h/tv.m3u8", "http://h/a.mp4?x=.mp3", "http://h/s.ts",
          "rtmp://h/stream", "file:///tmp/a.mp3", "/tmp/a.mp3", "httpx://h/s", "http:/h/s"})
        EXPECT_FALSE(isShortAnalysisStream(other, true)) << other;
}

}  // namespace
}  // namespace qova::player
