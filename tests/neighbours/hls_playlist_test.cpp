// What a picture channel kept warm reads of an HLS playlist, and the playlist the engine is
// handed: which variant and segment the engine starts at, and every address it would fetch led
// through the relay, except those the relay cannot fetch.
#include "neighbours/hls_playlist.h"

#include <gtest/gtest.h>

namespace qova::neighbours {
namespace {

constexpr std::string_view kBase = "http://tv.example:8080/live/chan/index.m3u8";

std::string local(const std::string& address, HlsReference kind) {
    return (kind == HlsReference::Playlist ? "<P " : "<M ") + address + ">";
}

std::string rewritten(std::string_view text) {
    return rewrittenPlaylist(text, std::string(kBase), local).value_or("<refused>");
}

TEST(HlsPlaylistTest, TheEngineStartsAtTheRichestVariantAndThreeSegmentsFromTheLiveEnd) {
    const auto master = readHlsPlaylist(
        "\xEF\xBB\xBF#EXTM3U\r\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=800000,CODECS=\"a,b\"\r\n"
        "low.m3u8\r\n"
        "#EXT-X-STREAM-INF:CODECS=\"x,BANDWIDTH=9\",BANDWIDTH=2500000\n"
        "high.m3u8\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=2500000\n"
        "tie.m3u8\n");
    ASSERT_TRUE(master);
    ASSERT_TRUE(master->master());
    ASSERT_EQ(master->variants.size(), 3u);
    EXPECT_EQ(master->variants[chosenVariant(*master)].uri, "high.m3u8")
        << "the first of the highest; a BANDWIDTH inside a quoted value is no attribute";

    std::string live = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-MEDIA-SEQUENCE:17\n";
    for (int i = 0; i < 6; ++i)
        live += "#EXTINF:4.0,\nseg" + std::to_string(i) + ".ts\n";
    const auto media = readHlsPlaylist(live);
    ASSERT_TRUE(media);
    EXPECT_FALSE(media->master());
    EXPECT_EQ(media->targetDuration, 4);
    EXPECT_EQ(media->segments[startSegment(*media)].uri, "seg3.ts");
    EXPECT_EQ(windowEnd(*media), 6u) << "to the live edge";

    const auto ended = readHlsPlaylist(live + "#EXT-X-ENDLIST\n");
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->endList);
    EXPECT_EQ(startSegment(*ended), 0u) << "a finished playlist plays from its start";
    EXPECT_EQ(windowEnd(*ended), 3u);

    const auto shortLive = readHlsPlaylist("#EXTM3U\n#EXTINF:2,\na.ts\n#EXTINF:2,\nb.ts\n");
    ASSERT_TRUE(shortLive);
    EXPECT_EQ(startSegment(*shortLive), 0u);
    EXPECT_EQ(windowEnd(*shortLive), 2u);

    const auto sections = readHlsPlaylist(
        "#EXTM3U\n#EXT-X-MAP:URI=\"init.mp4\"\n#EXT-X-KEY:METHOD=AES-128,URI=\"k1\"\n"
        "#EXTINF:2,\na.m4s\n#EXT-X-KEY:METHOD=NONE\n#EXT-X-MAP:URI=\"i.mp4\",BYTERANGE=\"9@0\"\n"
        "#EXTINF:2,\nb.m4s\n");
    ASSERT_TRUE(sections);
    EXPECT_EQ(sections->section(sections->segments[0].key), "k1");
    EXPECT_EQ(sections->section(sections->segments[0].map), "init.mp4");
    EXPECT_EQ(sections->segments[1].key, kNoSection) << "no longer encrypted";
    EXPECT_EQ(sections->segments[1].map, kNoSection) << "a part of a file is not held";

    const auto ranges = readHlsPlaylist("#EXTM3U\n#EXTINF:2,\n#EXT-X-BYTERANGE:100@0\nall.ts\n");
    ASSERT_TRUE(ranges);
    EXPECT_TRUE(ranges->byteRanges);
}

TEST(HlsPlaylistTest, AnythingButAPlaylistWithEntriesIsNone) {
    EXPECT_FALSE(readHlsPlaylist(""));
    EXPECT_FALSE(readHlsPlaylist("#EXTM3U\n"));
    EXPECT_FALSE(readHlsPlaylist("#EXTM3U\nseg.ts\n")) << "a line without #EXTINF is no segment";
    EXPECT_FALSE(readHlsPlaylist("<html>#EXTM3U\n#EXTINF:1,\na.ts\n"));
    // Of an answer's first bytes, however few.
    for (const std::string_view start : {"", "\xEF\xBB", "\xEF\xBB\xBF#EXT", "#EXTM3U\n<"})
        EXPECT_TRUE(looksLikeHlsPlaylist(start)) << start;
    for (const std::string_view start : {"\xEF#", "<", "#EXTM3X", "\xFF\xFB\x90\x64"})
        EXPECT_FALSE(looksLikeHlsPlaylist(start)) << start;
    EXPECT_FALSE(readHlsPlaylist("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=\"\n"))
        << "a quote never closed, and no variant line";
    EXPECT_FALSE(
        readHlsPlaylist("#EXTM3U\n#EXTINF:1,\na.ts\n" + std::string(kMaxPlaylistBytes, '\n')));
    const auto junk = readHlsPlaylist(
        "#EXTM3U\n#EXT-X-TARGETDURATION:x\n#EXT-X-STREAM-INF:BANDWIDTH=-5\nv.m3u8\n\x01junk\n");
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->targetDuration, 0);
    EXPECT_EQ(junk->variants[0].bandwidth, 0);
}

