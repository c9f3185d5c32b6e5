#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qova::playback {

/// The file beside the program that keeps what each channel was measured at.
inline constexpr const char* kLoudnessFile = "ChannelLoudness.txt";

/// Where every channel is brought, in LUFS, and how far a gain may go.
inline constexpr double kLoudnessTargetLufs = -18.0;
inline constexpr double kMaxBoostDb = 12.0;
inline constexpr double kMaxCutDb = -30.0;
/// Room kept under full scale above a channel's highest sample: peaks between samples, and a
/// louder passage than the one measured so far, do not reach it.
inline constexpr double kPeakHeadroomDb = 1.0;

/// What a channel was measured at: its EBU R128 integrated loudness, its highest sample, and over
/// how many seconds of its sound.
struct LoudnessRecord {
    double integratedLufs = kLoudnessTargetLufs;
    double peakDbfs = 0.0;
    double seconds = 0.0;

    friend bool operator==(const LoudnessRecord&, const LoudnessRecord&) = default;
};

/// The gain that brings a channel measured so to the target: never more than kMaxBoostDb, never
/// so much that its highest sample would pass full scale less the headroom, never less than
/// kMaxCutDb.
double gainFor(const LoudnessRecord& record);

/// Two measurements of one channel as one: loudness weighted by the seconds each covers (an old
/// one counting for kRememberedSeconds at most, so that a station that changed is followed), the
/// higher peak.
LoudnessRecord combined(const LoudnessRecord& earlier, const LoudnessRecord& later);
inline constexpr double kRememberedSeconds = 600.0;

/// The loudness of the channels heard, by stream address, the one heard last at the end. Read
/// from and written as ChannelLoudness.txt: one channel a line, its loudness, peak and seconds and
/// then its address, separated by tabs. The file may have been edited: a line that does not read
/// as such, or whose numbers are out of what a measurement can give, is left out, as is anything
/// past kMaxLoudnessFileBytes or kMaxLoudnessChannels; a later line of an address overrides an
/// earlier one.
class LoudnessBook {
  public:
    static LoudnessBook read(std::string_view text);

    std::optional<LoudnessRecord> find(std::string_view address) const;
    /// Adds what a channel was measured at to what was known of it; it becomes the one heard
    /// last, and the one heard longest ago goes when the book is full.
    void heard(std::string_view address, const LoudnessRecord& measured);
    std::size_t size() const { return entries_.size(); }
    /// The file's text, each line ended by CR LF.
    std::string text() const;

  private:
    struct Entry {
        std::string address;
        LoudnessRecord record;
    };
    std::vector<Entry> entries_;
};

inline constexpr std::size_t kMaxLoudnessChannels = 5000;
inline constexpr std::size_t kMaxLoudnessLineBytes = 4096;
inline constexpr std::size_t kMaxLoudnessFileBytes = 4 * 1024 * 1024;

/// The gain of one channel while it plays: the one known from its earlier plays from its first
/// sound, then following what the meter says of this play. It moves by at most
/// kGainStepDbPerSecond, so that a channel never heard before reaches its level within its first
/// seconds as a fade rather than a jump, and a settled channel is left alone within
/// kSettledWindowDb, so that it does not pump with its programme. A peak that leaves less room than
/// the gain takes it back at once.
class LoudnessLevel {
  public:
    explicit LoudnessLevel(std::optional<LoudnessRecord> known = std::nullopt);

    /// The gain to apply now, in dB.
    double gain() const { return gain_; }
    /// A reading of the meter: this play's integrated loudness and highest sample so far, after
    /// `elapsedSeconds` more of its sound. Returns the gain to apply now.
    double measured(double integratedLufs, double peakDbfs, double elapsedSeconds);
    /// What this play measured, when it measured enough to count.
    std::optional<LoudnessRecord> thisPlay() const;

  private:
    std::optional<LoudnessRecord> known_;
    LoudnessRecord play_;
    bool settled_ = false;
    double gain_ = 0.0;
};

/// How fast the gain moves, how long a channel must sound before its reading is trusted and
/// before it is kept, and how close a settled gain may stay to the wanted one.
inline constexpr double kGainStepDbPerSecond = 4.0;
inline constexpr double kFirstReadingSeconds = 1.0;
inline constexpr double kKeptAfterSeconds = 5.0;
inline constexpr double kSettledWindowDb = 0.5;

}  // namespace qova::playback
