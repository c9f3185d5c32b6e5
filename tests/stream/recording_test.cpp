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
    return testkit::fileBytes(path.string());
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
    // Both at once: the collector must end where the recording does.
    onRelay(relay, [&](StreamTape& tape, const StationAnswer&) {
        tape.removeSink(&recorder);
        tape.removeSink(&collector);
        recorder.finish();
    });

    // Refused characters replaced; songs named from their titles, the partial ones marked.
    const fs::path whole = fs::path(folder.path()) / "Radio_ One_Two 2026-12-07 20-15.mp3";
    const fs::path first = fs::path(folder.path()) / "Artist A - First (part).mp3";
    const fs::path second = fs::path(folder.path()) / "Artist B - Second.mp3";
    const fs::path third = fs::path(folder.path()) / "Artist C - Third (part).mp3";
    ASSERT_EQ(filesIn(folder.path()), (std::vector<fs::path>{first, second, third, whole}));
    EXPECT_TRUE(contents(whole) == collector.audio())
        << "the recording is not what the station sent";

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
    // The songs together are the recording up to its last whole frame, tags aside, and each
    // is whole frames: cut at a frame's boundary, not at the byte the title came at (which
    // the station's metadata interval puts inside a frame).
    std::string songs;
    for (const auto& [file, songTag] :
         {std::pair{first, id3v2Tag("First", "Artist A", "Radio: One/Two")}, std::pair{second, tag},
          std::pair{third, id3v2Tag("Third", "Artist C", "Radio: One/Two")}}) {
        const std::string audio = contents(file).substr(songTag.size());
        const auto numbers = NumberedStation::framesIn(audio);
        ASSERT_FALSE(numbers.empty()) << file;
        EXPECT_EQ(numbers.size() * kFrame, audio.size()) << file << " holds part of a frame";
        EXPECT_TRUE(audio.starts_with(NumberedStation::frame(numbers.front()))) << file;
        songs += audio;
    }
    EXPECT_TRUE(songs == collector.audio().substr(0, songs.size()))
        << "the songs are not the recording";
    EXPECT_LT(collector.audio().size() - songs.size(), kFrame);
}

// An AAC frame in ADTS of `length` bytes whose payload carries n.
std::string adtsFrame(std::size_t length, std::uint64_t n) {
    std::string frame(length, static_cast<char>(n % 200));
    const unsigned char header[7] = {0xff,
                                     0xf1,
                                     0x50,
                                     static_cast<unsigned char>(0x80 | ((length >> 11) & 3)),
                                     static_cast<unsigned char>((length >> 3) & 0xff),
                                     static_cast<unsigned char>(((length & 7) << 5) | 0x1f),
                                     0xfc};
    frame.replace(0, 7, reinterpret_cast<const char*>(header), 7);
    return frame;
}

TEST(Recording, CutsAacSongsAtTheFrameBoundaryNearestTheirTitle) {
    testkit::TempFolder folder;
    Recorder recorder({folder.path(), "Radio", "aac", "2026-12-07 20-15", true});
    ASSERT_TRUE(recorder.start("A - One"));
    // Frames of differing lengths; the titles come a third into frame 10 and two thirds into
    // frame 20, in the middle of what the station sends at once.
    std::string aired;
    std::vector<std::size_t> starts;
    for (std::uint64_t n = 0; n < 30; ++n) {
        starts.push_back(aired.size());
        aired += adtsFrame(90 + 7 * (n % 4), n);
    }
    const std::uint64_t second = starts[10] + (starts[11] - starts[10]) / 3;
    const std::uint64_t third = starts[20] + 2 * (starts[21] - starts[20]) / 3;
    for (std::size_t at = 0; at < aired.size(); at += 64) {
        for (const auto& [offset, title] :
             {std::pair{second, "B - Two"}, std::pair{third, "C - Three"}})
            if (offset >= at && offset < at + 64)
                recorder.titleChanged(title, offset);
        recorder.audio(aired.data() + at, std::min<std::size_t>(64, aired.size() - at), at);
    }
    recorder.finish();

    const auto song = [&](const std::string& name, const std::string& title) {
        const std::string text = contents(fs::path(folder.path()) / name);
        const SongName named = splitStreamTitle(title);
        return text.substr(id3v2Tag(named.title, named.artist, "Radio").size());
    };
    EXPECT_EQ(song("A - One (part).aac", "A - One"), aired.substr(0, starts[10]));
    EXPECT_EQ(song("B - Two.aac", "B - Two"), aired.substr(starts[10], starts[21] - starts[10]));
    EXPECT_EQ(song("C - Three (part).aac", "C - Three"), aired.substr(starts[21]));
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
    // Beginning with an MP3 frame's header, where a recording of MP3 begins.
    std::string kept(3000, 'a');
    kept[0] = '\xff';
    kept[1] = '\xfb';
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
