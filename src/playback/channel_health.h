#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/colour.h"
#include "platform/stream_checker.h"
#include "playback/channel_health_file.h"
#include "state/main_context.h"

namespace qova::playback {

/// The channels that did not answer, kept beside the program (HealthFile tells its lines).
inline constexpr const char* kHealthFile = "ChannelHealth.txt";
/// The colour of a channel that did not answer: still there and still playable, only paler.
inline constexpr platform::Colour kMarkedForeColour = platform::Colour::rgb(140, 140, 140);

/// Checks the channels shown in the tree, a few at a time, and marks those that do not answer:
/// greyed, with the reason and the time in the node's tool tip. A mark never hides a channel and
/// never touches the directory or the favourites; a later check that answers, or a channel that
/// plays, takes it away.
class ChannelHealth {
  public:
    static constexpr int kAtOnce = 4;

    using Mark = HealthMark;

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

    const HealthMarks& marks() const { return marks_; }
    /// How many channels of these directory lines are marked as not answering.
    std::size_t markedIn(std::string_view lines) const;
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
    HealthMarks marks_;
    // The file as read and last written, with the lines a user wrote around the marks.
    HealthFile file_;
    struct Queued {
        std::string address;
        bool localFileAllowed = false;
    };
    std::deque<Queued> queue_;
    int underWay_ = 0;
    int done_ = 0;
    int total_ = 0;
    int failed_ = 0;
    bool cancelled_ = false;
    // Counts checks, so that an answer of a cancelled one is never taken.
    std::uint64_t check_ = 0;
};

}  // namespace qova::playback
