#include "survey/LocalTime.h"

#include <charconv>
#include <cstdio>

namespace tessera::survey {
namespace {

// Days from 1970-01-01 of a date on the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

LocalMs FloorDiv(LocalMs a, LocalMs b) { return a / b - (a % b < 0 ? 1 : 0); }

// Reads an unsigned number at `pos` with at most `maxDigits` digits.
std::optional<int> Number(std::string_view s, std::size_t& pos, std::size_t maxDigits) {
    int value = 0;
    const std::size_t begin = pos;
    while (pos < s.size() && pos - begin < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos == begin) return std::nullopt;
    return value;
}

// "HH:MM[:SS]" at `pos` to the end of the text.
std::optional<LocalMs> TimeOfDay(std::string_view s, std::size_t pos) {
    const auto h = Number(s, pos, 2);
    if (!h || pos >= s.size() || s[pos] != ':') return std::nullopt;
    ++pos;
    const auto m = Number(s, pos, 2);
    if (!m) return std::nullopt;
    int sec = 0;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        const auto ss = Number(s, pos, 2);
        if (!ss) return std::nullopt;
        sec = *ss;
    }
    if (pos != s.size() || *h > 23 || *m > 59 || sec > 59) return std::nullopt;
    return (*h * 3600LL + *m * 60LL + sec) * kMsPerSecond;
}

}  // namespace

LocalMs ToLocalMs(const CivilTime& t) {
    const std::int64_t days = DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
    return days * kMsPerDay + (t.hour * 3600LL + t.minute * 60LL + t.second) * kMsPerSecond + t.millisecond;
}

CivilTime FromLocalMs(LocalMs ms) {
    CivilTime t;
    const LocalMs days = FloorDiv(ms, kMsPerDay);
    CivilFromDays(days, t.year, t.month, t.day);
    LocalMs rest = ms - days * kMsPerDay;
    t.hour = static_cast<int>(rest / kMsPerHour);
    rest %= kMsPerHour;
    t.minute = static_cast<int>(rest / 60000);
    rest %= 60000;
    t.second = static_cast<int>(rest / 1000);
    t.millisecond = static_cast<int>(rest % 1000);
    return t;
}

LocalMs DayOf(LocalMs ms) { return FloorDiv(ms, kMsPerDay) * kMsPerDay; }

int HourOf(LocalMs ms) { return static_cast<int>((ms - DayOf(ms)) / kMsPerHour); }

std::string IsoLocal(LocalMs ms) {
    const CivilTime t = FromLocalMs(ms);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    std::string out = text;
    if (t.millisecond != 0) {
        std::snprintf(text, sizeof text, ".%03d", t.millisecond);
        out += text;
    }
    return out;
}

std::string IsoDate(LocalMs ms) { return IsoLocal(ms).substr(0, 10); }

std::optional<TimeWords> ParseTimeWords(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.find('-') == std::string_view::npos && s.find('/') == std::string_view::npos) {
        const auto tod = TimeOfDay(s, 0);
        if (!tod) return std::nullopt;
        return TimeWords{*tod, true};
    }
    std::size_t pos = 0;
    const auto year = Number(s, pos, 4);
    if (!year || pos >= s.size() || (s[pos] != '-' && s[pos] != '/')) return std::nullopt;
    const char separator = s[pos++];
    const auto month = Number(s, pos, 2);
    if (!month || pos >= s.size() || s[pos] != separator) return std::nullopt;
    ++pos;
    const auto day = Number(s, pos, 2);
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
    CivilTime t{*year, *month, *day};
    LocalMs ms = ToLocalMs(t);
    // A day that does not exist (February 30) would silently move into the next month.
    const CivilTime back = FromLocalMs(ms);
    if (back.month != *month || back.day != *day) return std::nullopt;
    if (pos == s.size()) return TimeWords{ms, false};
    if (s[pos] != 'T' && s[pos] != ' ') return std::nullopt;
    const auto tod = TimeOfDay(s, pos + 1);
    if (!tod) return std::nullopt;
    return TimeWords{ms + *tod, false};
}

LocalMs NextTimeOfDay(LocalMs after, LocalMs msOfDay) {
    LocalMs candidate = DayOf(after) + msOfDay;
    if (candidate < after) candidate += kMsPerDay;
    return candidate;
}

}  // namespace tessera::survey
