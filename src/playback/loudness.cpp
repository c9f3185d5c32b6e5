#include "playback/loudness.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "platform/text.h"

namespace qova::playback {
namespace {

// What a meter can give: below -70 LUFS the EBU R128 gate leaves nothing; a stream's samples may
// pass full scale a little, never by much.
constexpr double kQuietestLufs = -70.0;
constexpr double kLoudestLufs = 10.0;
constexpr double kLowestPeakDbfs = -120.0;
constexpr double kHighestPeakDbfs = 20.0;
constexpr double kMostSeconds = 1e7;
constexpr double kSettledWithinDb = 0.05;

std::optional<double> number(std::string_view text, double lowest, double highest) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value < lowest || value > highest)
        return std::nullopt;
    return value;
}

void appendNumber(std::string& out, double value) {
    char digits[32];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
    out.append(digits, error == std::errc() ? end : digits);
}

std::optional<std::pair<std::string, LoudnessRecord>> parsedLine(std::string_view line) {
    if (line.size() > kMaxLoudnessLineBytes)
        return std::nullopt;
    std::string_view fields[3];
    for (std::string_view& field : fields) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            return std::nullopt;
        field = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    const bool plain = std::none_of(line.begin(), line.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    const auto loudness = number(fields[0], kQuietestLufs, kLoudestLufs);
    const auto peak = number(fields[1], kLowestPeakDbfs, kHighestPeakDbfs);
    const auto seconds = number(fields[2], 0, kMostSeconds);
    if (line.empty() || !plain || !loudness || !peak || !seconds)
        return std::nullopt;
    return std::pair{std::string(line), LoudnessRecord{*loudness, *peak, *seconds}};
}

}  // namespace

double gainFor(const LoudnessRecord& record) {
    const double room = -record.peakDbfs - kPeakHeadroomDb;
    const double wanted = kLoudnessTargetLufs - record.integratedLufs;
    return std::clamp(std::min({wanted, kMaxBoostDb, room}), kMaxCutDb, kMaxBoostDb);
}

LoudnessRecord combined(const LoudnessRecord& earlier, const LoudnessRecord& later) {
    const double before = std::min(earlier.seconds, kRememberedSeconds);
    const double now = std::max(later.seconds, 0.0);
    if (before + now <= 0)
        return later;
    return LoudnessRecord{
        (earlier.integratedLufs * before + later.integratedLufs * now) / (before + now),
        std::max(earlier.peakDbfs, later.peakDbfs), std::min(before + now, kRememberedSeconds)};
}

LoudnessBook LoudnessBook::read(std::string_view text) {
    LoudnessBook book;
    std::unordered_map<std::string, std::size_t> at;
    platform::LineReader reader(platform::firstBytes(text, kMaxLoudnessFileBytes),
                                platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        auto parsed = parsedLine(line);
        if (!parsed)
            continue;
        if (const auto found = at.find(parsed->first); found != at.end()) {
            book.entries_[found->second].record = parsed->second;
            continue;
        }
        if (book.entries_.size() == kMaxLoudnessChannels)
            break;
        at.emplace(parsed->first, book.entries_.size());
        book.entries_.push_back(Entry{std::move(parsed->first), parsed->second});
    }
    return book;
}

std::optional<LoudnessRecord> LoudnessBook::find(std::string_view address) const {
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (entry->address == address)
            return entry->record;
    }
    return std::nullopt;
}

void LoudnessBook::heard(std::string_view address, const LoudnessRecord& measured) {
    // An address that could not be read back is not kept.
    if (address.empty() || address.size() + 64 > kMaxLoudnessLineBytes ||
        std::any_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return;
    LoudnessRecord record = measured;
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const Entry& entry) { return entry.address == address; });
    if (found != entries_.end()) {
        record = combined(found->record, measured);
        entries_.erase(found);
    } else if (entries_.size() >= kMaxLoudnessChannels) {
        entries_.erase(entries_.begin());
    }
    record.integratedLufs = std::clamp(record.integratedLufs, kQuietestLufs, kLoudestLufs);
    record.peakDbfs = std::clamp(record.peakDbfs, kLowestPeakDbfs, kHighestPeakDbfs);
    record.seconds = std::clamp(record.seconds, 0.0, kMostSeconds);
    entries_.push_back(Entry{std::string(address), record});
}

std::string LoudnessBook::text() const {
    std::string out;
    for (const Entry& entry : entries_) {
        appendNumber(out, entry.record.integratedLufs);
        out += '\t';
        appendNumber(out, entry.record.peakDbfs);
        out += '\t';
        appendNumber(out, entry.record.seconds);
        out += '\t';
        out += entry.address;
        out += "\r\n";
    }
    return out;
}

LoudnessLevel::LoudnessLevel(std::optional<LoudnessRecord> known)
    : known_(known), settled_(known.has_value()), gain_(known ? gainFor(*known) : 0.0) {}

double LoudnessLevel::measured(double integratedLufs, double peakDbfs, double elapsedSeconds) {
    // Silence, or too little sound for the meter's gate, says nothing of the channel.
    if (!std::isfinite(integratedLufs) || integratedLufs <= kQuietestLufs ||
        !std::isfinite(elapsedSeconds) || elapsedSeconds <= 0)
        return gain_;
    if (!std::isfinite(peakDbfs))
        peakDbfs = kLowestPeakDbfs;
    play_.seconds += elapsedSeconds;
    play_.integratedLufs = integratedLufs;
    play_.peakDbfs = std::max(play_.seconds > elapsedSeconds ? play_.peakDbfs : kLowestPeakDbfs,
                              std::clamp(peakDbfs, kLowestPeakDbfs, kHighestPeakDbfs));
    const LoudnessRecord now = known_ ? combined(*known_, play_) : play_;
    // Room under full scale is taken at once: a peak louder than any before must not clip.
    gain_ = std::min(gain_, std::max(-now.peakDbfs - kPeakHeadroomDb, kMaxCutDb));
    if (!known_ && play_.seconds < kFirstReadingSeconds)
        return gain_;
    const double wanted = gainFor(now);
    const double away = wanted - gain_;
    if (settled_ && std::abs(away) <= kSettledWindowDb)
        return gain_;
    const double step = kGainStepDbPerSecond * elapsedSeconds;
    gain_ += std::clamp(away, -step, step);
    settled_ = std::abs(wanted - gain_) <= kSettledWithinDb;
    return gain_;
}

std::optional<LoudnessRecord> LoudnessLevel::thisPlay() const {
    if (play_.seconds < kKeptAfterSeconds)
        return std::nullopt;
    return play_;
}

}  // namespace qova::playback
