// Directory pages a server should never send, and what the program makes of them: it never
// crashes, and it never loses the stored directory or the favourites.
#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

TEST_F(DirectoryTest, ShortLinesNameNoChannelAndShiftNothing) {
    f.files.files["favorites.txt"] = "F|Video|Star|u|EN\r\n";
    download(
        "F\r\n\r\nF|Video\r\nF|Video|\r\nF|Video|Star|u|EN\r\nLonely\r\n"
        "F|Video|Ten|u|a|b|c|d|e|f\r\nG|Radio\r\nF|Video|Last|u|EN");
    // Only lines with a name bring their country.
    EXPECT_EQ(state().colVideoCountries.items(), (Strings{"F"}));
    EXPECT_EQ(state().colRadioCountries.count(), 0);
    f.cmbCountry.choose("F");
    EXPECT_EQ(f.trView.texts(), (Strings{"", "Star", "Ten", "Last"}));
    ASSERT_EQ(channels().count(), 4);
    EXPECT_EQ(*channels().record(2), "F|Video|Star|u|EN");
    EXPECT_EQ(*channels().record(4), "F|Video|Last|u|EN");
    EXPECT_EQ(f.trView.nodeImage(2), 2);
    EXPECT_EQ(f.files.files.at("favorites.txt"), "F|Video|Star|u|EN\r\n");
}

TEST_F(DirectoryTest, LineEndsOfEveryKindAndOddBytesAreKept) {
    // Lone CRs end lines; a lone LF is an ordinary character and runs two lines into one. The
    // page is stored as it came and one CR LF more, though it ends with a line break already.
    download("F|Video|A|u|EN\rF|Video|B|u|EN\nF|Video|C|u|EN\r");
    EXPECT_EQ(channelFile(), "F|Video|A|u|EN\rF|Video|B|u|EN\nF|Video|C|u|EN\r\r\n");
    f.cmbCountry.choose("F");
    EXPECT_EQ(f.trView.texts(), (Strings{"A", "B"}));
    EXPECT_EQ(*channels().record(2), "F|Video|B|u|EN\nF|Video|C|u|EN");

    const std::string nul("Nul\0Land|Video|Zero\0Name|u|EN", 29);
    const std::string longUrl = "http://127.0.0.1/" + std::string(5000, 'x') + ".mp4";
    download("Ärmelkanal|Video|Ünïcødé|u|EN\r\n" + nul + "\r\n\xff\xfe|Video|Bad|u|EN\r\n" +
             "F|Video|Long|" + longUrl + "|EN");
    EXPECT_EQ(channelFile(), "Ärmelkanal|Video|Ünïcødé|u|EN\r\n" + nul +
                                 "\r\n\xff\xfe|Video|Bad|u|EN\r\nF|Video|Long|" + longUrl +
                                 "|EN\r\n");
    f.cmbCountry.choose("Ärmelkanal");
    EXPECT_EQ(f.trView.texts(), (Strings{"Ünïcødé"}));
    f.cmbCountry.choose(std::string("Nul\0Land", 8));
    EXPECT_EQ(f.trView.texts(), (Strings{std::string("Zero\0Name", 9)}));
    f.cmbCountry.choose("\xff\xfe");
    EXPECT_EQ(f.trView.texts(), (Strings{"Bad"}));
    f.cmbCountry.choose("F");
    ASSERT_EQ(channels().count(), 1);
    EXPECT_EQ(*channels().record(1), "F|Video|Long|" + longUrl + "|EN");
}

}  // namespace
}  // namespace qova::directory
