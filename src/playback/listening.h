#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/media_player.h"
#include "platform/player_overlay.h"
#include "state/main_context.h"

namespace qova::playback {

/// What a listener does beyond the window's own controls, from the keyboard, the Playback menu
/// and the desktop's media keys: the channel after or before the one playing, stop and start
/// again, the volume; and what the program shows and tells the desktop of what plays. A channel
/// is started and stopped only through the window's own handlers, so that the tree, the
/// favourite button and the player area behave as a click would have them.
class Listening {
  public:
    struct Handlers {
        /// The tree's Click, for the node selected.
        std::function<void()> treeClick;
        /// The stop button's Click.
        std::function<void()> stopClick;
        /// The channel started last plays: picture or sound is under way.
        std::function<void()> playing = nullptr;
    };

    /// Settings keys of the volume kept between runs.
    static constexpr const char* kVolumeKey = "volume";
    static constexpr const char* kMutedKey = "muted";
    /// How much one step of the wheel or of + and - changes the volume.
    static constexpr int kVolumeStep = 5;

    Listening(state::MainContext& ctx, Handlers handlers);
    ~Listening();
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

    /// Gives the engine the volume kept from the last run and the desktop its first state.
    void load();

    /// The tree's node about to be started: a radio channel's stream is told to the engine as
    /// one of sound alone.
    void channelChosen(int node);
    /// A channel was started by the window's handlers (a click in the tree, or one of ours).
    void channelStarted();
    /// Playback was stopped by the stop button.
    void channelStopped();

    /// The neighbouring channel in the tree; the first when none has been started yet. Nothing
    /// at either end of the tree.
    void next();
    void previous();
    /// Stops what plays; when nothing plays, starts the channel started last again, or the first
    /// channel of the tree when none was started yet.
    void playOrStop();
    void play();
    void stop();
    /// Holds what plays where it is (see MediaPlayer::pause), or plays on from there; a stream
    /// that cannot be held stops, and nothing playing starts as play() does.
    void pauseOrPlay();

    void changeVolume(int steps);
    void setVolume(int percent);
    void toggleMute();

    /// Whether the main window can be seen; the screen saver is held off only then.
    void windowShown(bool shown);

    /// The stream's title of what plays, for copying; empty when it has none.
    std::string currentTitle() const;

  private:
    void startNode(int node);
    int lastNode() const;
    void showNowPlaying(bool renew);
    void updateDesktop();
    void updateScreenSaver();

    state::MainContext& ctx_;
    Handlers handlers_;
    // The channel started last, kept past the stop button so that it can start again.
    std::string lastRecord_;
    int lastNode_ = 0;
    bool playing_ = false;
    std::uint64_t track_ = 0;
    bool windowShown_ = false;
    platform::NowPlaying shown_;
};

}  // namespace qova::playback
