// Recordings of a relayed station whose every byte is known: the recording is the audio the
// station sent, each song a file of its own cut where its title came, "Save song" a song from
// its first frame; full disks and taken names lose nothing.
#include "stream/recorder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "stream/recent_audio.h"
#include "stream/relay_test_support.h"
#include "testkit/streams/numbered_station.h"
#include "testkit/temp_folder.h"

namespace qova::stream::test {
namespace {

using testkit::streams::NumberedStation;
namespace fs = std::filesystem;

constexpr std::size_t kMetaint = 8192;
constexpr std::size_t kFrame = NumberedStation::kFrameBytes;
// One second of the station's sound, in frames: how far a cut may be from its true place.
constexpr std::uint64_t kSecond = 39;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs work on the relay's thread and waits for it.
template <typename Work>
void onRelay(StreamRelay& relay, Work work) {
    relay.withTape([&](StreamTape& tape, const StationAnswer& answer) { work(tape, answer); },
                   true);
}

TEST(Recording, IsTheStationsAudioWithEachSongInAFileOfItsOwn) {
    // Songs change at frames 400 and 800; the station airs 10 s a second.
    NumberedStation::Options options;
    options.metaint = kMetaint;
    options.framesPerSecond = 383;
    options.titles = {
        {0, "Artist A - First"}, {400, "Artist B - Second"}, {800, "Artist C - Third"}};
    NumberedStation station(options);
    StreamRelay relay;
    TapeCollector collector;
    testkit::TempFolder folder;
    RecordingPlan plan{folder.path(), "Radio: One/Two", "mp3", "2026-12-07 20-15", true};
    Recorder recorder(plan);
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) {
        tape.addSink(&collector);
        tape.addSink(&recorder);
    });
    // The recording starts with the channel, as the first song plays.
    ASSERT_TRUE(recorder.start("Artist A - First"));
    EngineStandIn engine(routed(relay, station.url(), true));
    engine.body(1000 * kFrame);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return NumberedStation::framesIn(collector.audio()).back() >= 950; }, kGenerousMs));
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) {
        tape.removeSink(&recorder);
        recorder.finish();
    });
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) { tape.removeSink(&collector); });

    // Refused characters replaced; songs named from their titles, the partial ones marked.
    const fs::path whole = fs::path(folder.path()) / "Radio_ One_Two 2026-12-07 20-15.mp3";
    const fs::path first = fs::path(folder.path()) / "Artist A - First (part).mp3";
    const fs::path second = fs::path(folder.path()) / "Artist B - Second.mp3";
    const fs::path third = fs::path(folder.path()) / "Artist C - Third (part).mp3";
    ASSERT_EQ(filesIn(folder.path()), (std::vector<fs::path>{first, second, third, whole}));
    EXPECT_EQ(contents(whole), collector.audio()) << "the recording is what the station sent";

    // Tagged, and cut within a second of the frame the title changed at.
    const std::string song = contents(second);
    const std::string tag = id3v2Tag("Second", "Artist B", "Radio: One/Two");
    ASSERT_TRUE(song.starts_with(tag));
    const auto frames = NumberedStation::framesIn(song.substr(tag.size()));
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.front(), 400u);
    EXPECT_LE(frames.front(), 400 + kSecond);
    EXPECT_GE(frames.back() + 1, 800u);
    EXPECT_LE(frames.back(), 800 + kSecond);
    EXPECT_NE(song.find("TALB"), std::string::npos);
    // The songs together are the recording, tags aside.
    const std::string firstSong = contents(first);
    const std::string thirdSong = contents(third);
    EXPECT_EQ(firstSong.substr(id3v2Tag("First", "Artist A", "Radio: One/Two").size()) +
                  song.substr(tag.size()) +
                  thirdSong.substr(id3v2Tag("Third", "Artist C", "Radio: One/Two").size()),
              collector.audio());
}

