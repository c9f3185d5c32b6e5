#include "favorites/favorites.h"

#include <gtest/gtest.h>

#include "directory/directory_fixture.h"

namespace qova::favorites {
namespace {

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
    form.cmdFavorite_Click();  // nothing selected, nothing changes
    EXPECT_EQ(file(), "<none>");
    toggle(1);
    EXPECT_EQ(file(), "F|Video|One|u1|EN\r\n");
    EXPECT_EQ(f.trView.nodeImage(1), 2);
    EXPECT_EQ(f.trView.nodeBackColour(1), platform::Colour::system(13));  // highlighted
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdRemoveFav.picture());
    toggle(2);
    // Same name as node 1, its own record: the button acts on the node's own line.
    toggle(3);
    EXPECT_EQ(file(), "F|Video|One|u1|EN\r\nF|Video|Two|u2|EN\r\nF|Video|One|u4|EN\r\n");
    EXPECT_EQ(state().strFavorites, file());

    toggle(1);
    EXPECT_EQ(file(), "F|Video|Two|u2|EN\r\nF|Video|One|u4|EN\r\n");
    EXPECT_EQ(f.trView.nodeImage(1), 0);
    EXPECT_EQ(f.trView.nodeImage(3), 2);
    EXPECT_EQ(f.cmdFavorite.picture(), f.cmdAddFav.picture());
    EXPECT_EQ(state().strFavorites, file());
    // A record standing twice goes one copy at a time, and the last leaves no byte. A file saved
    // with LF line ends reads as its lines, and is written back with the program's own.
    f.files.files["favorites.txt"] = "F|Video|Two|u2|EN\nF|Video|One|u4|EN\nF|Video|Two|u2|EN\n";
    download(kDirectory);
    f.cmbCountry.choose("F");
    ASSERT_EQ(f.trView.nodeImage(2), 2);
    toggle(2);
    EXPECT_EQ(file(), "F|Video|One|u4|EN\r\nF|Video|Two|u2|EN\r\n");
    EXPECT_EQ(state().strFavorites, file());
    f.trView.click(1);
    toggle(2);
    EXPECT_EQ(f.trView.nodeImage(2), 0);
    toggle(3);
    EXPECT_EQ(file(), "");
}

TEST_F(FavoritesTest, TheViewFiltersByCategoryAndKeepsNodesBesideRecords) {
    f.files.files["favorites.txt"] =
        "F|Radio|R1|u|EN\nG|VIDEO|V1|u|EN\r\n\nshort|line\r\nH|radio|R2|u|EN\nI|Other|O|u|EN\r\n";
    download(kDirectory);
    form.imgFavorits_Click();
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
    EXPECT_EQ(f.trView.nodeImage(1), 2);
    EXPECT_EQ(f.trView.nodeImage(2), 0);

    form.imgFavorits_Click();
    toggle(1);
    EXPECT_EQ(f.trView.nodeCount(), 1);
    EXPECT_EQ(f.messages.shown.size(), 3u);
    // An import too: none is added.
    EXPECT_EQ(form.addFavorites(ChannelsToImport("F|Video|New|u9|EN\nF|Video|Newer|u10|EN")), 0);
    EXPECT_EQ(f.messages.shown.size(), 4u);
    // Nothing written could have been taken back, so file and text are as they were throughout.
    EXPECT_EQ(file(), before);
    EXPECT_EQ(state().strFavorites, text);
}

TEST_F(FavoritesTest, ExportedFavouritesImportBackTheSameAndNothingTwice) {
    toggle(1);
    toggle(3);
    const std::string before = file();
    const std::string playlist = form.exportFavorites();
    // Into these favourites again: each comes back as the same record, so nothing twice.
    EXPECT_EQ(form.addFavorites(ChannelsToImport(playlist + "#EXTINF:-1,Two\nhttp://x/u2\n")), 1);
    EXPECT_EQ(file(), before + "International|Video|Two|http://x/u2|\r\n");
}

}  // namespace
}  // namespace qova::favorites
