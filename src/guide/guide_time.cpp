#include "guide/guide_time.h"

namespace qova::guide {
namespace {

bool digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    // Howard Hinnant's days_from_civil: exact for every year, no table, no time zone database.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<UnixTime> ParseGuideTime(std::string_view text, int shiftHours) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(text, 0, 4, year) || !digits(text, 4, 2, month) || !digits(text, 6, 2, day) ||
        !digits(text, 8, 2, hour) || !digits(text, 10, 2, minute))
        return std::nullopt;
    std::size_t at = 12;
    if (digits(text, 12, 2, second))
        at = 14;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    while (at < text.size() && text[at] == ' ')
        ++at;
    int offsetMinutes = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int offHours = 0, offMinutes = 0;
        if (!digits(text, at + 1, 2, offHours) || !digits(text, at + 3, 2, offMinutes) ||
            offHours > 14 || offMinutes > 59)
            return std::nullopt;
        offsetMinutes = (offHours * 60 + offMinutes) * (text[at] == '-' ? -1 : 1);
    } else if (at < text.size()) {
        return std::nullopt;
    }
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return days * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60 +
           static_cast<std::int64_t>(shiftHours) * 3600;
}

}  // namespace qova::guide
