#include "logger/Readout.h"

#include "logger/LoggerTables.h"

namespace tessera::logger {
namespace {

int MonthLength(int year, int month) {
    switch (month) {
        case 2: return year % 4 == 0 ? 29 : 28;
        case 4:
        case 6:
        case 9:
        case 11: return 30;
        default: return 31;
    }
}

const char* UnitSuffix(char unit) {
    switch (unit) {
        case '0': return "   Unit:T";
        case '1': return "   Unit:G";
        case '2': return "   Unit:A/m";
        case '3': return "   Unit:%";
        default: return "   Unit:";
    }
}

}  // namespace

std::string TwoDigits(int v) {
    std::string text = v < 10 ? "0" : "";
    text += std::to_string(v);
    return text;
}

StartTime StartTime::From(const platform::LocalTime& t) {
    return {t.year, t.month, t.day, t.dayOfWeek, t.hour, t.minute, t.second};
}

StartTime AddSeconds(StartTime t, long long seconds) {
    if (seconds < 0) seconds = 0;
    long long total = static_cast<long long>(t.second) + 60LL * t.minute + 3600LL * t.hour + seconds;
    long long days = total / 86400;
    total %= 86400;
    t.hour = static_cast<int>(total / 3600);
    t.minute = static_cast<int>(total / 60 % 60);
    t.second = static_cast<int>(total % 60);
    t.day += static_cast<int>(days);
    // Walk month by month; each pass either ends or moves to a later month, so it ends.
    while (t.day > MonthLength(t.year, t.month)) {
        t.day -= MonthLength(t.year, t.month);
        if (t.month >= 12) {
            t.month = 1;
            ++t.year;
        } else {
            ++t.month;
            if (t.month < 1) t.month = 1;
        }
    }
    return t;
}

std::string ReadoutDateTime(const StartTime& t) {
    return std::to_string(t.year) + "/" + TwoDigits(t.month) + "/" + TwoDigits(t.day) + "  " + TwoDigits(t.hour) + ":" +
           TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string ReadoutValues(const link::LogSample& shown, char unit, int scaleIndex, double maxFullScale) {
    const DisplayFormat f = FormatFor(unit, scaleIndex);
    const double limit = maxFullScale * f.factor;
    const bool overX = shown.x * f.factor > limit;
    const bool overY = shown.y * f.factor > limit;
    const bool overZ = shown.z * f.factor > limit;
    auto item = [&](const char* prefix, double v, bool over) {
        if (over) return std::string(prefix) + "O.L.";
        return prefix + FormatDisplay(v, unit, scaleIndex);
    };
    return item("   R:", shown.R, overX || overY || overZ) + item(", x:", shown.x, overX) +
           item(", y:", shown.y, overY) + item(", z:", shown.z, overZ) + UnitSuffix(unit);
}

}  // namespace tessera::logger