TEST(Recording, NeverReusesANameAndStopsOnAFullDiskKeepingWhatWasWritten) {
    testkit::TempFolder folder;
    folder.write("Radio 2026-12-07 20-15.mp3", "someone's file");
    RecordingPlan plan{folder.path(), "Radio", "mp3", "2026-12-07 20-15", false};
    {
        Recorder recorder(plan);
        ASSERT_TRUE(recorder.start(""));
        EXPECT_EQ(recorder.path().filename(), "Radio 2026-12-07 20-15 (2).mp3");
    }
    EXPECT_EQ(folder.read("Radio 2026-12-07 20-15.mp3"), "someone's file");

    // A limit on the file's size refuses writes past it as a full disk does.
    Recorder recorder(plan);
    ASSERT_TRUE(recorder.start(""));
    int told = 0;
    recorder.onFailed = [&] { ++told; };
    const std::string kept(3000, 'a');
    recorder.audio(kept.data(), kept.size(), 0);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string more(8192, 'b');
    recorder.audio(more.data(), more.size(), kept.size());
    recorder.audio(more.data(), more.size(), kept.size() + more.size());
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(recorder.failed());
    EXPECT_EQ(told, 1);
    EXPECT_FALSE(recorder.error().empty());
    EXPECT_EQ(contents(recorder.path()), kept + more.substr(0, 4096 - kept.size()));
}

TEST(SaveSong, GivesTheSongFromItsFirstFrameAndGoesOnToItsEnd) {
    NumberedStation::Options options;
    options.metaint = kMetaint;
    options.framesPerSecond = 383;
    options.titles = {
        {0, "Artist A - First"}, {300, "Artist B - Second"}, {1500, "Artist C - Third"}};
    NumberedStation station(options);
    StreamRelay relay;
    testkit::TempFolder cache, music;
    RecentAudio recent(cache.path());
    ASSERT_TRUE(recent.usable());
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) { tape.addSink(&recent); });
    EngineStandIn engine(routed(relay, station.url(), true));
    // Well into the second song before it is saved.
    engine.body(900 * kFrame);
    // Nothing named: the held audio is in no file of the cache folder.
    EXPECT_TRUE(filesIn(cache.path()).empty());

    SongSaver saver(recent, music.path(), "Radio", "mp3");
    bool done = false;
    saver.onDone = [&] { done = true; };
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) {
        ASSERT_TRUE(saver.start()) << saver.error();
        tape.addSink(&saver);
    });
    engine.body(1700 * kFrame);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, kGenerousMs));
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) {
        tape.removeSink(&saver);
        tape.removeSink(&recent);
    });

    EXPECT_TRUE(saver.done());
    EXPECT_EQ(saver.path().filename(), "Artist B - Second.mp3");
    const std::string tag = id3v2Tag("Second", "Artist B", "Radio");
    const std::string song = contents(saver.path());
    ASSERT_TRUE(song.starts_with(tag));
    const auto frames = NumberedStation::framesIn(song.substr(tag.size()));
    ASSERT_GT(frames.size(), 1000u);
    EXPECT_GE(frames.front(), 300u);
    EXPECT_LE(frames.front(), 300 + kSecond);
    EXPECT_EQ(frames.back() - frames.front() + 1, frames.size()) << "a frame is missing";
    EXPECT_LE(frames.back(), 1500 + kSecond);
}

TEST(RecentAudio, HoldsItsBoundAndNoMore) {
    testkit::TempFolder cache;
    RecentAudio recent(cache.path(), 64 * 1024);
    std::string all;
    for (std::uint64_t n = 0; n < 1000; ++n) {
        const std::string frame = NumberedStation::frame(n);
        recent.audio(frame.data(), frame.size(), all.size());
        all += frame;
    }
    EXPECT_EQ(recent.end(), all.size());
    EXPECT_EQ(recent.end() - recent.begin(), 64u * 1024);
    std::string held;
    ASSERT_TRUE(recent.read(0, recent.end(),
                            [&](const char* data, std::size_t size) { held.append(data, size); }));
    EXPECT_EQ(held, all.substr(all.size() - 64 * 1024));
}

}  // namespace
}  // namespace qova::stream::test
