#include "favorites/favorites.h"

#include <gtest/gtest.h>

#include "directory/directory_fixture.h"

namespace qova::favorites {
namespace {

const platform::Colour kHighlight = platform::Colour::system(13);
const char* kDirectory =
    "F|Video|One|u1|EN\r\nF|Video|Two|u2|EN\r\nF|Radio|Three|u3|EN\r\nF|Video|One|u4|EN\r\n"
    "G|VIDEO|Four|u5|EN\r\nF|Video|On|u1|EN";

class FavoritesTest : public directory::DirectoryTest {
  protected:
    FavoritesTest() {
        download(kDirectory);
        f.cmbCountry.choose("F");
    }
    std::string file() const {
        return f.files.files.count("favorites.txt") ? f.files.files.at("favorites.txt") : "<none>";
    }
    void toggle(int node) {
        f.trView.click(node);
        form.cmdFavorite_Click();
    }
};

TEST_F(FavoritesTest, AddsAppendAndRemovalsRewriteTheFileByteForByte) {
    EXPECT_EQ(file(), "<none>");
    toggle(1);
    EXPECT_EQ(file(), "F|Video|One|u1|EN\r\n");
    EXPECT_EQ(f.trView.nodeImage(1), 2);
    EXPECT_EQ(f.trView.nodeBackColour(1), kHighlight);
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdRemoveFav.picture());
    toggle(2);
    // Same name as node 1, its own record: the button acts on the node's own line.
    toggle(3);
    EXPECT_EQ(file(), "F|Video|One|u1|EN\r\nF|Video|Two|u2|EN\r\nF|Video|One|u4|EN\r\n");
    EXPECT_EQ(state().strFavorites, file());
    // A line that is only the start of a favourite is not one.
    EXPECT_EQ(f.trView.nodeImage(4), 0);

    toggle(1);
    EXPECT_EQ(file(), "F|Video|Two|u2|EN\r\nF|Video|One|u4|EN\r\n");
    EXPECT_EQ(f.trView.nodeImage(1), 0);
    EXPECT_EQ(f.trView.nodeImage(3), 2);
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdAddFav.picture());
    EXPECT_EQ(state().strFavorites, file());

    // Empty lines written by hand go at the next removal; the only favourite leaves no byte.
    f.files.files["favorites.txt"] = "\r\nF|Video|Two|u2|EN\r\n\r\n";
    state().strFavorites = "\r\nF|Video|Two|u2|EN\r\n\r\n";
    toggle(2);
    EXPECT_EQ(file(), "");
    EXPECT_EQ(f.trView.nodeImage(2), 0);
}

TEST_F(FavoritesTest, ARecordStandingTwiceIsRemovedOneCopyAtATime) {
    f.files.files["favorites.txt"] = "F|Video|Two|u2|EN\r\nX|Radio|Y|u|EN\r\nF|Video|Two|u2|EN\r\n";
    download(kDirectory);
    f.cmbCountry.choose("F");
    ASSERT_EQ(f.trView.nodeImage(2), 2);
    toggle(2);
    EXPECT_EQ(file(), "X|Radio|Y|u|EN\r\nF|Video|Two|u2|EN\r\n");
    EXPECT_EQ(state().strFavorites, file());
    f.trView.click(1);
    toggle(2);
    EXPECT_EQ(file(), "X|Radio|Y|u|EN\r\n");
    EXPECT_EQ(f.trView.nodeImage(2), 0);
}

TEST_F(FavoritesTest, TheViewFiltersByCategoryAndKeepsNodesBesideRecords) {
    f.files.files["favorites.txt"] =
        "F|Radio|R1|u|EN\r\nG|VIDEO|V1|u|EN\r\n\r\nshort|line\r\nH|radio|R2|u|EN\r\nI|Other|O|u|"
        "EN\r\n";
    download(kDirectory);
    form.imgFavorits_Click();
    EXPECT_EQ(state().strCategory, "Favorite");
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"All", "Video", "Radio"}));
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"R1", "V1", "R2", "O"}));
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdRemoveFav.picture());
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(f.trView.nodeImage(n), 2);
    f.cmbCountry.choose("Radio");
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"R1", "R2"}));
    EXPECT_EQ(*channels().record(2), "H|radio|R2|u|EN");
    f.cmbCountry.choose("Video");
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"V1"}));

    f.cmbCountry.choose("All");
    f.trView.click(3);
    f.trView.selectNode(1);  // selected, not started
    form.cmdFavorite_Click();
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"V1", "R2", "O"}));
    EXPECT_EQ(f.trView.nodeText(channels().intPlayingNode()), "R2");
    EXPECT_EQ(file(), "G|VIDEO|V1|u|EN\r\nshort|line\r\nH|radio|R2|u|EN\r\nI|Other|O|u|EN\r\n");
    EXPECT_EQ(f.trView.nodeBackColour(1), platform::Colour::rgb(204, 204, 204));  // no highlight

    // A category button brings the countries back.
    form.imgTV_Click();
    EXPECT_EQ(f.cmbCountry.items, (std::vector<std::string>{"Select Country", "F", "G"}));
}

