// Directory pages a server should never send, and what the program makes of them: it never
// crashes, and it never loses the stored directory or the favourites.
#include <cstdio>

#include "directory/added_lists.h"
#include "directory/channel_record.h"
#include "directory/channel_tree.h"
#include "directory/directory_fixture.h"
#include "favorites/favorites.h"

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

// A name or a country of megabytes is shown and listed by its first characters, whole UTF-8
// characters; its record stays whole where it is kept and compared, and its channel is found
// under the country as listed.
TEST_F(DirectoryTest, NamesAndCountriesOfMegabytesAreShownCutAndTheirRecordsStayWhole) {
    std::string country;
    for (int i = 0; i < 1'500'000; ++i)
        country += "\xC3\x96";
    const std::string name(3'000'000, 'n');
    const std::string record = country + "|Video|" + name + "|http://127.0.0.1/long|EN";
    f.files.files["favorites.txt"] = record + "\r\n";
    download(record + "\r\n" + country + "x|Video|Twin|u|EN\r\nF|Video|Short|u|EN");
    const std::string shown = country.substr(0, 2 * platform::kMaxShownCharacters);
    // Countries alike in their first characters are listed once.
    EXPECT_EQ(state().colVideoCountries.items(), (Strings{shown, "F"}));
    EXPECT_EQ(f.cmbCountry.items, (Strings{"Select Country", shown, "F"}));
    f.cmbCountry.choose(shown);
    EXPECT_EQ(f.trView.texts(), (Strings{name.substr(0, platform::kMaxShownCharacters), "Twin"}));
    ASSERT_EQ(channels().count(), 2);
    EXPECT_EQ(*channels().record(1), record);
    EXPECT_EQ(f.trView.nodeImage(1), kFavouriteImage);
    f.trView.click(1);
    form.cmdFavorite_Click();
    EXPECT_EQ(f.files.files.at("favorites.txt"), "");
}

// The country list is filled in one call, which raises nothing, however many countries there are.
TEST_F(DirectoryTest, TheCountryListIsFilledInOneCall) {
    std::string page;
    for (int i = 0; i < 100'000; ++i)
        page += "Country " + std::to_string(i) + "|Radio|C|u|EN\r\n";
    download(page);
    const int clicks = f.cmbCountry.clicks;
    form.imgRadio_Click();
    EXPECT_EQ(f.cmbCountry.fills, 2);
    EXPECT_EQ(f.cmbCountry.clicks, clicks + 1);  // the selection of "Select Country" alone
    ASSERT_EQ(f.cmbCountry.count(), 100'001);
    EXPECT_EQ(f.cmbCountry.itemText(100'000), "Country 99999");
}

// An editor may save any file with a byte-order mark before its first line; it is no part of it.
TEST(ByteOrderMarks, BeforeAnyFileOfTheProgramTheyAreNoPartOfItsFirstLine) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string list = "http://127.0.0.1:1/a.m3u";
    char copy[48];
    std::snprintf(copy, sizeof copy, "ChannelList-%016llx.txt",
                  static_cast<unsigned long long>(platform::fnv1a(list)));
    LoadedMain main(bom + "URLTXT=http://127.0.0.1:1/channels.txt\r\n",
                    {{"favorites.txt", bom + "F|Video|Star|u1|EN\r\n"},
                     {"Channel.txt", bom + "F|Video|Star|u1|EN\r\nF|Video|Other|u2|EN\r\n"},
                     {"ChannelLists.txt", list + "\r\n"},
                     {copy, bom + "#qova-list fetched=2026-01-01 10:00\r\nL|Radio|X|u|EN\r\n"}});
    fakes::FakeMain& f = main.f;
    // The kept copy of an added list is read as the program wrote it.
    EXPECT_EQ(main.form.addedLists().lists().at(0).fetched, "2026-01-01 10:00");
    EXPECT_EQ(main.form.state().strAddedChannels, "L|Radio|X|u|EN\r\n");
    EXPECT_EQ(f.wbDownload.lastAddress(), "http://127.0.0.1:1/channels.txt");
    EXPECT_EQ(main.form.state().strConfigKey, "URLTXT");
    f.wbDownload.fail(500);  // the stored directory is shown
    EXPECT_EQ(main.form.state().colVideoCountries.items(), (Strings{"F"}));
    f.cmbCountry.choose("F");
    EXPECT_EQ(f.trView.texts(), (Strings{"Star", "Other"}));
    EXPECT_EQ(f.trView.nodeImage(1), kFavouriteImage);
    f.trView.click(1);
    main.form.cmdFavorite_Click();
    EXPECT_EQ(f.files.files.at("favorites.txt"), "");

    EXPECT_EQ(
        main.form.addFavorites(favorites::ChannelsToImport(bom + "H|Video|Imported|u4|EN\r\n")), 1);
    EXPECT_EQ(f.files.files.at("favorites.txt"), "H|Video|Imported|u4|EN\r\n");

    // A page that comes with one is stored as it came, and read without it.
    LoadedMain again;
    again.f.wbDownload.complete(bom + "G|Radio|Radio G|u3|EN");
    EXPECT_EQ(again.f.files.files.at("Channel.txt"), bom + "G|Radio|Radio G|u3|EN\r\n");
    EXPECT_EQ(again.form.state().colRadioCountries.items(), (Strings{"G"}));
}

}  // namespace
}  // namespace qova::directory
