#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/qt_strings.h"

namespace qova::platform {
namespace {

TEST(LineReader, EndsLinesAtCrLfAndLoneCrButNotAtLoneLf) {
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c\nd"}));
    // A terminator at the end closes the last line; an empty line before it stays.
    EXPECT_EQ(splitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitLines("\r\n"), (std::vector<std::string>{""}));
    EXPECT_TRUE(splitLines("").empty());
    // CR followed by CR LF is one empty line, not two.
    EXPECT_EQ(splitLines("a\r\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(splitLines(std::string("x\0y\r\nz", 6)),
              (std::vector<std::string>{std::string("x\0y", 3), "z"}));
}

TEST(LineReader, TextsWrittenByEditorsEndLinesAtLoneLfToo) {
    EXPECT_EQ(splitLines("a\nb\r\nc\rd\n\ne\n", LineEnds::AnyBreak),
              (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(splitLines("\n\r\n", LineEnds::AnyBreak), (std::vector<std::string>{"", ""}));
    // A break of one kind far behind many of the other.
    EXPECT_EQ(splitLines("a\nb\nc\rd\r\re\nf", LineEnds::AnyBreak),
              (std::vector<std::string>{"a", "b", "c", "d", "", "e", "f"}));
}

TEST(Characters, AreCountedInUtf8WithStrayBytesCountedAlone) {
    EXPECT_EQ(characterStarts("a\xC3\x89"
                              "b\xE2\x82\xAC"),
              (std::vector<std::size_t>{0, 1, 3, 4}));
    EXPECT_EQ(characterStarts("\xFF\xC3"), (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(characterStarts("").empty());
}

TEST(Search, FoldsCaseAndAccents) {
    EXPECT_EQ(foldedForSearch("\xC3\x96sterreich"), "osterreich");
    EXPECT_EQ(foldedForSearch("Caf\xC3\xA9 M\xC3\xBCNCHEN"), "cafe munchen");
    EXPECT_EQ(foldedForSearch("RADIO One"), "radio one");
    // Letters whose mark is part of them, which no decomposition takes away.
    EXPECT_EQ(foldedForSearch("Łódź"), "lodz");
    EXPECT_EQ(foldedForSearch("Ærøskøbing"), "aeroskobing");
    EXPECT_EQ(foldedForSearch("Straße STRAẞE"), "strasse strasse");
    EXPECT_EQ(foldedForSearch("Þórshöfn"), "thorshofn");
    EXPECT_EQ(foldedForSearch("Đakovo Ður"), "dakovo dur");
    EXPECT_EQ(foldedForSearch("Ħamrun Diyarbakır"), "hamrun diyarbakir");
    EXPECT_EQ(foldedForSearch("Œuvre İstanbul"), "oeuvre istanbul");
    EXPECT_EQ(foldedForSearch("Col·legi"), "collegi");
}

TEST(StreamText, Utf8StaysOtherBytesAreReadAsWindows1252AndControlsGo) {
    EXPECT_EQ(textFromStream("Caf\xC3\xA9 M\xC3\xBCller"), "Caf\xC3\xA9 M\xC3\xBCller");
    EXPECT_EQ(textFromStream("Caf\xE9 M\xFCller \x93Live\x94"),
              "Caf\xC3\xA9 M\xC3\xBCller \xE2\x80\x9CLive\xE2\x80\x9D");
    EXPECT_EQ(textFromStream("  a\r\n\tb\x01  c  "), "a b c");
    // Controls written as UTF-8: C1's escape introducer, a line separator.
    EXPECT_EQ(textFromStream("a\u009B31m b\u2028c"), "a 31m b c");
    EXPECT_EQ(textFromStream("<b>&amp;</b>"), "<b>&amp;</b>");  // shown as it came, as text
    EXPECT_LE(textFromStream(std::string(5000, '\xE9')).size(), kMaxStreamTextBytes + 4);
    EXPECT_EQ(textFromStream(""), "");
}

TEST(LineBreaks, EveryKindBecomesCrLf) {
    EXPECT_EQ(withCrLfLineBreaks("a\nb\rc\r\nd\n\n"), "a\r\nb\r\nc\r\nd\r\n\r\n");
    EXPECT_EQ(withCrLfLineBreaks("\r\r\n"), "\r\n\r\n");
    EXPECT_EQ(withCrLfLineBreaks(""), "");
    EXPECT_EQ(withCrLfLineBreaks("\n"), "\r\n");
    EXPECT_EQ(withCrLfLineBreaks("no breaks"), "no breaks");
    // Long texts of one kind of break each, as large directory pages come.
    std::string crOnly, lfOnly, expected;
    for (int i = 0; i < 100000; ++i) {
        crOnly += "line\r";
        lfOnly += "line\n";
        expected += "line\r\n";
    }
    EXPECT_EQ(withCrLfLineBreaks(crOnly), expected);
    EXPECT_EQ(withCrLfLineBreaks(lfOnly), expected);
}

TEST(Case, IgnoringCaseFoldsNonAsciiLettersAndKeepsInvalidBytes) {
    EXPECT_TRUE(equalsIgnoreCase("VIDEO", "video"));
    EXPECT_TRUE(equalsIgnoreCase("Österreich", "ÖSTERREICH"));
    EXPECT_TRUE(equalsIgnoreCase("Ä", "ä"));
    EXPECT_FALSE(equalsIgnoreCase("Ä", "a"));
    EXPECT_FALSE(equalsIgnoreCase("video", "videos"));
    EXPECT_FALSE(equalsIgnoreCase("", "x"));
    EXPECT_EQ(lowerCase("ÇA VA"), "ça va");
    EXPECT_EQ(upperCase("then email us at:"), "THEN EMAIL US AT:");
    // Bytes that are no UTF-8 compare exactly and survive case mapping.
    EXPECT_EQ(lowerCase("A\xff\xc3Z"), "a\xff\xc3z");
    EXPECT_TRUE(equalsIgnoreCase("\xffX", "\xffx"));
    EXPECT_FALSE(equalsIgnoreCase("\xfe", "\xff"));
}

TEST(Case, TextsEqualWithoutRegardToCaseHashAlike) {
    // Pairs that lower-case alike although their bytes differ in length or script: the Kelvin
    // sign is a K, and ASCII on one side only.
    const std::vector<std::pair<std::string, std::string>> equal = {{"\u212Aelvin", "kelvin"},
                                                                    {"AB\u212A", "abk"},
                                                                    {"ÖSTERREICH", "österreich"},
                                                                    {"ABC\xFF", "abc\xFF"},
                                                                    {"", ""}};
    for (const auto& [a, b] : equal) {
        ASSERT_TRUE(equalsIgnoreCase(a, b)) << a;
        EXPECT_EQ(hashIgnoreCase(a), hashIgnoreCase(b)) << a;
    }
    EXPECT_NE(hashIgnoreCase("Italy"), hashIgnoreCase("Italia"));
    // FNV-1a as published, which names files the program keeps.
    EXPECT_EQ(fnv1a(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(fnv1a("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(fnv1a("foobar"), 0x85944171f73967e8ull);
}

TEST(Text, ByteOrderMarksBlanksAndLongNamesAreTakenOff) {
    EXPECT_EQ(withoutByteOrderMark("\xEF\xBB\xBFURLTXT=x"), "URLTXT=x");
    EXPECT_EQ(withoutByteOrderMark("\xEF\xBB"), "\xEF\xBB");
    EXPECT_EQ(withoutByteOrderMark("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
    EXPECT_EQ(trimmed(" \t\r\n\f\va b \r\n"), "a b");
    EXPECT_EQ(trimmed(" \t "), "");

    EXPECT_EQ(shownText("France"), "France");
    // Whole characters: 300 two-byte letters are cut to 200 of them, 400 bytes.
    std::string long2;
    for (int i = 0; i < 300; ++i)
        long2 += "\xC3\x96";
    EXPECT_EQ(shownText(long2), long2.substr(0, 2 * kMaxShownCharacters));
    // A stray byte counts as one character; a sequence is never split.
    const std::string mixed =
        "\xFF" + std::string(kMaxShownCharacters - 2, 'a') + "\xE2\x82\xAC\xE2\x82\xAC";
    EXPECT_EQ(shownText(mixed), mixed.substr(0, mixed.size() - 3));
    EXPECT_EQ(shownText(std::string(5'000'000, 'x')).size(), kMaxShownCharacters);

    EXPECT_EQ(firstBytes("a\xE2\x82\xAC", 3), "a");
    EXPECT_EQ(firstBytes("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
    EXPECT_EQ(firstBytes("ab\xC3\x96", 3), "ab");
    EXPECT_EQ(firstBytes("\x80\x80\x80\x80\x80", 2), "\x80\x80");  // no sequence to keep whole
}

TEST(Fields, SplitAtEverySeparatorWithoutTrimming) {
    EXPECT_EQ(splitFields("a| b ||d"), (std::vector<std::string_view>{"a", " b ", "", "d"}));
    EXPECT_EQ(splitFields(""), (std::vector<std::string_view>{""}));
    std::string_view field;
    ASSERT_TRUE(fieldAt("France|Video|TV5|http://x", 2, field));
    EXPECT_EQ(field, "TV5");
    ASSERT_TRUE(fieldAt("France|Video|TV5|http://x", 3, field));
    EXPECT_EQ(field, "http://x");
    EXPECT_FALSE(fieldAt("France|Video", 2, field));
    EXPECT_TRUE(hasFields("a|b|", 3));
    EXPECT_FALSE(hasFields("a|b", 3));
    EXPECT_TRUE(hasFields("", 1));
}

TEST(QtStrings, CarryUtf8BothWaysAndWriteMinutesOfLocalTime) {
    EXPECT_EQ(toStdString(toQString("\xC3\x96sterreich | \xE2\x82\xAC")),
              "\xC3\x96sterreich | \xE2\x82\xAC");
    EXPECT_EQ(toQString(std::string_view("a\0b", 3)).size(), 3);
    EXPECT_EQ(toQString("\xFF"), QString(QChar::ReplacementCharacter));
    EXPECT_EQ(minuteText(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 59))), "2026-12-06 09:05");
}

}  // namespace
}  // namespace qova::platform
