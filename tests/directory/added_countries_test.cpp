// One country is one entry in the country lists, whatever list named it and however: the
// directory's name is kept, and the lists' channels join it.
#include "directory/added_countries.h"

#include "directory/added_lists.h"
#include "directory/directory_fixture.h"

namespace qova::directory {
namespace {

class AddedCountriesTest : public DirectoryTest {
  protected:
    /// Adds a list with this text and lets it be fetched.
    void addList(const std::string& address, const std::string& text) {
        f.lists.pages[address] = text;
        ASSERT_EQ(form.addedLists().add(address), AddedLists::AddResult::Added);
        f.lists.answer(address);
    }
    Strings shown(const char* category) {
        category == std::string("Video") ? form.imgTV_Click() : form.imgRadio_Click();
        return Strings(f.cmbCountry.items.begin() + 1, f.cmbCountry.items.end());
    }
    Strings channelsOf(const char* category, const std::string& country) {
        shown(category);
        f.cmbCountry.choose(country);
        return f.trView.texts();
    }
};

TEST_F(AddedCountriesTest, ACountryAListNamesByCodeOrInAnyOfItsLanguagesJoinsTheDirectorysEntry) {
    download(
        "Schweiz|Video|SRF 1|http://127.0.0.1:1/srf.m3u8|DE\r\n"
        "Deutschland|Video|Das Erste|http://127.0.0.1:1/ard.m3u8|DE\r\n"
        "Mars|Radio|Red Planet|http://127.0.0.1:1/mars.mp3|\r\n");
    addList("http://127.0.0.1:1/ch.m3u",
            "#EXTM3U\n#EXTINF:-1 tvg-country=\"CH\",RTS Un\nhttp://127.0.0.1:1/rts.m3u8\n"
            "#EXTINF:-1 tvg-country=\"DE\",ZDF\nhttp://127.0.0.1:1/zdf.m3u8\n");
    addList("http://127.0.0.1:1/native.txt",
            "Suisse|Video|RSI La 1|http://127.0.0.1:1/rsi.m3u8|IT\r\n"
            "SCHWEIZ|Video|Tele Zuri|http://127.0.0.1:1/zuri.m3u8|DE\r\n"
            "Mars|Radio|Olympus FM|http://127.0.0.1:1/olympus.mp3|\r\n");
    addList("http://127.0.0.1:1/stations.json",
            R"([{"name":"Radio SRF 3","url":"http://127.0.0.1:1/srf3.mp3","countrycode":"CH"},)"
            R"({"name":"Radio Bern","url":"http://127.0.0.1:1/bern.mp3","countrycode":"ch"}])");

    EXPECT_EQ(shown("Video"), (Strings{"Schweiz", "Deutschland"}));
    EXPECT_EQ(channelsOf("Video", "Schweiz"),
              (Strings{"SRF 1", "RTS Un", "RSI La 1", "Tele Zuri"}));
    EXPECT_EQ(channelsOf("Video", "Deutschland"), (Strings{"Das Erste", "ZDF"}));
    // The directory names Switzerland only among its TV channels: its radio stations are listed
    // by that name too. A country no locale knows joins only its own name.
    EXPECT_EQ(shown("Radio"), (Strings{"Mars", "Schweiz"}));
    EXPECT_EQ(channelsOf("Radio", "Schweiz"), (Strings{"Radio SRF 3", "Radio Bern"}));
    EXPECT_EQ(channelsOf("Radio", "Mars"), (Strings{"Red Planet", "Olympus FM"}));
    // Nothing of it touches a line: a favourite is the list's line as it was.
    f.cmbCountry.choose("Schweiz");
    f.trView.selectNode(1);
    form.cmdFavorite_Click();
    EXPECT_EQ(f.files.files.at("favorites.txt"),
              "Switzerland|Radio|Radio SRF 3|http://127.0.0.1:1/srf3.mp3|\r\n");
}

TEST_F(AddedCountriesTest, TheDirectoryAloneKeepsEveryNameItGivesAndListsAloneKeepTheFirst) {
    // The directory's own names are its own, even two of one country.
    download(
        "Schweiz|Video|SRF 1|http://127.0.0.1:1/srf.m3u8|DE\r\n"
        "Switzerland|Video|Swiss 1|http://127.0.0.1:1/swiss.m3u8|EN\r\n");
    EXPECT_EQ(shown("Video"), (Strings{"Schweiz", "Switzerland"}));
    // A list's name that is the directory's joins it as it always did; another joins the first.
    addList("http://127.0.0.1:1/a.txt",
            "switzerland|Video|A|http://127.0.0.1:1/a.m3u8|\r\n"
            "Svizzera|Video|B|http://127.0.0.1:1/b.m3u8|\r\n"
            "Österreich|Radio|Ö1|http://127.0.0.1:1/oe1.mp3|\r\n"
            "Austria|Radio|FM4|http://127.0.0.1:1/fm4.mp3|\r\n"
            "AT|Radio|Ö3|http://127.0.0.1:1/oe3.mp3|\r\n");
    EXPECT_EQ(shown("Video"), (Strings{"Schweiz", "Switzerland"}));
    EXPECT_EQ(channelsOf("Video", "Schweiz"), (Strings{"SRF 1", "B"}));
    EXPECT_EQ(channelsOf("Video", "Switzerland"), (Strings{"Swiss 1", "A"}));
    // Without the directory's name, the first name a list gave stands for all.
    EXPECT_EQ(shown("Radio"), (Strings{"Österreich"}));
    EXPECT_EQ(channelsOf("Radio", "Österreich"), (Strings{"Ö1", "FM4", "Ö3"}));
}

}  // namespace
}  // namespace qova::directory
