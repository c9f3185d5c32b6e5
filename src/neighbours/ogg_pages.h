#pragma once

#include <ogg/ogg.h>

#include <QByteArray>
#include <deque>

namespace qova::neighbours {

/// An Ogg stream (Vorbis, Opus, FLAC) read as it comes, for a decoder to take up later: a
/// decoder cannot start at just any page, only with the stream's header pages first. So the
/// header pages at the start of each chain are kept, and of the sound after them the latest
/// whole pages, older ones dropped a page at a time. A new chain (a beginning-of-stream page
/// after sound, as a server sends at a new title) replaces both.
///
/// Pages are found and checked by libogg (capture pattern, lengths, checksum): bytes that are
/// no page are skipped, never trusted.
class OggPages {
  public:
    /// The most kept of a chain's header pages. Encoders break a page only after 255 segments
    /// (about 64 KiB), so that headers span pages only when longer; a cover picture in the
    /// comments makes them so.
    static constexpr qsizetype kHeaderLimit = 256 * 1024;
    /// The most skipped in a row before the stream is taken for no Ogg stream at all.
    static constexpr qsizetype kSkipLimit = 256 * 1024;

    /// Holds at most about `soundLimit` bytes of sound pages (the newest page whole).
    explicit OggPages(qsizetype soundLimit);
    ~OggPages();
    OggPages(const OggPages&) = delete;
    OggPages& operator=(const OggPages&) = delete;

    /// Reads more of the stream; false once it cannot be kept (not Ogg from its first page on,
    /// headers over kHeaderLimit, or nothing but bytes to skip), after which it reads nothing.
    bool feed(const char* data, qsizetype size);
    bool failed() const { return failed_; }
    /// The bytes of sound held in whole pages after the headers: none until they are complete.
    qsizetype sound() const { return soundBytes_; }
    /// All that is held: header pages, sound pages and the start of the next page.
    qsizetype held() const;
    /// What a decoder starts with: the header pages, the sound pages, then the start of the
    /// page to come, which the stream's next bytes continue.
    /// Nothing is held afterwards.
    QByteArray takeAll();

  private:
    void take(const ogg_page& page);
    void dropOld();

    enum class Phase { First, Headers, Sound };
    ogg_sync_state sync_;
    Phase phase_ = Phase::First;
    bool failed_ = false;
    qsizetype soundLimit_;
    qsizetype skipped_ = 0;
    QByteArray headers_;
    std::deque<QByteArray> pages_;
    qsizetype soundBytes_ = 0;
};

}  // namespace qova::neighbours
