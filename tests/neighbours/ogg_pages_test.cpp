// An Ogg stream read for a decoder to take up later, against streams made here with libogg's
// own writer: what is handed on starts with the chain's headers and goes on with the latest
// whole pages, whatever the stream's slicing, junk, false lengths or bad checksums.
#include "neighbours/ogg_pages.h"

#include <gtest/gtest.h>

#include <vector>

namespace qova::neighbours {
namespace {

constexpr qsizetype kSoundLimit = 32 * 1024;

/// Writes an Ogg chain packet by packet, as encoders do with libogg.
class OggWriter {
  public:
    explicit OggWriter(int serial) { ogg_stream_init(&stream_, serial); }
    ~OggWriter() { ogg_stream_clear(&stream_); }
    OggWriter(const OggWriter&) = delete;
    OggWriter& operator=(const OggWriter&) = delete;

    /// The pages the packet completes; `flush` ends a page with it.
    QByteArray packet(qsizetype size, ogg_int64_t granule, bool flush = false) {
        QByteArray data(size, static_cast<char>('a' + packets_ % 26));
        ogg_packet packet{};
        packet.packet = reinterpret_cast<unsigned char*>(data.data());
        packet.bytes = size;
        packet.b_o_s = packets_ == 0 ? 1 : 0;
        packet.granulepos = granule;
        packet.packetno = packets_++;
        ogg_stream_packetin(&stream_, &packet);
        QByteArray out;
        ogg_page page;
        while (flush ? ogg_stream_flush_fill(&stream_, &page, kFill)
                     : ogg_stream_pageout_fill(&stream_, &page, kFill)) {
            out.append(reinterpret_cast<const char*>(page.header), page.header_len);
            out.append(reinterpret_cast<const char*>(page.body), page.body_len);
        }
        return out;
    }
    /// An identification, a comment and a setup header, spanning pages when over 64 KiB.
    QByteArray headers(qsizetype setupSize = 10000) {
        // In order: the operands of + are not sequenced.
        QByteArray out = packet(30, 0, true);
        out += packet(200, 0);
        out += packet(setupSize, 0, true);
        return out;
    }
    /// Sound packets of 1000 bytes, 960 samples each.
    QByteArray sound(int count) {
        QByteArray out;
        for (int i = 0; i < count; ++i)
            out += packet(1000, 960 * ++sounds_);
        return out;
    }

  private:
    ogg_stream_state stream_;
    // A page ends after the packet that takes it past this many bytes.
    static constexpr int kFill = 4096;
    int packets_ = 0;
    int sounds_ = 0;
};

struct Page {
    QByteArray bytes;
    int serial = 0;
    long number = 0;
    ogg_int64_t granule = 0;
};

/// Every page in the bytes, as a decoder's reader finds them.
std::vector<Page> pagesOf(const QByteArray& bytes) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, bytes.size());
    std::vector<Page> pages;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        pages.push_back({QByteArray(reinterpret_cast<const char*>(page.header), page.header_len) +
                             QByteArray(reinterpret_cast<const char*>(page.body), page.body_len),
                         ogg_page_serialno(&page), ogg_page_pageno(&page),
                         ogg_page_granulepos(&page)});
    }
    ogg_sync_clear(&sync);
    return pages;
}

/// Feeds the bytes in slices of uneven sizes, as they come from a socket.
bool feedSliced(OggPages& pages, const QByteArray& bytes) {
    static constexpr qsizetype kSlices[] = {1, 7, 333, 5000, 27, 65536};
    bool ok = true;
    for (qsizetype at = 0, i = 0; at < bytes.size(); ++i) {
        const qsizetype size = std::min(kSlices[i % 6], bytes.size() - at);
        ok = pages.feed(bytes.constData() + at, size) && ok;
        at += size;
    }
    return ok;
}

