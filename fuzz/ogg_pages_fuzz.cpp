// An Ogg stream as a neighbouring channel holds it, split in pieces as the network would: what
// is held stays within its bounds, whatever the bytes; the same pages are handed on however the
// stream is cut (the bytes after them, junk or a page's start, may differ in how much of the
// junk was already skipped); and what is handed on is all that was held.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "neighbours/ogg_pages.h"

namespace {

// Small, so that short inputs drop old pages too.
constexpr qsizetype kSoundLimit = 4096;
// The longest Ogg page: its header with 255 lacing values, and 255 segments of 255 bytes.
constexpr qsizetype kLongestPage = 27 + 255 + 255 * 255;

// The whole pages in the bytes, as a decoder's reader finds them.
QByteArray pagesIn(const QByteArray& bytes) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, bytes.size());
    QByteArray pages;
    ogg_page page;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        pages.append(reinterpret_cast<const char*>(page.header), page.header_len);
        pages.append(reinterpret_cast<const char*>(page.body), page.body_len);
    }
    ogg_sync_clear(&sync);
    return pages;
}

QByteArray held(const char* data, qsizetype size, qsizetype piece) {
    qova::neighbours::OggPages pages(kSoundLimit);
    for (qsizetype at = 0; at < size; at += piece) {
        pages.feed(data + at, std::min(piece, size - at));
        if (pages.sound() > kSoundLimit + kLongestPage ||
            pages.held() >
                qova::neighbours::OggPages::kHeaderLimit + kSoundLimit + 3 * kLongestPage)
            std::abort();
    }
    const qsizetype before = pages.held();
    QByteArray all = pages.takeAll();
    if (all.size() != before || pages.held() != 0 || (pages.failed() && !all.isEmpty()))
        std::abort();
    return pagesIn(all);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    const qsizetype piece = length == 0 ? 1 : data[0] % 13 + 1;
    if (held(bytes, length, length + 1) != held(bytes, length, piece))
        std::abort();
    return 0;
}
