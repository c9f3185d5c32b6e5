#include "stream/stream_tape.h"

#include <algorithm>
#include <string_view>

namespace qova::stream {

void StreamTape::addSink(AudioSink* sink) {
    if (std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end())
        sinks_.push_back(sink);
}

void StreamTape::removeSink(AudioSink* sink) {
    std::erase(sinks_, sink);
}

void StreamTape::beginAnswer() {
    if (probing_) {
        // An answer too short to compare is passed on as it came.
        answerSkipped_ = 0;
        flushPending();
    }
    answerBase_ = length_;
    answerSkipped_ = 0;
    probing_ = !tail_.empty();
}

void StreamTape::audio(const char* data, std::size_t size) {
    if (!probing_) {
        pass(data, size);
        return;
    }
    pending_.append(data, size);
    if (settleOverlap())
        flushPending();
}

void StreamTape::flushPending() {
    probing_ = false;
    {
        std::string rest = std::move(pending_);
        pending_.clear();
        auto titles = std::move(pendingTitles_);
        pendingTitles_.clear();
        const std::uint64_t skipped = answerSkipped_;
        // Titles of the repeated part belong where the tape already is.
        std::size_t passed = 0;
        for (const auto& [text, answerOffset] : titles) {
            const std::uint64_t at = answerOffset > skipped ? answerOffset - skipped : 0;
            const std::size_t upTo =
                static_cast<std::size_t>(std::min<std::uint64_t>(at, rest.size()));
            if (upTo > passed) {
                pass(rest.data() + passed, upTo - passed);
                passed = upTo;
            }
            announce(text, length_);
        }
        if (rest.size() > passed)
            pass(rest.data() + passed, rest.size() - passed);
    }
}

bool StreamTape::settleOverlap() {
    const std::string_view tail(tail_);
    const std::string_view fresh(pending_);
    // Short stretches repeat by chance (digital silence is the same frame again and again).
    if (fresh.size() < kProbe)
        return false;
    // The repeat is a stretch at the tail's end that the answer begins with. The earliest start
    // is the longest, as a burst repeats as much as the server held.
    const std::string_view probe = fresh.substr(0, kProbe);
    bool mayRepeat = false;
    for (std::size_t at = tail.find(probe); at != std::string_view::npos;
         at = tail.find(probe, at + 1)) {
        const std::size_t overlap = tail.size() - at;
        if (overlap <= fresh.size()) {
            if (fresh.substr(0, overlap) == tail.substr(at)) {
                answerSkipped_ = overlap;
                pending_.erase(0, overlap);
                return true;
            }
        } else if (tail.substr(at, fresh.size()) == fresh) {
            mayRepeat = true;
        }
    }
    return !mayRepeat;
}

void StreamTape::title(const std::string& text, std::uint64_t answerOffset) {
    if (probing_) {
        pendingTitles_.emplace_back(text, answerOffset);
        return;
    }
    const std::uint64_t at =
        answerOffset > answerSkipped_ ? answerBase_ + answerOffset - answerSkipped_ : answerBase_;
    announce(text, std::min(at, length_));
}

void StreamTape::announce(const std::string& text, std::uint64_t offset) {
    if (text == title_)
        return;
    title_ = text;
    titleOffset_ = offset;
    for (AudioSink* sink : std::vector<AudioSink*>(sinks_))
        sink->titleChanged(text, offset);
}

void StreamTape::pass(const char* data, std::size_t size) {
    if (size == 0)
        return;
    for (AudioSink* sink : std::vector<AudioSink*>(sinks_))
        sink->audio(data, size, length_);
    length_ += size;
    tail_.append(data, size);
    if (tail_.size() > kTailKept)
        tail_.erase(0, tail_.size() - kTailKept);
}

}  // namespace qova::stream
