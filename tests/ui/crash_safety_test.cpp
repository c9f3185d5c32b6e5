// The program killed (SIGKILL) at random moments while it stores a 50 MB directory, and the
// storage it rewrites favorites.txt with killed in the middle of rewrites: the files are always
// whole, old or new, and what a killed write leaves behind is gone after the next start.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <thread>

#include "testkit/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kKills = 50;
constexpr std::size_t kDirectoryBytes = 50u << 20;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Puts a file in place in one step, as a user's copy would land.
void place(const fs::path& path, const std::string& bytes) {
    const fs::path next = path.string() + ".next";
    std::ofstream(next, std::ios::binary) << bytes;
    fs::rename(next, path);
}

int leftovers(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().filename().string().find(".qova-tmp-") != std::string::npos;
    return count;
}

/// A directory of about `bytes`, its channels named with the tag.
std::string directory(const std::string& tag, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + 128);
    for (int i = 0; text.size() < bytes; ++i) {
        text += "Country " + std::to_string(i % 200) + "|Radio|" + tag + " channel " +
                std::to_string(i) + "|http://127.0.0.1/stream/" + std::to_string(i) + "|EN\r\n";
    }
    return text;
}

void start(QProcess& process, const QString& program, const QStringList& arguments = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
}

/// Starts a process and kills it after the delay; returns once it is gone.
void runKilled(const QString& program, const QStringList& arguments, milliseconds delay) {
    QProcess process;
    start(process, program, arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
    // The moment of the kill is what the test draws at random, not a wait for anything.
    std::this_thread::sleep_for(delay);
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10000));
}

/// What the kills found.
struct Tally {
    int old = 0, fresh = 0, withLeftover = 0;
};

class CrashSafety : public ::testing::Test {
  protected:
    /// Runs the program until Channel.txt is no longer the old directory and no temporary
    /// file is left (polled: a store raises nothing a test could wait on; at most a minute).
    /// When the store's temporary file was first seen and when it was done, after the start.
    struct Store {
        std::optional<milliseconds> writing, stored;
    };
    Store runToTheEnd() {
        Store store;
        QProcess process;
        const auto begun = Clock::now();
        const auto since = [&] {
            return std::chrono::duration_cast<milliseconds>(Clock::now() - begun);
        };
        start(process, QString::fromStdString(program.string()));
        while (process.state() != QProcess::NotRunning && since() < std::chrono::minutes(1)) {
            const int temporary = leftovers(root);
            if (!store.writing && temporary > 0)
                store.writing = since();
            if (fs::file_size(channels) != oldDirectory.size() && temporary == 0) {
                store.stored = since();
                break;
            }
            std::this_thread::sleep_for(milliseconds(1));
        }
        process.kill();
        process.waitForFinished(10000);
        return store;
    }

    qova::testkit::TempFolder folder;
    const fs::path root = folder.path();
    const fs::path program = root / "qova";
    const fs::path channels = root / "Channel.txt";
    const std::string oldDirectory = directory("Old", kDirectoryBytes);
    const std::string newDirectory = directory("New", kDirectoryBytes + 4096);
};

