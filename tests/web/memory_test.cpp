// What reading a hostile download costs in memory: pages and lists of the largest size taken,
// built to cost their parsers the most, each read by a process of its own through the program's
// real readers, whose peak must stay far below what the machine has.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <fstream>
#include <string>

#include "testkit/temp_folder.h"
#include "web/page_loading.h"

namespace qova::web {
namespace {

constexpr long kMostKib = 400 * 1024;
// Just below the largest download taken.
constexpr std::size_t kHostileBytes = kMaxDownloadBytes - 4096;

/// What the helper said of reading a file: the most memory it held and the size of the text it
/// made; -1 for what it did not say.
struct Peak {
    long kib = -1;
    long long bytes = -1;
};

/// Writes a file of pattern repeated to kHostileBytes between a head and a tail, reads it with
/// the helper in that mode and gives what it said.
Peak readHostile(const std::string& name, const std::string& head, const std::string& pattern,
                 const std::string& tail, const char* mode) {
    testkit::TempFolder folder;
    const std::string path = folder.file(name);
    {
        std::ofstream out(path, std::ios::binary);
        out << head;
        std::string block;
        while (block.size() < (1 << 20))
            block += pattern;
        std::size_t written = head.size() + tail.size();
        for (; written + block.size() <= kHostileBytes; written += block.size())
            out << block;
        out << std::string(block, 0, (kHostileBytes - written) / pattern.size() * pattern.size())
            << tail;
    }
    QProcess helper;
    helper.start(QStringLiteral(QOVA_MEMORY_HELPER),
                 {QString::fromLatin1(mode), QString::fromStdString(path)});
    EXPECT_TRUE(helper.waitForFinished(180000)) << name << ": still reading";
    const QByteArray said = helper.readAllStandardOutput();
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit) << name << " ran away";
    EXPECT_EQ(helper.exitCode(), 0) << name << " was not read: " << said.toStdString();
    Peak peak;
    std::sscanf(said.constData(), "peak_kib %ld bytes %lld", &peak.kib, &peak.bytes);
    EXPECT_GT(peak.kib, 0) << name;
    EXPECT_LT(peak.kib, kMostKib) << name;
    return peak;
}

TEST(HostileDownloads, AnHtmlPageCostsLittleMoreThanItsSizeWhateverItHolds) {
    const struct {
        const char* what;
        std::string head, pattern, tail;
    } pages[] = {
        {"elements.html", "<html><body>", "<p><b>x</b></p>", "</body></html>"},
        {"nesting.html", "<html><body>", "<div><span>", "y"},
        {"attributes.html", "<html><body><p", " a=\"b\"", ">z</p>"},
        {"references.html", "<pre>", "&eacute;&#x10FFFF;\n", "</pre>"},
    };
    // Read whole, to text: a reader that gave up early would cost nothing.
    for (const auto& page : pages)
        EXPECT_GT(readHostile(page.what, page.head, page.pattern, page.tail, "directory").bytes, 0)
            << page.what;
}

// The JSON reader builds no document of the whole list either.
TEST(HostileDownloads, AJsonListCostsLittleMoreThanItsSize) {
    for (const char* mode : {"directory", "list"})
        EXPECT_GE(readHostile("numbers.json", "[", "0,", "0]", mode).bytes, 0) << mode;
}

}  // namespace
}  // namespace qova::web