TEST(OggPages, HandsOnTheHeadersThenTheLatestWholePages) {
    OggWriter writer(7);
    const QByteArray headers = writer.headers(70000);
    ASSERT_GE(pagesOf(headers).size(), 3u) << "the setup header spans pages";
    const QByteArray sound = writer.sound(300);
    OggPages pages(kSoundLimit);
    ASSERT_TRUE(feedSliced(pages, headers + sound.left(sound.size() - 100)));
    EXPECT_LE(pages.sound(), kSoundLimit);
    EXPECT_GT(pages.sound(), kSoundLimit - 5000);

    const QByteArray all = pages.takeAll();
    EXPECT_EQ(pages.held(), 0);
    ASSERT_TRUE(all.startsWith(headers));
    const std::vector<Page> held = pagesOf(all.mid(headers.size()));
    ASSERT_GT(held.size(), 5u);
    EXPECT_GT(held.front().granule, 960 * 250) << "the oldest sound was dropped";
    for (std::size_t i = 1; i < held.size(); ++i)
        EXPECT_EQ(held[i].number, held[i - 1].number + 1) << "no page left out";
    // The start of the last page follows, which the stream's next bytes complete.
    const qsizetype lastPage = sound.lastIndexOf("OggS");
    EXPECT_TRUE(all.endsWith(sound.mid(lastPage, sound.size() - 100 - lastPage)));
    EXPECT_EQ(pagesOf(all + sound.right(100)).back().bytes, sound.mid(lastPage));
}

TEST(OggPages, SkipsJunkFalseLengthsAndBadChecksums) {
    OggWriter writer(3);
    const QByteArray headers = writer.headers();
    QByteArray bad = writer.packet(1000, 960, true);
    bad[bad.size() - 10] = static_cast<char>(bad[bad.size() - 10] ^ 0x55);
    // A page header claiming the most a page may hold, with real pages inside that length.
    QByteArray liar("OggS\0\0", 6);
    liar += QByteArray(20, '\1');
    liar += static_cast<char>(255);
    liar += QByteArray(255, static_cast<char>(255));
    const QByteArray good = writer.sound(200);
    const QByteArray stream = "HTTP junk OggS not a page" + headers + bad + liar + good;
    OggPages pages(1 << 20);
    ASSERT_TRUE(feedSliced(pages, stream));
    EXPECT_EQ(pages.sound(), good.size()) << "every good page, and only those";
    const std::vector<Page> held = pagesOf(pages.takeAll());
    EXPECT_EQ(held.size(), pagesOf(headers).size() + pagesOf(good).size());
}

TEST(OggPages, ANewChainReplacesTheHeadersAndTheSound) {
    OggWriter first(1);
    OggWriter second(2);
    QByteArray firstChain = first.headers();
    firstChain += first.sound(100);
    const QByteArray secondHeaders = second.headers(3000);
    OggPages pages(kSoundLimit);
    const QByteArray secondSound = second.sound(10);
    ASSERT_TRUE(feedSliced(pages, firstChain + secondHeaders + secondSound));
    const QByteArray all = pages.takeAll();
    EXPECT_TRUE(all.startsWith(secondHeaders));
    const std::vector<Page> held = pagesOf(all);
    EXPECT_GT(held.size(), pagesOf(secondHeaders).size());
    for (const Page& page : held)
        EXPECT_EQ(page.serial, 2);
}

TEST(OggPages, WhatNoDecoderCouldTakeUpFails) {
    OggWriter huge(1);
    QByteArray hugeHeaders = huge.headers(OggPages::kHeaderLimit);
    OggWriter late(2);
    late.headers();
    const QByteArray joinedLate = late.sound(50);
    const QByteArray junk(OggPages::kSkipLimit + 4096, 'x');
    for (const QByteArray& stream : {hugeHeaders, joinedLate, junk}) {
        OggPages pages(kSoundLimit);
        EXPECT_FALSE(feedSliced(pages, stream));
        EXPECT_TRUE(pages.failed());
        EXPECT_EQ(pages.held(), 0);
        EXPECT_FALSE(pages.feed(joinedLate.constData(), joinedLate.size())) << "and stays so";
    }
}

}  // namespace
}  // namespace qova::neighbours
