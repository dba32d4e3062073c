#pragma once
// The two clocks the program reads: a millisecond counter (timeGetTime semantics: wraps
// at 2^32) and local calendar time. Injectable so models can be driven by tests.

#include <cstdint>
#include <optional>

namespace tessera::platform {

struct LocalTime {
    int year = 0, month = 0, day = 0;  // month 1..12, day 1..31
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int dayOfWeek = 0;  // 0 = Sunday
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t Millis() = 0;
    virtual LocalTime Now() = 0;
    // How far the local time is ahead of UTC now, in minutes (+60 for 10:00 local at 09:00
    // UTC, daylight saving time included); none when the clock does not say.
    virtual std::optional<int> UtcOffsetMinutes() { return std::nullopt; }
};

class SystemClock final : public Clock {
public:
    std::uint32_t Millis() override;
    LocalTime Now() override;
    std::optional<int> UtcOffsetMinutes() override;
};

// The process-wide system clock.
Clock& DefaultClock();

// A clock the test moves by hand.
class ManualClock final : public Clock {
public:
    std::uint32_t Millis() override { return millis; }
    LocalTime Now() override { return now; }
    std::optional<int> UtcOffsetMinutes() override { return utcOffsetMinutes; }
    std::uint32_t millis = 0;
    LocalTime now{};
    std::optional<int> utcOffsetMinutes;
};

}  // namespace tessera::platform
