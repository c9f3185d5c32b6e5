#include "platform/posix_text_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace qova::platform {
namespace {

namespace fs = std::filesystem;

class PosixTextFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qova-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }
    void put(const std::string& name, const std::string& bytes) {
        std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
    }
    std::string folder;
};

TEST_F(PosixTextFilesTest, NamesMatchWithoutRegardToCaseAndWritesKeepEveryByteAndPermission) {
    const fs::perms userOnly = fs::perms::owner_read | fs::perms::owner_write;
    put("channel.TXT", "x");
    fs::permissions(folder + "/channel.TXT", userOnly);
    PosixTextFiles files(folder + "/");
    EXPECT_EQ(files.programFolder(), folder);
    EXPECT_TRUE(files.exists("Channel.txt"));
    EXPECT_EQ(files.read("Channel.txt")->view(), "x");
    const std::string bytes("a\0b\r\n\xff\n", 7);
    ASSERT_TRUE(files.replace("Channel.txt", bytes));
    // The file keeps its spelling and permissions; no second file appears beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
    EXPECT_EQ(fs::status(folder + "/channel.TXT").permissions(), userOnly);
    EXPECT_EQ(files.read("CHANNEL.txt")->view(), bytes);
    EXPECT_FALSE(files.exists("favorites.txt"));
    EXPECT_FALSE(files.read("favorites.txt").has_value());
    // A new file has what the umask gives; the test's own process, with nothing else running.
    const mode_t mask = ::umask(027);
    const bool written = files.replace("new.txt", "new");
    ::umask(mask);
    ASSERT_TRUE(written);
    EXPECT_EQ(fs::status(folder + "/new.txt").permissions(), userOnly | fs::perms::group_read);

    ASSERT_TRUE(files.appendLine("favorites.txt", "one"));
    ASSERT_TRUE(files.appendLine("favorites.txt", "two"));
    EXPECT_EQ(files.read("favorites.txt")->view(), "one\r\ntwo\r\n");
    ASSERT_TRUE(files.replace("favorites.txt", ""));
    EXPECT_EQ(files.read("favorites.txt")->view(), "");
    ASSERT_TRUE(files.replaceWithLine("favorites.txt", "only", Durability::Scratch));
    EXPECT_EQ(files.read("favorites.txt")->view(), "only\r\n");
}

TEST_F(PosixTextFilesTest, ALinkStaysALinkAndAReadOnlyFileIsNeverWritten) {
    fs::create_directory(folder + "/real");
    put("real/favorites.txt", "old\r\n");
    fs::create_symlink(folder + "/real/favorites.txt", folder + "/favorites.txt");
    fs::create_symlink("real/channels", folder + "/Channel.txt");  // relative, dangling
    PosixTextFiles files(folder);
    ASSERT_TRUE(files.appendLine("favorites.txt", "added"));
    ASSERT_TRUE(files.replace("favorites.txt", "new\r\n"));
    ASSERT_TRUE(files.replace("Channel.txt", "list"));
    EXPECT_TRUE(fs::is_symlink(folder + "/favorites.txt"));
    EXPECT_TRUE(fs::is_symlink(folder + "/Channel.txt"));
    EXPECT_EQ(files.read("favorites.txt")->view(), "new\r\n");
    EXPECT_EQ(files.read("Channel.txt")->view(), "list");
    // The temporary file was made beside the target, and is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/real"), fs::directory_iterator{}), 2);

    // Read-only, also for root, who could write it.
    fs::permissions(folder + "/real/favorites.txt",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(files.appendLine("favorites.txt", "x"));
    EXPECT_EQ(files.read("favorites.txt")->view(), "new\r\n");
}

TEST_F(PosixTextFilesTest, ABackgroundWriteIsReadAtOnceAndLandsWholeOrNotAtAll) {
    put("Channel.txt", "old");
    PosixTextFiles files(folder);
    files.replaceInBackground("channel.TXT", std::string(4 << 20, 'n'));
    EXPECT_EQ(files.read("Channel.txt")->size(), 4u << 20);  // at once, whatever the disk does
    ASSERT_TRUE(files.waitForBackgroundWrites());
    // Read from disk by another run; a file this large is mapped, not copied.
    EXPECT_EQ(PosixTextFiles(folder).read("Channel.txt")->view(), std::string(4 << 20, 'n'));

    // A write that fails keeps the old file on disk and the new text for this run.
    fs::permissions(folder + "/Channel.txt", fs::perms::owner_read);
    files.replaceInBackground("Channel.txt", "newer");
    EXPECT_FALSE(files.waitForBackgroundWrites());
    EXPECT_EQ(files.read("Channel.txt")->view(), "newer");
    EXPECT_EQ(fs::file_size(folder + "/Channel.txt"), 4u << 20);

    // A removed file stays gone: many writes queued, so that the removal meets some waiting and
    // perhaps one under way.
    for (int i = 0; i < 20; ++i)
        files.replaceInBackground("copy.txt", std::string(1 << 20, static_cast<char>('a' + i)));
    EXPECT_TRUE(files.remove("COPY.txt"));
    EXPECT_FALSE(files.exists("copy.txt"));
    EXPECT_FALSE(files.read("copy.txt"));
    files.waitForBackgroundWrites();
    EXPECT_FALSE(fs::exists(folder + "/copy.txt"));
    EXPECT_TRUE(files.remove("never-there.txt"));
}

// A run killed in the middle of a write leaves its temporary file; the next one takes it away,
// but never a file a write under way in another run holds, nor one of the user's.
TEST_F(PosixTextFilesTest, LeftoversOfAKilledRunAreRemovedAtTheNextStart) {
    put("Channel.txt.qova-tmp-aB3xY9", "half a directory");
    put("favorites.txt.qova-tmp-000000", "");
    put("favorites.txt.qova-tmp-held01", "being written");
    put("Channel.txt.backup", "the user's");
    put("favorites.txt.qova-tmp-toolong", "the user's too");
    put("elsewhere", "a link's target");
    fs::create_symlink(folder + "/elsewhere", folder + "/Player.html.qova-tmp-link01");
    const int held = ::open((folder + "/favorites.txt.qova-tmp-held01").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    PosixTextFiles files(folder);
    ::close(held);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"favorites.txt.qova-tmp-held01", "Channel.txt.backup",
                                           "favorites.txt.qova-tmp-toolong", "elsewhere",
                                           "Player.html.qova-tmp-link01"}));
    // Once its holder is gone it is a leftover too; a write leaves nothing of its own.
    ASSERT_TRUE(files.replace("Channel.txt", "new"));
    EXPECT_EQ(files.removeLeftovers(), 1);
    EXPECT_FALSE(fs::exists(folder + "/favorites.txt.qova-tmp-held01"));
}

// Writes past the size limit fail part-way, as on a full disk; also for root, whom no permission
// stops.
TEST_F(PosixTextFilesTest, AWriteThatFailsPartWayLeavesTheOldFileWholeAndNothingBeside) {
    put("Channel.txt", "old");
    PosixTextFiles files(folder);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{64, limit.rlim_max};
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool replaced = files.replace("Channel.txt", std::string(1000, 'n'));
    const bool appended = files.appendLine("Channel.txt", std::string(1000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(replaced);
    EXPECT_FALSE(appended);
    EXPECT_EQ(files.read("Channel.txt")->view(), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
}

}  // namespace
}  // namespace qova::platform