TEST(HlsPlaylistTest, WhatAPlaylistCostsStaysNearItsSize) {
    // A megabyte of one long key and tiny segments, each of which once copied the key.
    const std::string key = "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"";
    std::string hostile = key + std::string(512 * 1024, 'k') + "\"\n";
    while (hostile.size() + 13 <= kMaxPlaylistBytes)
        hostile += "#EXTINF:1,\na\n";
    EXPECT_FALSE(readHlsPlaylist(hostile)) << "an address longer than a line may be";

    std::string most = key + std::string(kMaxPlaylistLineBytes - 40, 'k') + "\"\n";
    for (std::size_t i = 0; i < kMaxPlaylistEntries; ++i)
        most += "#EXTINF:1,\na\n";
    const auto read = readHlsPlaylist(most);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sections.size(), 1u) << "the key kept once for all its segments";
    EXPECT_EQ(read->section(read->segments.back().key).size(), kMaxPlaylistLineBytes - 40);
    EXPECT_FALSE(readHlsPlaylist(most + "#EXTINF:1,\na\n")) << "one segment too many";

    // Handed over, each address grows: to three times the playlist, not to five.
    std::string lines = "#EXTM3U\n";
    while (lines.size() + 100 <= kMaxPlaylistBytes)
        lines += std::string(99, 'a') + "\n";
    const auto grown = [&](std::size_t each) {
        return rewrittenPlaylist(lines, std::string(kBase), [&](const std::string&, HlsReference) {
            return std::string(each, 'x');
        });
    };
    const auto thrice = grown(299);
    ASSERT_TRUE(thrice);
    EXPECT_GT(thrice->size(), 3 * kMaxPlaylistBytes - 1000);
    EXPECT_FALSE(grown(499));
}

TEST(HlsPlaylistTest, EveryPlainHttpAddressLeadsThroughTheRelayAndNothingElseDoes) {
    const std::string media = rewritten(
        "#EXTM3U\r\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\",IV=0x1\r\n"
        "#EXT-X-MAP:URI=\"/init.mp4\"\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"https://keys.example/k\"\n"
        "#EXTINF:2,\n"
        "seg1.ts?token=a%20b\n"
        "#EXTINF:2,\n"
        "http://cdn.example/x/seg2.ts\n"
        "#EXTINF:2,\n"
        "../other/seg3.ts\n"
        "#EXTINF:2,\n"
        "https://cdn.example/seg4.ts\n"
        "#EXTINF:2,\n"
        "http://user:pw@cdn.example/seg5.ts\n"
        "#EXTINF:2,\n"
        "http://[bad\n");
    EXPECT_EQ(media,
              "#EXTM3U\n"
              "#EXT-X-KEY:METHOD=AES-128,URI=\"<M http://tv.example:8080/live/chan/key.bin>\","
              "IV=0x1\n"
              "#EXT-X-MAP:URI=\"<M http://tv.example:8080/init.mp4>\"\n"
              "#EXT-X-KEY:METHOD=AES-128,URI=\"https://keys.example/k\"\n"
              "#EXTINF:2,\n"
              "<M http://tv.example:8080/live/chan/seg1.ts?token=a%20b>\n"
              "#EXTINF:2,\n"
              "<M http://cdn.example/x/seg2.ts>\n"
              "#EXTINF:2,\n"
              "<M http://tv.example:8080/live/other/seg3.ts>\n"
              "#EXTINF:2,\n"
              "https://cdn.example/seg4.ts\n"
              "#EXTINF:2,\n"
              "http://user:pw@cdn.example/seg5.ts\n"
              "#EXTINF:2,\n"
              "http://[bad\n");

    const std::string master = rewritten(
        "#EXTM3U\n"
        "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\",URI=\"audio/en.m3u8\"\n"
        "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=1,URI=\"iframes.m3u8\"\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=1,AUDIO=\"a\"\n"
        "hd/index.m3u8\n");
    EXPECT_EQ(master,
              "#EXTM3U\n"
              "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\","
              "URI=\"<P http://tv.example:8080/live/chan/audio/en.m3u8>\"\n"
              "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=1,"
              "URI=\"<P http://tv.example:8080/live/chan/iframes.m3u8>\"\n"
              "#EXT-X-STREAM-INF:BANDWIDTH=1,AUDIO=\"a\"\n"
              "<P http://tv.example:8080/live/chan/hd/index.m3u8>\n");

    EXPECT_EQ(httpAddress(std::string(kBase), "//other.example/a.ts"), "http://other.example/a.ts");
    EXPECT_EQ(httpAddress(std::string(kBase), "https://other.example/a.ts"), "");
    EXPECT_EQ(httpAddress(std::string(kBase), "file:///etc/passwd"), "");
}

}  // namespace
}  // namespace qova::neighbours
