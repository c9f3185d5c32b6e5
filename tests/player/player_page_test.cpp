// Reading player pages: where the stream address sits in the pages the program writes, and how it
// comes back from escaped markup.
#include "player/player_page.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace qova::player {
namespace {

// The shapes of page the program writes, with @ where the escaped address goes: the object's
// data, its src parameter after others, and src after fileName with a fallback embed.
const char* const kPageShapes[] = {
    "<body bgcolor=\"black\"><object type=\"video/x-ms-wmv\" data=\"@\" width=\"550px\">"
    "<param name=\"src\" value=\"http://other.invalid/\"></object> </body>",
    "<body><object width=550px classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA>"
    "<param name=\"controls\" value=\"ImageWindow\" /><param name=\"src\" value=\"@\" />"
    "</object></body> </body>",
    "<html><body><object classid=\"CLSID:22d6f312-b0f6-11d0-94ab-0080c74c7e95\">"
    "<param name=\"fileName\" value=\"http://wrong.invalid/\"><param name=\"src\" value=\"@\">"
    "<embed type=\"application/x-mplayer2\" src=\"http://embed.invalid/\"></object></body></html>",
};

TEST(EmbeddedPlayerAddress, EscapedAddressComesBackExactlyFromEachPageShape) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://tv.example/play?id=7&amp;fmt=&quot;hq&quot;&amp;n=&#39;x&#39;&lt;y&gt;",
         "http://tv.example/play?id=7&fmt=\"hq\"&n='x'<y>"},
        {"mms://host/path with spaces/&amp;amp;", "mms://host/path with spaces/&amp;"},
        {"file:///media/Écran démo.mp4", "file:///media/Écran démo.mp4"},
    };
    for (const std::string shape : kPageShapes) {
        for (const auto& [escaped, address] : cases) {
            std::string page = shape;
            page.replace(page.find('@'), 1, escaped);
            EXPECT_EQ(embeddedPlayerAddress(page), address) << page;
        }
    }
}

TEST(EmbeddedPlayerAddress, FirstPlayersAddressWhateverTheMarkup) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        // Numeric references with or without their semicolon; ampersands that start none stay.
        {"<object data=\"a&#38;b&#x26;c&#X3d;d&#39e\">", "a&b&c=d'e"},
        {"<object data='x?a=1&b=2&unknown;&#;&'>", "x?a=1&b=2&unknown;&#;&"},
        {"<object data='&#0;&#xD800;&#99999999999;'>", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        // Names in any case; values bare, quoted, spaced, or unterminated.
        {"<OBJECT DATA=http://a/b?c=d&amp;e=f>", "http://a/b?c=d&e=f"},
        {"<Object><PARAM Name='SRC' Value='it&#39;s'></object>", "it's"},
        {"<object\n\tdata = \"  http://spaced/  \"\n>", "http://spaced/"},
        {"<embed width=5 src=rtsp://cam/1 autostart=true/>", "rtsp://cam/1"},
        {"<object><param name=url value=\"u\"></object>", "u"},
        {"<object data=\"a>b<c\" title='\"'></object>", "a>b<c"},
        {"<object data=\"unterminated", "unterminated"},
        // Data first, then the first object's own parameters, then the first embed.
        {"<object data=1><param name=src value=2></object>", "1"},
        {"<object data=''><param name=src value=2></object><object data=3></object>", "2"},
        {"<embed src=first><embed src=second>", "first"},
        {"<object></object><param name=src value=p><embed src=e>", "e"},
        {"<object><object><param name=src value=inner></object></object><embed src=e>", "e"},
        // No player, no address, or markup that only talks about players.
        {"", std::nullopt},
        {"<object data=\"\"><param name=src value=\"  \"></object><embed>", std::nullopt},
        {"<!-- <object data=x> --><script>'<embed src=y>'</script><p>a < b, <objects data=z></p>"
         "<textarea><embed src=t>",
         std::nullopt},
    };
    for (const auto& [markup, address] : cases)
        EXPECT_EQ(embeddedPlayerAddress(markup), address) << markup;
}

TEST(PageText, TitleAndBodyWithoutMarkup) {
    const PageText error = pageText(
        "<html><head><title> Cannot  display </title><style>p{}</style></head>"
        "<body><p>This page &amp; that</p><p>one\n  two</p>three<br><br>four</body></html>");
    EXPECT_EQ(error.title, "Cannot display");
    EXPECT_EQ(error.body, "This page & that\r\none two\r\nthree\r\n\r\nfour");
    // What a player page shows is the player, not its fallback text.
    const PageText player = pageText("<body><object data=x>Get a plugin</object> </body>");
    EXPECT_EQ(player.title, "");
    EXPECT_EQ(player.body, "");
}

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