TEST_F(CrashSafety, TheDirectoryIsStoredWholeOrNotAtAllWheneverTheProgramIsKilled) {
    fs::copy_file(QOVA_PROGRAM, program);
    place(root / "source.txt", newDirectory);
    place(root / "Config.txt", "URLTXT=file://" + (root / "source.txt").string() + "\r\n");
    place(root / "Player.html", "\r\n");

    // To the end, to learn when the store begins and ends: twice, as the first run of a program
    // also waits for its libraries to be read from disk.
    place(channels, oldDirectory);
    runToTheEnd();
    place(channels, oldDirectory);
    const Store store = runToTheEnd();
    ASSERT_TRUE(store.stored) << "the program never stored the directory";
    // The directory as the program keeps it.
    const std::string stored = slurp(channels);
    ASSERT_EQ(stored.substr(0, newDirectory.size()), newDirectory);
    const milliseconds to = *store.stored + milliseconds(10);
    const milliseconds from =
        store.writing ? *store.writing - (*store.stored - *store.writing) : to / 2;
    std::printf("[ measured ] the store ran from %lld to %lld ms after the start\n",
                static_cast<long long>(from.count()), static_cast<long long>(to.count()));

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> moment(std::max<long long>(0, from.count()),
                                                    to.count());
    Tally tally;
    for (int kill = 0; kill < kKills; ++kill) {
        place(channels, oldDirectory);
        ASSERT_LE(leftovers(root), 1) << "temporary files pile up";
        runKilled(QString::fromStdString(program.string()), {}, milliseconds(moment(random)));
        const std::string now = slurp(channels);
        ASSERT_TRUE(now == oldDirectory || now == stored)
            << "Channel.txt is neither file after kill " << kill << ": " << now.size() << " bytes";
        ++(now == oldDirectory ? tally.old : tally.fresh);
        tally.withLeftover += leftovers(root) > 0;
    }
    std::printf("[ measured ] %d kills: %d left the old file, %d the new one, %d a leftover\n",
                kKills, tally.old, tally.fresh, tally.withLeftover);
    // Some of the kills fell inside the store.
    EXPECT_GT(tally.withLeftover, 0);

    // A run to its end cleans up after the last kill and leaves nothing of its own.
    place(channels, oldDirectory);
    EXPECT_TRUE(runToTheEnd().stored);
    EXPECT_EQ(leftovers(root), 0);
    EXPECT_EQ(slurp(channels), stored);
}

TEST(FavouritesCrashSafety, TheyAreWholeWheneverTheirWriterIsKilled) {
    qova::testkit::TempFolder folder;
    const fs::path root = folder.path();
    // Two versions of a long favourites list, the second with one line less.
    std::string a, b;
    for (int i = 0; i < 100000; ++i) {
        const std::string line = "Country|Radio|Favourite " + std::to_string(i) +
                                 "|http://127.0.0.1/" + std::to_string(i) + "|EN\r\n";
        a += line;
        if (i != 5000)
            b += line;
    }
    place(root / "a", a);
    place(root / "b", b);
    const fs::path favourites = root / "favorites.txt";
    const QStringList arguments = {QString::fromStdString(root.string()),
                                   QStringLiteral("favorites.txt"),
                                   QString::fromStdString((root / "a").string()),
                                   QString::fromStdString((root / "b").string())};
    // Once, to learn when the first rewrite lands and how long the next takes (polled, at most
    // a minute): the kills fall from just before the first to the fourth.
    milliseconds first{0}, period{0};
    {
        QProcess process;
        const auto begun = Clock::now();
        const auto since = [&] {
            return std::chrono::duration_cast<milliseconds>(Clock::now() - begun);
        };
        start(process, QOVA_REWRITE_HELPER, arguments);
        std::string seen;
        while (since() < std::chrono::minutes(1) && period == milliseconds(0)) {
            if (fs::exists(favourites) && fs::file_size(favourites) != seen.size()) {
                seen = slurp(favourites);
                (first == milliseconds(0) ? first : period) = since();
            }
            std::this_thread::sleep_for(milliseconds(1));
        }
        process.kill();
        process.waitForFinished(10000);
        fs::remove(favourites);
        ASSERT_GT(period, first) << "the writer never rewrote the file twice";
        period -= first;
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> moment(
        std::max<long long>(0, (first - period).count()), (first + 4 * period).count());
    Tally tally;
    for (int kill = 0; kill < kKills; ++kill) {
        ASSERT_LE(leftovers(root), 1) << "temporary files pile up";
        runKilled(QOVA_REWRITE_HELPER, arguments, milliseconds(moment(random)));
        if (!fs::exists(favourites))
            continue;  // killed before its first rewrite landed
        const std::string now = slurp(favourites);
        ASSERT_TRUE(now == a || now == b) << "favorites.txt is neither file after kill " << kill
                                          << ": " << now.size() << " bytes";
        ++(now == a ? tally.old : tally.fresh);
        tally.withLeftover += leftovers(root) > 0;
    }
    std::printf("[ measured ] %d kills: %d left one version, %d the other, %d a leftover\n", kKills,
                tally.old, tally.fresh, tally.withLeftover);
    EXPECT_GT(tally.withLeftover, 0);
}

}  // namespace
