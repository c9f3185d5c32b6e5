// How the player tunes the engine for each stream.
#include "player/player_page.h"

#include <gtest/gtest.h>

namespace qova::player {
namespace {

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

// The engine sends its cookies by their domain: bound to the stream's host and port as written,
// they never go on to another host.
TEST(HostBoundCookies, EachCookieOfTheHeaderIsBoundToTheStreamsHost) {
    EXPECT_EQ(hostBoundCookies(" a=1; b = x=y ;;flag; =v", "http://u:p@Radio.example:8000/s?q"),
              "a=1; domain=Radio.example:8000; path=/\n"
              "b = x=y; domain=Radio.example:8000; path=/");
    EXPECT_EQ(hostBoundCookies("a=1", "https://[::1]/s"), "a=1; domain=[::1]; path=/");
    EXPECT_EQ(hostBoundCookies("a=1", "/local/file.mp3"), "");
    EXPECT_EQ(hostBoundCookies("", "http://h/"), "");
}

}  // namespace
}  // namespace qova::player