TEST_F(FavoritesTest, AFailedWriteChangesNothingAndSaysSo) {
    toggle(1);
    const std::string before = file();
    const std::string text = state().strFavorites;
    f.files.unwritable.insert("favorites.txt");
    toggle(2);
    toggle(1);
    EXPECT_EQ(f.messages.shown.size(), 2u);
    EXPECT_NE(f.messages.shown[0].find("favorites.txt"), std::string::npos);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(state().strFavorites, text);
    EXPECT_EQ(f.trView.nodeImage(1), 2);
    EXPECT_EQ(f.trView.nodeImage(2), 0);

    form.imgFavorits_Click();
    toggle(1);
    EXPECT_EQ(f.trView.nodeCount(), 1);
    EXPECT_EQ(file(), before);
    EXPECT_EQ(f.messages.shown.size(), 3u);
}

TEST_F(FavoritesTest, AfterARestartStarsAndViewMatchTheFile) {
    toggle(1);
    toggle(3);
    toggle(1);
    directory::LoadedMain next("URLTXT=http://127.0.0.1:1/channels.txt\r\n", f.files.files);
    next.f.wbDownload.complete(kDirectory);
    next.f.cmbCountry.choose("F");
    std::vector<int> stars;
    for (int n = 1; n <= next.f.trView.nodeCount(); ++n)
        stars.push_back(next.f.trView.nodeImage(n));
    EXPECT_EQ(stars, (std::vector<int>{0, 0, 2, 0}));
    next.form.imgFavorits_Click();
    EXPECT_EQ(next.f.trView.texts(), (std::vector<std::string>{"One"}));
    EXPECT_EQ(*next.form.channels().record(1), "F|Video|One|u4|EN");
}

TEST_F(FavoritesTest, AFileSavedWithLfLineEndsReadsAsItsLines) {
    f.files.files["favorites.txt"] = "F|Video|Two|u2|EN\nF|Radio|Three|u3|EN\n";
    download(kDirectory);
    f.cmbCountry.choose("F");
    EXPECT_EQ(f.trView.nodeImage(2), 2);
    toggle(2);  // removed, and the file written back with the program's own line ends
    EXPECT_EQ(file(), "F|Radio|Three|u3|EN\r\n");
    form.imgFavorits_Click();
    EXPECT_EQ(f.trView.texts(), (std::vector<std::string>{"Three"}));
}

TEST_F(FavoritesTest, ExportedFavouritesImportBackTheSameAndNothingTwice) {
    toggle(1);
    toggle(3);
    const std::string before = file();
    const std::string playlist = form.exportFavorites();
    EXPECT_EQ(playlist.rfind("#EXTM3U", 0), 0u);
    // Into an empty favourites file: the same lines.
    directory::LoadedMain other("URLTXT=http://127.0.0.1:1/x");
    other.f.wbDownload.complete(kDirectory);
    EXPECT_EQ(other.form.importFavorites(playlist), 2);
    EXPECT_EQ(other.f.files.files.at("favorites.txt"), before);
    EXPECT_EQ(other.form.importFavorites(playlist), 0);
    // Into these favourites again: nothing twice; and the stars of the tree follow.
    EXPECT_EQ(form.importFavorites(playlist + "#EXTINF:-1,Two\nhttp://x/u2\n"), 1);
    EXPECT_EQ(file(), before + "International|Video|Two|http://x/u2|\r\n");
    f.files.unwritable.insert("favorites.txt");
    const std::string favourites = state().strFavorites;
    EXPECT_EQ(form.importFavorites("F|Video|New|u9|EN\nF|Video|Newer|u10|EN"), 0);
    EXPECT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(state().strFavorites, favourites);
}

TEST_F(FavoritesTest, NothingSelectedNothingChanges) {
    f.cmbCountry.choose("Select Country");
    form.cmdFavorite_Click();
    EXPECT_EQ(file(), "<none>");
    form.imgRadio_Click();
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdAddFav.picture());
}

}  // namespace
}  // namespace qova::favorites
