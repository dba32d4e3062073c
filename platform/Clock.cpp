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

Clock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace tessera::platform
