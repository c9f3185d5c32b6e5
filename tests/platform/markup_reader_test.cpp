// Reading page markup: where the stream address sits in the pages the program writes, how it
// comes back from escaped markup, and what a reader sees of a page as its text.
#include "platform/markup_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/character_references.h"

namespace qova::platform {
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

TEST(PageText, ReadsAsABrowserGivesAPagesText) {
    const std::pair<std::string, std::string> cases[] = {
        // Every named reference of HTML 4, not only the few the program writes.
        {"Caf&eacute; &lt;3 &Ouml;sterreich &ndash; &euro;5&nbsp;&times;&#8239;2 &bogus; &amp",
         "Caf\xC3\xA9 <3 \xC3\x96sterreich \xE2\x80\x93 \xE2\x82\xAC"
         "5\xC2\xA0\xC3\x97\xE2\x80\xAF"
         "2 &bogus; &amp"},
        // A directory laid out in <pre> keeps its lines and its spaces; the line break right
        // after the tag is no part of it.
        {"<body><pre>\r\nA|Video|One  1|u1|EN\r\nB|Radio|Two|u2|EN\n\n</pre>after</body>",
         "A|Video|One  1|u1|EN\r\nB|Radio|Two|u2|EN\r\n\r\nafter"},
        // Blocks of every kind begin lines; inline markup does not.
        {"<section><h2>News</h2><article>One <b>bold</b> <a href=x>link</a></article></section>"
         "<table><tr><td>cell 1</td><td>cell 2</td></tr></table><footer>end</footer>",
         "News\r\nOne bold link\r\ncell 1\r\ncell 2\r\nend"},
        {"<br><br>x<br><br>", "\r\n\r\nx"},
        {"<p>   </p><div> </div>", ""},
    };
    for (const auto& [markup, body] : cases)
        EXPECT_EQ(pageText(markup).body, body) << markup;
}

TEST(PageText, TagsOfEndlessAttributesKeepTheFirstOnly) {
    std::string tag = "<object data=first";
    for (std::size_t i = 0; i < 10 * kMaxTagAttributes; ++i)
        tag += " data=x" + std::to_string(i);
    EXPECT_EQ(embeddedPlayerAddress(tag + ">"), "first");
    EXPECT_EQ(pageText(tag + ">fallback</object>after").body, "after");
}

TEST(CharacterReferences, NamesNeedTheirSemicolonNumbersDoNot) {
    EXPECT_EQ(decodeCharacterReferences("&AElig;&aelig;&thetasym;&hearts;&apos;&#65&#x42;"),
              "\xC3\x86\xC3\xA6\xCF\x91\xE2\x99\xA5'AB");
    EXPECT_EQ(decodeCharacterReferences("&eacute &Eacute;x &toolongtobeanyname; &;"),
              "&eacute \xC3\x89x &toolongtobeanyname; &;");
}

}  // namespace
}  // namespace qova::platform
