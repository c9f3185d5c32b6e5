#include "neighbours/ogg_pages.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qova::neighbours {
namespace {

// Written to libogg at most this much at a time, so that its buffer stays about a page long.
constexpr qsizetype kChunk = 16 * 1024;

}  // namespace

OggPages::OggPages(qsizetype soundLimit) : soundLimit_(soundLimit) {
    ogg_sync_init(&sync_);
}

OggPages::~OggPages() {
    ogg_sync_clear(&sync_);
}

bool OggPages::feed(const char* data, qsizetype size) {
    for (qsizetype at = 0; at < size && !failed_;) {
        const qsizetype chunk = std::min(kChunk, size - at);
        char* buffer = ogg_sync_buffer(&sync_, static_cast<long>(chunk));
        if (buffer == nullptr) {
            failed_ = true;
            break;
        }
        std::memcpy(buffer, data + at, static_cast<std::size_t>(chunk));
        ogg_sync_wrote(&sync_, static_cast<long>(chunk));
        at += chunk;
        ogg_page page;
        for (long step = ogg_sync_pageseek(&sync_, &page); step != 0 && !failed_;
             step = ogg_sync_pageseek(&sync_, &page)) {
            if (step < 0) {
                skipped_ -= step;
                failed_ = skipped_ > kSkipLimit;
            } else {
                skipped_ = 0;
                take(page);
            }
        }
    }
    if (failed_) {
        ogg_sync_clear(&sync_);
        ogg_sync_init(&sync_);
        headers_.clear();
        pages_.clear();
        soundBytes_ = 0;
    }
    return !failed_;
}

void OggPages::take(const ogg_page& page) {
    const QByteArray bytes =
        QByteArray(reinterpret_cast<const char*>(page.header), page.header_len) +
        QByteArray(reinterpret_cast<const char*>(page.body), page.body_len);
    if (ogg_page_bos(&page) != 0) {
        // A new chain: what was held before is of a stream the new headers do not decode.
        if (phase_ != Phase::Headers) {
            headers_.clear();
            pages_.clear();
            soundBytes_ = 0;
            phase_ = Phase::Headers;
        }
    } else if (phase_ == Phase::First) {
        // Joined halfway: nothing here could ever be decoded.
        failed_ = true;
        return;
    }
    // Header pages end no packet (-1) or only header packets (0); the first sound page has a
    // position of its own.
    const ogg_int64_t position = ogg_page_granulepos(&page);
    if (phase_ == Phase::Headers && (position == 0 || position == -1)) {
        headers_ += bytes;
        failed_ = headers_.size() > kHeaderLimit;
        return;
    }
    phase_ = Phase::Sound;
    pages_.push_back(bytes);
    soundBytes_ += bytes.size();
    dropOld();
}

void OggPages::dropOld() {
    // Whole pages: one that starts with a packet's second half is fine, a decoder's reader
    // skips that half as it does when it joins a stream.
    while (soundBytes_ > soundLimit_ && pages_.size() > 1) {
        soundBytes_ -= pages_.front().size();
        pages_.pop_front();
    }
}

qsizetype OggPages::held() const {
    return headers_.size() + soundBytes_ + static_cast<qsizetype>(sync_.fill - sync_.returned);
}

QByteArray OggPages::takeAll() {
    QByteArray all = std::exchange(headers_, QByteArray());
    all.reserve(held());
    for (const QByteArray& page : pages_)
        all += page;
    if (sync_.data != nullptr)
        all.append(reinterpret_cast<const char*>(sync_.data) + sync_.returned,
                   sync_.fill - sync_.returned);
    pages_.clear();
    soundBytes_ = 0;
    ogg_sync_reset(&sync_);
    return all;
}

}  // namespace qova::neighbours
