#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "testkit/streams/stream_processes.h"

namespace qova::testkit::streams {

/// Debian's icecast2 on 127.0.0.1 with two mounts fed by ffmpeg: /live.mp3 (MP3, 128 kb/s, its
/// ICY title set through the admin interface) and /live.ogg (Ogg Vorbis, title in its comments).
class IcecastServer {
  public:
    static constexpr const char* kProgram = "/usr/bin/icecast2";
    static inline const std::string kOggTitle = "QOVA Test Tone (Ogg)";

    /// Nothing runs yet; its files and logs go into the folder `root`.
    explicit IcecastServer(std::filesystem::path root);
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    /// Starts Icecast, waits until it listens, and starts the sources. The processes die with
    /// the thread that calls this. Started again after stop(), it listens on the same port.
    void launch(Clock::time_point deadline);
    /// Waits until both mounts play and a new listener hears the MP3 title at once; may run on
    /// another thread than launch().
    void awaitMounts(Clock::time_point deadline);
    /// Stops Icecast and its sources together, as a crash of the server would.
    void stop();
    /// Before launch: more MP3 mounts, one for each level, each a tone (of the frequency given
    /// in the same place, or 440 Hz) whose two channels have that RMS level (dBFS), at
    /// "/tone<level>.mp3" ("/tone-30.mp3").
    void addTones(std::vector<int> levelsDbfs, std::vector<int> frequenciesHz = {}) {
        toneLevels_ = std::move(levelsDbfs);
        toneFrequencies_ = std::move(frequenciesHz);
    }
    static std::string toneMount(int levelDbfs) {
        return "/tone" + std::to_string(levelDbfs) + ".mp3";
    }

    /// 0 until launched.
    std::uint16_t port() const { return port_; }
    const std::string& mp3Title() const { return mp3Title_; }
    /// Announces a new title on the MP3 mount; true when Icecast took it.
    bool setMp3Title(const std::string& title);
    /// How many listeners Icecast counts on a mount, or -1 when it does not say.
    int listeners(const std::string& mount) const;
    /// What runs of it: Icecast, the MP3 source, the Ogg source.
    std::vector<ChildProcess*> processes() const;

  private:
    void launchIcecast();
    void awaitListening(Clock::time_point deadline);
    void launchSources();
    std::unique_ptr<ChildProcess> ffmpegSource(const std::string& mount,
                                               const std::vector<std::string>& encoding,
                                               const std::string& input);
    // A request to the admin interface, with its credentials.
    std::string adminRequest(const std::string& target) const;

    std::filesystem::path root_;
    std::uint16_t port_ = 0;
    std::string sourcePassword_;
    std::string adminPassword_;
    std::string mp3Title_ = "QOVA Test Tone";
    std::unique_ptr<ChildProcess> icecast_, mp3Source_, oggSource_;
    std::vector<int> toneLevels_;
    std::vector<int> toneFrequencies_;
    std::vector<std::unique_ptr<ChildProcess>> toneSources_;
};

}  // namespace qova::testkit::streams
