// Which channels may play a file of this computer: decided for each at its start and at its
// check, from where its line came. Only a list that is itself a file here may name one.
#include <algorithm>
#include <set>
#include <stdexcept>

#include "directory/directory_fixture.h"
#include "favorites/favorites.h"

namespace qova::playback {
namespace {

const std::string kClip = "file:///demo/media/clip.mp4";
const std::string kDirectory = "Demo|Video|Clip|" + kClip +
                               "|EN\r\n"
                               "Demo|Video|Stream|http://127.0.0.1:1/live.m3u8|EN\r\n";
const std::string kRemoteList = "http://127.0.0.1:1/list.txt";
const std::string kLocalList = "/lists/mine.txt";

class LocalFilesTest : public ::testing::Test {
  protected:
    /// The window on a directory from this address, with a list from elsewhere and one from
    /// here added, both fetched.
    explicit LocalFilesTest(const std::string& directory = "file:///demo/directory.txt")
        : main("URLTXT=" + directory + "\r\n") {
        f.files.files["Player.html"] = "old page\r\n";
        f.wbDownload.complete(kDirectory);
        f.lists.pages[kRemoteList] =
            "Demo|Video|Keys|/home/u/.ssh/id_rsa|EN\n"
            // The directory's own address under another name: a line of its own.
            "Demo|Video|Clip Again|" +
            kClip +
            "|EN\n"
            "Demo|Video|Remote Stream|rtsp://127.0.0.1:1/s|EN\n";
        f.lists.pages[kLocalList] = "Demo|Radio|Mine|relative/tone.mp3|EN\n";
        for (const std::string& list : {kRemoteList, kLocalList}) {
            form.addedLists().add(list);
            f.lists.answer(list);
        }
    }

    /// Starts the channel of the node shown under this name: what the player is allowed.
    std::string allowedFor(const std::string& name) {
        const std::vector<std::string> names = f.trView.texts();
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end())
            throw std::out_of_range("no node " + name);
        f.player.allowLocalFile("not told");
        f.trView.click(static_cast<int>(found - names.begin()) + 1);
        return f.player.allowedLocalFile;
    }

    directory::LoadedMain main;
    fakes::FakeMain& f = main.f;
    app::MainForm& form = main.form;
};

TEST_F(LocalFilesTest, OnlyALineOfAListHereMayNameAFileHere) {
    f.cmbCountry.choose("Demo");
    ASSERT_EQ(f.trView.texts(),
              (directory::Strings{"Clip", "Stream", "Keys", "Clip Again", "Remote Stream"}));
    EXPECT_EQ(allowedFor("Clip"), kClip);
    for (const char* none : {"Stream", "Keys", "Clip Again", "Remote Stream"})
        EXPECT_EQ(allowedFor(none), "") << none;
    form.imgRadio_Click();
    f.cmbCountry.choose("Demo");
    EXPECT_EQ(allowedFor("Mine"), "relative/tone.mp3");

    // The check looks at the files of those channels alone, as the player would play them.
    form.imgTV_Click();
    f.cmbCountry.choose("Demo");
    form.health().checkShown();
    for (int i = 0; i < 10 && f.checker.answerOne(); ++i) {
    }
    EXPECT_EQ(f.checker.localFilesAllowed, std::set<std::string>{kClip});

    // Favourites and results of the search are lines copied from the sources: a copy of a line
    // here may, one imported from a playlist that no list here names may not.
    f.cmbCountry.choose("Demo");
    f.trView.selectNode(1);
    form.cmdFavorite_Click();
    form.addFavorites(favorites::ChannelsToImport(
        "#EXTM3U\n#EXTINF:-1 tvg-country=\"AT\",Imported\nfile:///demo/media/other.mp4\n"));
    form.imgFavorits_Click();
    EXPECT_EQ(allowedFor("Clip"), kClip);
    EXPECT_EQ(allowedFor("Imported"), "");
    form.search("clip");
    EXPECT_EQ(allowedFor("Clip \u2014 Demo"), kClip);
    EXPECT_EQ(allowedFor("Clip Again \u2014 Demo"), "");

    // A list here that is removed no longer vouches for its lines.
    form.endSearch();
    form.imgRadio_Click();
    f.cmbCountry.choose("Demo");
    f.trView.selectNode(1);
    form.cmdFavorite_Click();
    form.addedLists().remove(1);
    form.imgFavorits_Click();
    EXPECT_EQ(allowedFor("Mine"), "");
}

class RemoteDirectoryTest : public LocalFilesTest {
  protected:
    RemoteDirectoryTest() : LocalFilesTest("http://127.0.0.1:1/directory.txt") {}
};

TEST_F(RemoteDirectoryTest, ADirectoryFromElsewhereNamesNoFileHere) {
    f.cmbCountry.choose("Demo");
    EXPECT_EQ(allowedFor("Clip"), "");
    EXPECT_EQ(allowedFor("Stream"), "");
    form.health().checkShown();
    EXPECT_TRUE(f.checker.localFilesAllowed.empty());
    // A list here still may.
    form.imgRadio_Click();
    f.cmbCountry.choose("Demo");
    EXPECT_EQ(allowedFor("Mine"), "relative/tone.mp3");
}

}  // namespace
}  // namespace qova::playback
