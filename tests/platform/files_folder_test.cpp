#include "platform/files_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/posix_text_files.h"

namespace qova::platform {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FilesFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qova-folders-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        program = root / "usr/lib/qova";
        fs::create_directories(program);
        std::ofstream(program / "Player.html") << "shipped page";
        std::ofstream(program / "Config.txt") << "URLTXT=file:///shipped\r\n";
    }
    void TearDown() override {
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }
    /// The program folder as a package installs it for all users.
    void installedForAll() {
        fs::permissions(program,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    fs::path root;
    fs::path program;
};

TEST_F(FilesFolderTest, AWritableProgramFolderKeepsTheFilesBesideTheProgram) {
    const auto chosen = filesFolderFor(program.string(), "/nowhere", "/nowhere");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->folder, program.string());
    EXPECT_EQ(chosen->defaults, "");
    EXPECT_FALSE(fs::exists("/nowhere"));
}

// Also as root, whose writes the permissions would not stop: the folder is not the user's.
TEST_F(FilesFolderTest, AFolderInstalledForAllGivesEachUserTheirOwnDataFolder) {
    installedForAll();
    EXPECT_FALSE(folderWritableByPermissions(program.string()));
    const fs::path first = root / "home/one", second = root / "home/two";
    const auto one = filesFolderFor(program.string(), nullptr, first.c_str());
    const auto two = filesFolderFor(program.string(), "", second.c_str());
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->folder, (first / ".local/share/qova").string());
    EXPECT_EQ(two->folder, (second / ".local/share/qova").string());
    EXPECT_EQ(one->defaults, program.string());
    // XDG_DATA_HOME when it is absolute; a relative one is not valid.
    EXPECT_EQ(filesFolderFor(program.string(), (root / "data").c_str(), first.c_str())->folder,
              (root / "data/qova").string());
    EXPECT_EQ(filesFolderFor(program.string(), "relative", first.c_str())->folder, one->folder);
    EXPECT_FALSE(filesFolderFor(program.string(), nullptr, nullptr));

    // The page is given once; the user's own stays.
    EXPECT_EQ(slurp(fs::path(one->folder) / "Player.html"), "shipped page");
    std::ofstream(fs::path(one->folder) / "Player.html") << "the user's page";
    filesFolderFor(program.string(), nullptr, first.c_str());
    EXPECT_EQ(slurp(fs::path(one->folder) / "Player.html"), "the user's page");

    // Config.txt from the user's folder first, then the program's; every write goes to the
    // user's folder, and each user keeps their own favourites.
    PosixTextFiles files(one->folder, one->defaults, {"Config.txt"});
    PosixTextFiles others(two->folder, two->defaults, {"Config.txt"});
    EXPECT_EQ(files.read("config.TXT")->view(), "URLTXT=file:///shipped\r\n");
    EXPECT_FALSE(files.exists("Channel.txt"));
    ASSERT_TRUE(files.replace("Config.txt", "URLTXT=file:///mine\r\n"));
    EXPECT_EQ(files.read("Config.txt")->view(), "URLTXT=file:///mine\r\n");
    EXPECT_EQ(others.read("Config.txt")->view(), "URLTXT=file:///shipped\r\n");
    ASSERT_TRUE(files.appendLine("favorites.txt", "A|Radio|Mine|u|EN"));
    EXPECT_FALSE(others.exists("favorites.txt"));
    EXPECT_EQ(slurp(program / "Config.txt"), "URLTXT=file:///shipped\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(program), fs::directory_iterator{}), 2);
}

}  // namespace
}  // namespace qova::platform
