// The program killed (SIGKILL) at random moments while it stores a 50 MB directory, and the
// storage it rewrites favorites.txt with killed in the middle of rewrites: the files are always
// whole, old or new, and what a killed write leaves behind is gone after the next start.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "testkit/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr int kKills = 50;
constexpr int kDirectoryLines = 730000;  // about 50 MB

QString qs(const fs::path& path) {
    return QString::fromStdString(path.string());
}

std::string slurp(const fs::path& path) {
    return qova::testkit::fileBytes(path.string());
}

/// Puts a file in place in one step, as a user's copy would land.
void place(const fs::path& path, const std::string& bytes) {
    const fs::path next = path.string() + ".next";
    std::ofstream(next, std::ios::binary) << bytes;
    fs::rename(next, path);
}

/// The temporary files of writes under way, or left by killed ones.
std::set<std::string> temporaries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".qova-tmp-") != std::string::npos)
            names.insert(entry.path().filename().string());
    }
    return names;
}

/// Channel lines named with the tag, the one numbered `skipped` left out.
std::string channelLines(const std::string& tag, int lines, int skipped = -1) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        if (i != skipped) {
            text += "Country " + std::to_string(i % 200) + "|Radio|" + tag + " channel " +
                    std::to_string(i) + "|http://127.0.0.1/stream/" + std::to_string(i) + "|EN\r\n";
        }
    }
    return text;
}

/// Runs the program until `done`, given the time since its first write began (a temporary file
/// not there before showed), says so, and kills it (SIGKILL); false if it ended before or outlived
/// the kill. Polled, as a write raises nothing a test could wait on; at most a minute.
bool runThroughAWrite(const QString& program, const QStringList& arguments, const fs::path& folder,
                      const std::function<bool(milliseconds)>& done) {
    const std::set<std::string> stale = temporaries(folder);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto now = [start = std::chrono::steady_clock::now()] {
        return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    };
    process.start(program, arguments);
    std::optional<milliseconds> began;
    while (now() < std::chrono::minutes(1) && process.state() != QProcess::NotRunning) {
        if (!began && !std::ranges::includes(stale, temporaries(folder)))
            began = now();
        if (began && done(now() - *began)) {
            process.kill();
            return process.waitForFinished(10000);
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return false;
}

/// Kills the program kKills times, each after `prepare`, at moments drawn from the `window` that
/// follows the start of its first write: the file is whole after every kill, old or fresh, and
/// some kills fell inside a write.
void killRepeatedly(const QString& program, const QStringList& arguments, milliseconds window,
                    const fs::path& file, const std::string& old, const std::string& fresh,
                    const std::function<void()>& prepare) {
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> moment(0, window.count());
    const fs::path folder = file.parent_path();
    int olds = 0, freshes = 0, withLeftover = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        prepare();
        ASSERT_LE(temporaries(folder).size(), 1u) << "temporary files pile up";
        const bool existed = fs::exists(file);
        // The moment of the kill is what the test draws at random, not a wait for anything; it
        // counts from the start of the write, which a loaded machine may put off.
        const milliseconds at(moment(random));
        const auto due = [&](milliseconds since) { return since >= at; };
        ASSERT_TRUE(runThroughAWrite(program, arguments, folder, due))
            << "the program did not write until kill " << kill;
        if (!existed && !fs::exists(file))
            continue;  // killed before the first write landed
        const std::string now = slurp(file);
        ASSERT_TRUE(now == old || now == fresh)
            << file << " is neither version after kill " << kill << ": " << now.size() << " bytes";
        ++(now == old ? olds : freshes);
        withLeftover += !temporaries(folder).empty();
    }
    std::printf("[ measured ] %d kills: %d left the old version, %d the new one, %d a leftover\n",
                kKills, olds, freshes, withLeftover);
    EXPECT_GT(withLeftover, 0) << "no kill fell inside a write";
}

TEST(CrashSafety, TheDirectoryIsStoredWholeOrNotAtAllWheneverTheProgramIsKilled) {
    qova::testkit::TempFolder folder;
    const fs::path root = folder.path(), channels = root / "Channel.txt";
    const QString program = qs(root / "qova");
    const std::string oldDirectory = channelLines("Old", kDirectoryLines);
    const std::string newDirectory = channelLines("New", kDirectoryLines + 60);
    fs::copy_file(QOVA_PROGRAM, root / "qova");
    place(root / "source.txt", newDirectory);
    place(root / "Config.txt", "URLTXT=file://" + (root / "source.txt").string() + "\r\n");
    place(root / "Player.html", "\r\n");
    // From the old directory to the end of the store, Channel.txt replaced and no temporary file
    // left: how long the store took.
    std::optional<milliseconds> store;
    const auto runToTheEnd = [&] {
        place(channels, oldDirectory);
        store.reset();
        return runThroughAWrite(program, {}, root, [&](milliseconds since) {
            if (fs::file_size(channels) != oldDirectory.size() && temporaries(root).empty())
                store = since;
            return store.has_value();
        });
    };
    // Twice, as the first run of a program also waits for its libraries to be read from disk.
    runToTheEnd();
    ASSERT_TRUE(runToTheEnd()) << "the program never stored the directory";
    // The directory as the program keeps it.
    const std::string kept = slurp(channels);
    ASSERT_TRUE(kept.starts_with(newDirectory)) << kept.size() << " bytes";
    std::printf("[ measured ] the store took %lld ms\n", static_cast<long long>(store->count()));
    // As long again after it, for kills that find the store done.
    ASSERT_NO_FATAL_FAILURE(killRepeatedly(program, {}, 2 * *store, channels, oldDirectory, kept,
                                           [&] { place(channels, oldDirectory); }));

    // A run to its end cleans up after the last kill and leaves nothing of its own.
    EXPECT_TRUE(runToTheEnd());
    EXPECT_TRUE(temporaries(root).empty());
    EXPECT_TRUE(slurp(channels) == kept);
}

TEST(CrashSafety, FavouritesAreWholeWheneverTheirWriterIsKilled) {
    qova::testkit::TempFolder folder;
    const fs::path root = folder.path(), favourites = root / "favorites.txt";
    // Two versions of a long favourites list, the second with one line less.
    place(root / "a", channelLines("Favourite", 100000));
    place(root / "b", channelLines("Favourite", 100000, 5000));
    const QStringList arguments = {qs(root), "favorites.txt", qs(root / "a"), qs(root / "b")};
    // Once, to learn how long a rewrite takes: the kills fall in the first four.
    milliseconds rewrite{0};
    ASSERT_TRUE(runThroughAWrite(QOVA_REWRITE_HELPER, arguments, root, [&](milliseconds since) {
        rewrite = since;
        return fs::exists(favourites);
    })) << "the writer never wrote the file";
    fs::remove(favourites);
    killRepeatedly(QOVA_REWRITE_HELPER, arguments, 4 * rewrite, favourites, slurp(root / "a"),
                   slurp(root / "b"), [] {});
}

}  // namespace
