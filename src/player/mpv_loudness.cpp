#include "player/mpv_loudness.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/text.h"
#include "platform/text_files.h"
#include "player/mpv_player.h"

namespace qova::player {
namespace {

constexpr const char* kMeterLabel = "qovaloudness";
constexpr const char* kGainLabel = "qovagain";
constexpr const char* kMeterRead = "af-metadata/qovaloudness";
constexpr const char* kLoudnessKey = "lavfi.r128.I";
constexpr const char* kPeakKey = "lavfi.r128.sample_peak";
// Smaller changes than this are not worth a command to the engine.
constexpr double kAudibleDb = 0.05;
// A reading late by more than this (a stall, the machine asleep) counts as this much sound.
constexpr double kLongestReadingSeconds = 1.0;

std::string decimal(double value, int precision) {
    char digits[32];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    return error == std::errc() ? std::string(digits, end) : std::string("1");
}

double linear(double db) {
    return std::pow(10.0, db / 20.0);
}

std::optional<double> number(const MpvPlayer::TextMap& values, const char* key) {
    const auto found = values.find(key);
    if (found == values.end())
        return std::nullopt;
    double value = 0;
    const std::string& text = found->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

/// The filters of a file: the meter sees the stream as it comes, the gain follows.
std::string filterOptions(double gainDb) {
    const std::string filters = std::string("@") + kMeterLabel +
                                ":lavfi=[ebur128=metadata=1:peak=sample:framelog=verbose],@" +
                                kGainLabel + ":lavfi=[volume=volume=" + decimal(linear(gainDb), 6) +
                                ":precision=float]";
    // Quoted with its length: the filters are one option among a file's, and hold commas.
    return "af=%" + std::to_string(filters.size()) + "%" + filters;
}

}  // namespace

MpvLoudness::MpvLoudness(MpvPlayer& player, platform::TextFiles& files, QObject* parent)
    : QObject(parent), player_(player), files_(files) {
    meter_.setInterval(kReadEveryMs);
    connect(&meter_, &QTimer::timeout, this, &MpvLoudness::readMeter);
    writeLater_.setSingleShot(true);
    writeLater_.setInterval(kWriteAfterMs);
    connect(&writeLater_, &QTimer::timeout, this, &MpvLoudness::write);
    connect(&player_, &MpvPlayer::playbackRestarted, this, &MpvLoudness::started);
    connect(&player_, &MpvPlayer::idleChanged, this, [this](bool idle) {
        if (idle)
            endPlay();
    });
}

MpvLoudness::~MpvLoudness() {
    if (enabled_)
        player_.fileOptions = nullptr;
    endPlay();
    write();
}

void MpvLoudness::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled) {
        if (!std::exchange(bookRead_, true)) {
            const auto text = files_.read(playback::kLoudnessFile);
            book_ = playback::LoudnessBook::read(text ? platform::withoutByteOrderMark(text->view())
                                                      : std::string_view());
        }
        player_.fileOptions = [this](const std::string& address) { return fileOptions(address); };
        return;
    }
    player_.fileOptions = nullptr;
    if (level_)
        applyGain(0.0);
    endPlay();
}

std::string MpvLoudness::fileOptions(const std::string& address) {
    endPlay();
    ++play_;
    address_ = address;
    level_.emplace(book_.find(address));
    applied_ = level_->gain();
    return filterOptions(applied_);
}

void MpvLoudness::started() {
    if (!level_ || meter_.isActive())
        return;
    sinceReading_.start();
    meter_.start();
}

void MpvLoudness::readMeter() {
    if (readPending_)
        return;
    readPending_ = true;
    player_.readTextMap(kMeterRead, [this, play = play_](const MpvPlayer::TextMap& values) {
        readPending_ = false;
        const auto loudness = number(values, kLoudnessKey);
        const auto peak = number(values, kPeakKey);
        if (loudness && peak)
            metered(play, *loudness, *peak);
    });
}

void MpvLoudness::metered(std::uint64_t play, double loudness, double peak) {
    if (play != play_ || !level_)
        return;
    // Counted as sound only while it plays: a stall adds nothing to what was measured.
    const double elapsed =
        std::min(static_cast<double>(sinceReading_.restart()) / 1000.0, kLongestReadingSeconds);
    if (player_.state() != MpvPlayer::State::Playing)
        return;
    const double peakDb = peak > 0 ? 20.0 * std::log10(peak) : -HUGE_VAL;
    applyGain(level_->measured(loudness, peakDb, elapsed));
}

void MpvLoudness::applyGain(double gain) {
    if (std::abs(gain - applied_) < kAudibleDb && gain != 0.0)
        return;
    applied_ = gain;
    player_.sendCommand({"af-command", kGainLabel, "volume", decimal(linear(gain), 6)});
}

void MpvLoudness::endPlay() {
    meter_.stop();
    readPending_ = false;
    if (!level_)
        return;
    if (const auto measured = level_->thisPlay()) {
        book_.heard(address_, *measured);
        writeSoon();
    }
    level_.reset();
}

void MpvLoudness::writeSoon() {
    unwritten_ = true;
    if (!writeLater_.isActive())
        writeLater_.start();
}

void MpvLoudness::write() {
    writeLater_.stop();
    if (!std::exchange(unwritten_, false))
        return;
    // In the background: a channel change waits for no disk. A write that fails leaves the file
    // that was there.
    files_.replaceInBackground(playback::kLoudnessFile, book_.text());
}

}  // namespace qova::player
