// Reading player pages: where the stream address sits in the pages the program writes, how it
// comes back from escaped markup, and what the player area says when a stream stops.
#include "platform/player_page.h"

#include <gtest/gtest.h>
#include <mpv/client.h>

#include <string>

#include "platform/mpv_player.h"

namespace qova::platform {
namespace {

const std::string kBodyStart = "<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\">";

std::string escaped(const std::string& address) {
    std::string out;
    for (char c : address) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string windowsMediaPage(const std::string& dataAddress, const std::string& srcAddress) {
    return kBodyStart + "<object type=\"video/x-ms-wmv\" data=\"" + escaped(dataAddress) +
           "\" width=\"550px\" height=\"370px\"><param name=\"src\" value=\"" +
           escaped(srcAddress) + "\" valuetype=\"ref\" type=\"" + escaped(srcAddress) +
           "\"><param name=\"autostart\" value=\"1\"></object> </body>";
}

std::string realPlayerPage(const std::string& address) {
    return kBodyStart +
           "<object width=550px height=338px classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA>"
           "<param name=\"controls\" value=\"ImageWindow\" /><param name=\"src\" value=\"" +
           escaped(address) +
           "\" /><param name=\"center\" value=\"false\" /></object></body> </body>";
}

std::string playerFilePage(const std::string& address) {
    return "<html><body bgcolor=\"black\"><object id=\"mediaPlayer\" "
           "classid=\"CLSID:22d6f312-b0f6-11d0-94ab-0080c74c7e95\" "
           "codebase=\"http://activex.example.invalid/nsmp2inf.cab\" width=\"550\" "
           "height=\"338\"><param name=\"fileName\" value=\"http://wrong.invalid/\">"
           "<param name=\"src\" value=\"" +
           escaped(address) +
           "\"><param name=\"autoStart\" value=\"True\"><embed type=\"application/x-mplayer2\" "
           "pluginspage=\"http://plugins.example.invalid/\" id=\"mediaPlayer\" "
           "name=\"mediaPlayer\" width=\"550\" height=\"338\" src=\"http://embed.invalid/\" "
           "showcontrols=\"0\" showstatusbar=\"1\"></object></body></html>\r\n";
}

// ---- The pages the program writes ----

TEST(EmbeddedPlayerAddress, FoundInEachPageShape) {
    const std::string address = "http://radio.example:8000/live.mp3";
    EXPECT_EQ(embeddedPlayerAddress(windowsMediaPage(address, "http://other.invalid/")), address);
    EXPECT_EQ(embeddedPlayerAddress(realPlayerPage(address)), address);
    // The src parameter outranks fileName, and the object outranks its fallback embed.
    EXPECT_EQ(embeddedPlayerAddress(playerFilePage(address)), address);
}

TEST(EmbeddedPlayerAddress, EscapedAddressesComeBackExactly) {
    for (const std::string& address :
         {std::string("http://tv.example/play?id=7&fmt=\"hq\"&name='x'<y>"),
          std::string("mms://host/path with spaces/&amp;literal"),
          std::string("file:///media/Écran démo.mp4")}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(embeddedPlayerAddress(windowsMediaPage(address, address)), address);
        EXPECT_EQ(embeddedPlayerAddress(realPlayerPage(address)), address);
        EXPECT_EQ(embeddedPlayerAddress(playerFilePage(address)), address);
    }
    // Numeric references, decimal and hexadecimal, with or without their semicolon.
    EXPECT_EQ(embeddedPlayerAddress("<object data=\"a&#38;b&#x26;c&#X3d;d&#39e\"></object>"),
              "a&b&c=d'e");
    // Ampersands that start no reference stay as they are.
    EXPECT_EQ(embeddedPlayerAddress("<object data='x?a=1&b=2&unknown;&#;&'></object>"),
              "x?a=1&b=2&unknown;&#;&");
    EXPECT_EQ(embeddedPlayerAddress("<object data='&#0;&#xD800;&#99999999999;'></object>"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(EmbeddedPlayerAddress, AttributeSyntaxAndCase) {
    EXPECT_EQ(embeddedPlayerAddress("<OBJECT DATA=http://a/b?c=d&amp;e=f>"), "http://a/b?c=d&e=f");
    EXPECT_EQ(embeddedPlayerAddress("<Object><PARAM Name='SRC' Value='it&#39;s'></object>"),
              "it's");
    EXPECT_EQ(embeddedPlayerAddress("<object\n\tdata = \"  http://spaced/  \"\n>"),
              "http://spaced/");
    EXPECT_EQ(embeddedPlayerAddress("<embed width=5 src=rtsp://cam/1 autostart=true/>"),
              "rtsp://cam/1");
    EXPECT_EQ(embeddedPlayerAddress("<object><param name=url value=\"u\"></object>"), "u");
    // Quoted values may hold what would end a tag.
    EXPECT_EQ(embeddedPlayerAddress("<object data=\"a>b<c\" title='\"'></object>"), "a>b<c");
}

TEST(EmbeddedPlayerAddress, OnlyTheFirstPlayerCounts) {
    // Data first, then the first object's own parameters, then the first embed.
    EXPECT_EQ(embeddedPlayerAddress("<object data=1><param name=src value=2></object>"), "1");
    EXPECT_EQ(embeddedPlayerAddress("<object data=''><param name=src value=2></object>"
                                    "<object data=3></object>"),
              "2");
    EXPECT_EQ(embeddedPlayerAddress("<embed src=first><embed src=second>"), "first");
    EXPECT_EQ(embeddedPlayerAddress("<object></object><embed src=e>"), "e");
    // A parameter after the object, or of an object inside it, is not the object's.
    EXPECT_EQ(embeddedPlayerAddress("<object></object><param name=src value=p><embed src=e>"), "e");
    EXPECT_EQ(embeddedPlayerAddress(
                  "<object><object><param name=src value=inner></object></object><embed src=e>"),
              "e");
}

TEST(EmbeddedPlayerAddress, NothingWithoutAPlayer) {
    EXPECT_EQ(embeddedPlayerAddress(""), std::nullopt);
    EXPECT_EQ(embeddedPlayerAddress(kBodyStart + "</body>"), std::nullopt);
    EXPECT_EQ(embeddedPlayerAddress("<object data=\"\"><param name=src value=\"  \"></object>"),
              std::nullopt);
    EXPECT_EQ(embeddedPlayerAddress("<embed>"), std::nullopt);
    // Markup that only talks about players.
    EXPECT_EQ(embeddedPlayerAddress("<!-- <object data=x> --><script>'<embed src=y>'</script>"
                                    "<p>a < b, <objects data=z></p><textarea><embed src=t>"),
              std::nullopt);
    EXPECT_EQ(embeddedPlayerAddress("<object data=\"unterminated"), "unterminated");
}

TEST(PageText, TitleAndBodyWithoutMarkup) {
    const PageText error = pageText(
        "<html><head><title> Cannot  display </title><style>p{}</style></head>"
        "<body><p>This page &amp; that</p><p>one\n  two</p>three<br><br>four</body></html>");
    EXPECT_EQ(error.title, "Cannot display");
    EXPECT_EQ(error.body, "This page & that\r\none two\r\nthree\r\n\r\nfour");
    // What a player page shows is the player, not its fallback text.
    const PageText player = pageText(kBodyStart + "<object data=x>Get a plugin</object> </body>");
    EXPECT_EQ(player.title, "");
    EXPECT_EQ(player.body, "");
}

// ---- What the player area says ----

TEST(EndFileMessage, SaysWhyAStreamStopped) {
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_EOF, 0), "The stream has ended.");
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_ERROR, MPV_ERROR_LOADING_FAILED),
              std::string("The stream cannot be played: ") +
                  mpv_error_string(MPV_ERROR_LOADING_FAILED) + ".");
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_ERROR, MPV_ERROR_UNKNOWN_FORMAT),
              std::string("The stream cannot be played: ") +
                  mpv_error_string(MPV_ERROR_UNKNOWN_FORMAT) + ".");
    EXPECT_EQ(endFileMessage(MPV_END_FILE_REASON_ERROR, 0), "The stream cannot be played.");
    for (int quiet :
         {MPV_END_FILE_REASON_STOP, MPV_END_FILE_REASON_QUIT, MPV_END_FILE_REASON_REDIRECT}) {
        EXPECT_EQ(endFileMessage(quiet, 0), "") << quiet;
        EXPECT_EQ(endFileMessage(quiet, MPV_ERROR_LOADING_FAILED), "") << quiet;
    }
    // A reason this program does not know is told only when it comes with an error.
    EXPECT_EQ(endFileMessage(99, 0), "");
    EXPECT_NE(endFileMessage(99, MPV_ERROR_NOTHING_TO_PLAY).find("cannot be played"),
              std::string::npos);
}

TEST(LocalMediaAddress, FilesLoopStreamsDoNot) {
    for (const char* local : {"/media/a.mp4", "file:///media/a.mp4", "FILE:///x", "relative.mp3",
                              "C:\\media\\a.mp4", "folder/name:with-colon.mp4"}) {
        EXPECT_TRUE(isLocalMediaAddress(local)) << local;
    }
    for (const char* stream : {"http://h/a.mp4", "HTTPS://h/", "mms://h/s", "rtsp://h/s",
                               "icyx://h/", "rtmp+tls:x", "ffmpeg://x"}) {
        EXPECT_FALSE(isLocalMediaAddress(stream)) << stream;
    }
}

}  // namespace
}  // namespace qova::platform
