#pragma once
// Times of a survey as the meter's files give them: local wall-clock time without a time
// zone (a logger file's START TIME). They are counted here in milliseconds from 1970-01-01
// 00:00 of that same wall clock, on the proleptic Gregorian calendar, so adding the
// sampling period and cutting into hours and days is plain arithmetic.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessera::survey {

using LocalMs = std::int64_t;

inline constexpr LocalMs kMsPerSecond = 1000;
inline constexpr LocalMs kMsPerHour = 3600 * kMsPerSecond;
inline constexpr LocalMs kMsPerDay = 24 * kMsPerHour;

struct CivilTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalMs ToLocalMs(const CivilTime& t);
CivilTime FromLocalMs(LocalMs ms);

// The day a time falls on (ms of its midnight), and the hour of day 0..23.
LocalMs DayOf(LocalMs ms);
int HourOf(LocalMs ms);

// ISO 8601 local time: "2024-03-01T02:10:00", with ".250" when the milliseconds are not 0.
std::string IsoLocal(LocalMs ms);
// "2024-03-01"
std::string IsoDate(LocalMs ms);

// What a person gives as --from/--to: "2024-03-01T22:00[:00]", "2024-03-01 22:00",
// "2024/3/1 22:00", "2024-03-01" (midnight), or a time of day "22:00[:00]" (then
// `dateless` is set and the caller picks the day).
struct TimeWords {
    LocalMs ms = 0;  // for a time of day: ms since midnight
    bool dateless = false;
};
std::optional<TimeWords> ParseTimeWords(std::string_view text);

// The first moment at or after `after` whose time of day is `msOfDay`.
LocalMs NextTimeOfDay(LocalMs after, LocalMs msOfDay);

}  // namespace tessera::survey
