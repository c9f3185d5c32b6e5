// The one set of address rules: what the player and the check open, what the fetchers follow,
// what counts as a file here and which files are opened at all.
#include "platform/address_policy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qova::platform {
namespace {

TEST(RefusedStreamAddress, OnlyStreamSchemesAndAllowedFilesPass) {
    for (const char* stream : {"http://h/a", "HTTPS://h/", "rtsp://h", "rtsps://h", "rtmp://h",
                               "rtmps://h", "mms://h", "mmsh://h", "MMST://h"})
        EXPECT_FALSE(refusedStreamAddress(stream, false)) << stream;
    for (const char* other : {"av://v4l2:/dev/video0", "edl://x", "lavfi://testsrc", "fd://0",
                              "ytdl://x", "httpx://h", "memory://x", "qrc:/x"})
        EXPECT_TRUE(refusedStreamAddress(other, true)) << other;
    for (const char* local : {"/media/a.mp4", "file:///media/a.mp4", "relative.mp3", "-"}) {
        EXPECT_EQ(refusedStreamAddress(local, false),
                  "files on this computer play only from a channel list that is there")
            << local;
        EXPECT_FALSE(refusedStreamAddress(local, true)) << local;
    }
    EXPECT_EQ(refusedStreamAddress("QRC:/x", false), "\"qrc:\" is no address of a stream");
}

TEST(LocalAddress, PathsAndFileUrlsAreFilesHereAndNothingElseIs) {
    for (const char* local : {"/media/a.mp4", "FILE:///x", "relative.mp3", "C:\\media\\a.mp4",
                              "folder/name:with-colon.mp4", "-", ""}) {
        EXPECT_TRUE(isLocalAddress(local)) << local;
    }
    for (const char* other : {"http://h/a.mp4", "HTTPS://h/", "rtsp://h/s", "rtmp+tls:x", "qrc:/x"})
        EXPECT_FALSE(isLocalAddress(other)) << other;

    EXPECT_EQ(localFilePath("/a b.mp4"), "/a b.mp4");
    EXPECT_EQ(localFilePath("file:///a%20b%23c.mp4"), "/a b#c.mp4");
    for (const char* none : {"relative.mp3", "-", "http://h/x", ""})
        EXPECT_EQ(localFilePath(none), "") << none;
}

// Relative paths count from a folder; what is written whole stays as written, byte for byte.
TEST(ResolvedAgainst, OnlyRelativePathsChange) {
    EXPECT_EQ(resolvedAgainst("demo/list.txt", "/opt/qova"), "/opt/qova/demo/list.txt");
    EXPECT_EQ(resolvedAgainst("../up.txt", "/opt/qova/"), "/opt/qova/../up.txt");
    // Never standard input.
    EXPECT_EQ(resolvedAgainst("-", "/opt/qova"), "/opt/qova/-");
    for (const char* whole :
         {"/abs/list.txt", "file:list.txt", "FILE:///x", "http://h/a b?c=d", "about:blank", ""})
        EXPECT_EQ(resolvedAgainst(whole, "/opt/qova"), whole) << whole;
    EXPECT_EQ(resolvedAgainst("list.txt", ""), "list.txt");
}

TEST(Following, OnlyTheWebAndNeverDownToPlainHttpOnARedirect) {
    for (const char* web : {"http://h", "HTTPS://h:8443/x?y", "http://u:p@h/", "http://[::1]:80/"})
        EXPECT_TRUE(isWebAddress(web)) << web;
    for (const char* other : {"http://", "http:///x", "http:h/x", "file:///x", "/x", "ftp://h/"})
        EXPECT_FALSE(isWebAddress(other)) << other;

    EXPECT_TRUE(mayFollow("http://a/", "https://b/x", true));
    EXPECT_TRUE(mayFollow("http://a/", "http://b/x", true));
    EXPECT_FALSE(mayFollow("https://a/", "http://b/x", true));
    // A playlist's next address is no redirect: a segment may come over plain http.
    EXPECT_TRUE(mayFollow("https://a/", "http://b/x", false));
    for (const char* elsewhere : {"file:///home/u/.ssh/id_rsa", "/etc/passwd", "qrc:/x",
                                  "rtsp://h/s", "data:text/plain,x", "seg.ts"}) {
        EXPECT_FALSE(mayFollow("http://a/", elsewhere, true)) << elsewhere;
        EXPECT_FALSE(mayFollow("http://a/", elsewhere, false)) << elsewhere;
    }
}

TEST(SameHost, TheHostNameAloneWhateverItsCaseOrPort) {
    EXPECT_TRUE(sameHost("http://Radio.example/a", "https://radio.EXAMPLE:8443/b"));
    EXPECT_TRUE(sameHost("http://u:p@[::1]:80/", "http://[::1]/x"));
    for (const char* other : {"http://radio.example.evil/", "http://evilradio.example/",
                              "http://radio.example@evil/", "file:///radio.example", "/x"})
        EXPECT_FALSE(sameHost("http://radio.example/", other)) << other;
    EXPECT_FALSE(sameHost("/x", "/x"));

    EXPECT_EQ(authority("http://u:p@Host:8000/x?y#z"), "Host:8000");
    EXPECT_EQ(authority("https://[::1]/"), "[::1]");
    EXPECT_EQ(authority("/path"), "");
}

// What may be opened on the Qt thread: a file whose read never waits for anyone.
TEST(RegularFile, FifosDevicesAndFoldersAreNotFilesToRead) {
    char pattern[] = "/tmp/qova-policy-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    std::ofstream(folder + "/list.txt") << "x";
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder + "/list.txt", folder + "/link");
    std::filesystem::create_symlink(folder + "/fifo", folder + "/fifo-link");

    EXPECT_TRUE(isRegularFile(folder + "/list.txt"));
    EXPECT_TRUE(isRegularFile(folder + "/link"));
    for (const std::string& other : {folder + "/fifo", folder + "/fifo-link", folder,
                                     std::string("/dev/null"), folder + "/missing", std::string()})
        EXPECT_FALSE(isRegularFile(other)) << other;
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qova::platform
