#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/colour.h"
#include "platform/stream_checker.h"
#include "state/main_context.h"

namespace qova::playback {

/// The channels that did not answer, kept beside the program: one a line, address, time and
/// reason separated by tabs.
inline constexpr const char* kHealthFile = "ChannelHealth.txt";
/// Bounds for reading it back, as a user may have edited it.
inline constexpr std::size_t kMaxMarks = 100000;
inline constexpr std::size_t kMaxMarkLineBytes = 8192;
/// The colour of a channel that did not answer: still there and still playable, only paler.
inline constexpr platform::Colour kMarkedForeColour = platform::Colour::rgb(140, 140, 140);

/// Checks the channels shown in the tree, a few at a time, and marks those that do not answer:
/// greyed, with the reason and the time in the node's tool tip. A mark never hides a channel and
/// never touches the directory or the favourites; a later check that answers, or a channel that
/// plays, takes it away.
class ChannelHealth {
  public:
    static constexpr int kAtOnce = 4;

    struct Mark {
        std::string when;
        std::string reason;
    };

    ChannelHealth(state::MainContext& ctx, platform::StreamChecker& checker);
    ~ChannelHealth();
    ChannelHealth(const ChannelHealth&) = delete;
    ChannelHealth& operator=(const ChannelHealth&) = delete;

    /// Reads the marks kept from earlier runs.
    void load();
    /// Checks every channel shown in the tree, in place of a check under way.
    void checkShown();
    /// Starts no further check; those under way are given up.
    void cancel();
    bool running() const { return underWay_ > 0 || !queue_.empty(); }
    /// Channels checked and to check in the check under way or the last one.
    int done() const { return done_; }
    int total() const { return total_; }
    /// How many of those checked did not answer.
    int failed() const { return failed_; }
    /// The progress line: "Checking channels: 12 of 40", then what the check found.
    std::string progressText() const;

    /// Marks the nodes of the tree as shown now.
    void showMarks();
    /// A channel played: it answers.
    void played(std::string_view record);

    const std::map<std::string, Mark, std::less<>>& marks() const { return marks_; }
    /// What a marked channel says in its tool tip.
    static std::string markText(const Mark& mark);

    /// Heard after each channel checked, and when a check ends or is cancelled.
    std::function<void()> onProgress;

  private:
    void startNext();
    void checked(const std::string& address, platform::StreamChecker::Result result);
    void showMark(const std::string& address);
    void save();

    state::MainContext& ctx_;
    platform::StreamChecker& checker_;
    std::map<std::string, Mark, std::less<>> marks_;
    std::deque<std::string> queue_;
    int underWay_ = 0;
    int done_ = 0;
    int total_ = 0;
    int failed_ = 0;
    bool cancelled_ = false;
    // Counts checks, so that an answer of a cancelled one is never taken.
    std::uint64_t check_ = 0;
};

}  // namespace qova::playback
