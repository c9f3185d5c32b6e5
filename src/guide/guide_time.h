#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qova::guide {

/// Seconds since 1970-01-01 00:00 UTC.
using UnixTime = std::int64_t;

/// A guide's time, "YYYYMMDDhhmmss +hhmm": the seconds may be left out, and so may the offset,
/// which then means UTC. shiftHours moves it as a playlist's tvg-shift says the guide is off.
/// Nothing for a time that is not one (a month 13, letters, a field cut short).
std::optional<UnixTime> ParseGuideTime(std::string_view text, int shiftHours = 0);

/// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

}  // namespace qova::guide
