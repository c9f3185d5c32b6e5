#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

#include "playback/loudness.h"

namespace qova::platform {
class TextFiles;
}

namespace qova::player {

class MpvPlayer;

/// Equal loudness for a player: every file it loads carries a loudness meter (EBU R128, the
/// engine's lavfi ebur128) and a gain after it, before the person's own volume. The gain starts
/// where the channel's earlier plays put it and follows the meter while it plays (see
/// playback::LoudnessLevel); what a play measured is kept in ChannelLoudness.txt beside the
/// program. Off, files load as they always did and nothing is read or written.
class MpvLoudness : public QObject {
    Q_OBJECT
  public:
    /// How often the meter is read while a file plays.
    static constexpr int kReadEveryMs = 100;
    /// How long what was measured waits before it is written: a run of channel changes is one
    /// write.
    static constexpr int kWriteAfterMs = 5000;

    MpvLoudness(MpvPlayer& player, platform::TextFiles& files, QObject* parent = nullptr);
    /// Writes what was measured and not yet written.
    ~MpvLoudness() override;
    MpvLoudness(const MpvLoudness&) = delete;
    MpvLoudness& operator=(const MpvLoudness&) = delete;

    /// On, from the next file loaded; off at once (the file that plays goes on at its own level).
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    /// The gain the file that plays is given now, in dB.
    double gain() const { return applied_; }
    /// Writes what was measured and not yet written, now.
    void write();

  private:
    std::string fileOptions(const std::string& address);
    void started();
    void readMeter();
    void metered(std::uint64_t play, double loudness, double peak);
    void applyGain(double gain);
    void endPlay();
    void writeSoon();

    MpvPlayer& player_;
    platform::TextFiles& files_;
    bool enabled_ = false;
    bool bookRead_ = false;
    playback::LoudnessBook book_;
    // The file that plays: its address, its level, and which load it is.
    std::string address_;
    std::optional<playback::LoudnessLevel> level_;
    std::uint64_t play_ = 0;
    double applied_ = 0.0;
    bool readPending_ = false;
    bool unwritten_ = false;
    QTimer meter_;
    QElapsedTimer sinceReading_;
    QTimer writeLater_;
};

}  // namespace qova::player
