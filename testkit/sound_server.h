#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qova::testkit {

/// A PulseAudio sound server of the test's own, for hearing what a player plays as a listener
/// would: Debian's pulseaudio as a child process, not a system service, on a socket in a temp
/// folder of its own (so that tests in parallel each have theirs), with null sinks, sound cards
/// that play in real time into nothing but their monitor. The server reads nothing of the
/// user's or the machine's sound setup and keeps its files in its folder; while it lives, the
/// process's PulseAudio clients, and the programs it starts, keep their cookie there too
/// (PULSE_COOKIE, as it was once the server goes), not in the user's configuration. Running as
/// root is fine.
///
/// The constructor returns once the server answers with all its sinks (at most ~10 s) or throws
/// std::runtime_error saying why. The server dies with the thread that created it.
class SoundServer {
  public:
    /// Its null sinks, by name; the first is the default sink.
    explicit SoundServer(std::vector<std::string> sinks = {"qova"});
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    /// The server as PulseAudio clients name it ("unix:/tmp/.../native"): for PULSE_SERVER.
    std::string address() const;
    const std::vector<std::string>& sinks() const;
    /// The engine options (libmpv's, or the mpv program's without the "--") that play into
    /// the sink through this server.
    std::vector<std::pair<std::string, std::string>> engineOptions(const std::string& sink) const;
    /// The same as the mpv program's arguments ("--ao=pulse", ...).
    std::vector<std::string> programArguments(const std::string& sink) const;

    /// Whether the sound server can run here; otherwise says what is missing.
    static bool available(std::string* why);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// What a sink of a SoundServer plays, as its monitor hears it from the moment this is made:
/// recorded on a thread of its own (mono, kRate), each block with the time it sounded. The most
/// recent two minutes are kept.
class SinkMonitor {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRate = 48000;

    /// Throws std::runtime_error when the monitor cannot be recorded.
    SinkMonitor(const SoundServer& server, const std::string& sink);
    ~SinkMonitor();
    SinkMonitor(const SinkMonitor&) = delete;
    SinkMonitor& operator=(const SinkMonitor&) = delete;

    /// When a tone of this frequency was first heard at or after `from`: the middle of the
    /// first 10 ms (taken every 2.5 ms) whose sound is mostly that tone and not silence.
    /// Nothing while it has not been heard.
    std::optional<Clock::time_point> toneStart(double hz, Clock::time_point from) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qova::testkit
