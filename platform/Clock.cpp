#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace tessera::platform {

std::uint32_t SystemClock::Millis() {
    // A free-running millisecond counter that wraps at 2^32, like the one the pages pace with.
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return static_cast<std::uint32_t>(ms);
}

LocalTime SystemClock::Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &seconds);
#else
    localtime_r(&seconds, &tm);
#endif
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
    t.dayOfWeek = tm.tm_wday;
    return t;
}

std::optional<int> SystemClock::UtcOffsetMinutes() {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{}, utc{};
#if defined(_WIN32)
    if (localtime_s(&local, &seconds) != 0 || gmtime_s(&utc, &seconds) != 0) return std::nullopt;
#else
    if (!localtime_r(&seconds, &local) || !gmtime_r(&seconds, &utc)) return std::nullopt;
#endif
    // The local reading less the UTC reading of the same moment: days apart (at most one),
    // then the clock time.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    const long long ahead = days * 86400LL + (local.tm_hour - utc.tm_hour) * 3600LL +
                            (local.tm_min - utc.tm_min) * 60LL + (local.tm_sec - utc.tm_sec);
    return static_cast<int>(ahead / 60);
}

Clock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace tessera::platform
