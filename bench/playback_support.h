#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct mpv_handle;

namespace qova::bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

/// No wait of a benchmark lasts longer.
inline constexpr auto kWaitLimit = 20s;
/// Lets the previous connection close on both sides before the next start.
inline constexpr auto kSettle = 150ms;
/// The mpv command-line player, beside which the program is measured.
inline constexpr const char* kMpvProgram = "/usr/bin/mpv";

double msBetween(Clock::time_point from, Clock::time_point to);
/// A field of /proc/<process>/status in MB ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
double statusMb(const char* field, const std::string& process = "self");
double median(std::vector<double> values);
/// The CPU time this process has used so far, in seconds, all its threads together.
double cpuSeconds();

/// Runs the Qt event loop until done() or the limit passes; false at the limit.
bool runUntil(const std::function<bool()>& done, Clock::duration limit);
void runFor(Clock::duration span);

/// When the engine was first asked to load a file since resetEngineTimes(), and when a playback
/// restart was first taken from an engine's queue, with how long the wake-up that announced it
/// waited for the thread that takes it. Seen from libmpv's entry points, whoever calls them: the
/// program's player or a bare instance.
struct EngineTimes {
    std::optional<Clock::time_point> loadIssued;
    std::optional<Clock::time_point> restartTaken;
    /// From libmpv's wake-up call to the queue's first read after it; 0 without a wake-up call.
    double restartWakeupMs = 0.0;
};
EngineTimes engineTimes();
void resetEngineTimes();

/// A bare libmpv instance with the engine options of the program's player that bear on opening
/// a stream; no sound output.
class BareMpv {
  public:
    /// With drawsPicture, video goes through libmpv's render API into an offscreen OpenGL
    /// framebuffer of the player area's size, drawn on this thread whenever libmpv asks, as the
    /// program's player draws it on its own; otherwise it is decoded unseen.
    explicit BareMpv(bool drawsPicture = false);
    ~BareMpv();
    BareMpv(const BareMpv&) = delete;
    BareMpv& operator=(const BareMpv&) = delete;

    bool running() const { return handle_ != nullptr; }

    struct Start {
        double loadedMs;
        double restartMs;
    };
    /// Loads the address and waits for the first restart of playback.
    std::optional<Start> open(const std::string& url);
    /// Stops and waits until the engine is idle and the connection has gone.
    bool stop();

  private:
    template <typename Done>
    bool waitFor(Clock::time_point deadline, Done done);
    bool setUpPicture();

    mpv_handle* handle_ = nullptr;
    /// Draws on a thread of its own, as the program's player does: a frame's drawing waits for
    /// the frame's time and must not hold up the engine's events.
    std::unique_ptr<class PictureDrawer> drawer_;
};

/// Starts the mpv program on the address and waits on its IPC socket for the first restart of
/// playback; the time runs from the spawn, so it includes the program's own start. The program
/// is then told to quit, and killed if it does not.
std::optional<double> mpvProgramStart(const std::string& program, const std::string& url,
                                      const std::string& socketPath);

}  // namespace qova::bench
