#include "logger/LoggerTables.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "link/Decode.h"
#include "settings/Vocabulary.h"

namespace tessera::logger {
namespace {

constexpr std::array<int, kPeriods> kSecondsPerDivision = {1, 5, 10, 20, 60, 120, 300, 600, 1200, 3600};

constexpr std::array<const char*, kPeriods> kItemsSlowOff = {
    "1s/div (about 2.2h)",        "5s/div (about 2.2h)",      "10s/div (about 4.4h)",     "20s/div (about 8.8h)",
    "1min/div (about 1.1day)",    "2min/div (about 2.2days)", "5min/div (about 5.5days)", "10min/div (about 11.1days)",
    "20min/div (about 22.2days)", "1h/div (about 66.6days)"};
constexpr std::array<const char*, kPeriods> kItemsSlowOn = {
    "1s/div (unselected)",        "5s/div (unselected)",      "10s/div (about 17.7h)",    "20s/div (about 17.7h)",
    "1min/div (about 1.1day)",    "2min/div (about 2.2days)", "5min/div (about 5.5days)", "10min/div (about 11.1days)",
    "20min/div (about 22.2days)", "1h/div (about 66.6days)"};

constexpr std::array<const char*, kPeriods> kFileTextsSlowOff = {
    "0.25s[1s/div]", "0.25s[5s/div]", "0.5s[10s/div]",  "1s[20s/div]",     "3s[1min/div]",
    "6s[2min/div]",  "15s[5min/div]", "30s[10min/div]", "1min[20min/div]", "3min[1h/div]"};

constexpr std::array<double, 4> kBaseFullScale = {2e-6, 0.02, 1.6, 2.0};

bool ValidPeriod(int i) { return i >= 0 && i < kPeriods; }

}  // namespace

int SecondsPerDivision(int periodIndex) { return ValidPeriod(periodIndex) ? kSecondsPerDivision[periodIndex] : 0; }

std::string PeriodItemText(char slowCode, int periodIndex) {
    if (!ValidPeriod(periodIndex)) return {};
    if (slowCode == '0') return kItemsSlowOff[periodIndex];
    if (slowCode == '1') return kItemsSlowOn[periodIndex];
    return {};
}

std::string PeriodShortText(char slowCode, int periodIndex) {
    std::string text = PeriodItemText(slowCode, periodIndex);
    const auto paren = text.find('(');
    if (paren != std::string::npos) text.resize(paren);
    return text;
}

std::string PeriodFileText(char slowCode, int periodIndex) {
    if (!ValidPeriod(periodIndex)) return {};
    if (periodIndex == 2 || periodIndex == 3) {
        if (slowCode == '0') return kFileTextsSlowOff[periodIndex];
        if (slowCode == '1') return periodIndex == 2 ? "2s[10s/div]" : "2s[20s/div]";
        return {};
    }
    return kFileTextsSlowOff[periodIndex];
}

bool PeriodSelectable(char slowCode, int periodIndex) {
    return !(slowCode == '1' && (periodIndex == 0 || periodIndex == 1));
}

bool PeriodAllowsFolding(char slowCode, int periodIndex) {
    // 1 s/div and 5 s/div take one poll per sample whatever the slow code; with slow
    // response on, 10 s/div and 20 s/div do too.
    if (periodIndex >= 4) return true;
    return periodIndex >= 2 && slowCode != '1';
}

Schedule MakeSchedule(char slowCode, int periodIndex) {
    Schedule s;
    s.pollPeriodMs = slowCode == '0' ? 250 : 2000;
    s.halfPollsPer2Div = 2 * SecondsPerDivision(periodIndex) * 1000 / s.pollPeriodMs;
    s.halfPollsPerSample = s.halfPollsPer2Div / 20;
    s.samplesPerDivision = std::min(s.halfPollsPer2Div / 2, kMaxSamplesPerDivision);
    return s;
}

const char* MethodText(int method) {
    switch (method) {
        case kAverage: return "Average";
        case kMaximum: return "Maximum";
        default: return "Fixed Interval";
    }
}

const char* MethodFileText(int method) {
    switch (method) {
        case kAverage: return "average";
        case kMaximum: return "maximum";
        default: return "fixed interval";
    }
}

int UnitIndex(char unit) { return unit >= '0' && unit <= '3' ? unit - '0' : -1; }

double BaseFullScale(char unit) {
    const int u = UnitIndex(unit);
    return u < 0 ? kBaseFullScale[0] : kBaseFullScale[u];
}

std::string RangeText(char unit, int rangeIndex) {
    if (rangeIndex < 0 || rangeIndex > 3) return {};
    return settings::RangeText(unit, static_cast<std::uint8_t>(rangeIndex + 1), settings::Column::Current);
}

DisplayFormat FormatFor(char unit, int scaleIndex) {
    scaleIndex = std::clamp(scaleIndex, 0, 3);
    switch (unit) {
        case '0':
            if (scaleIndex == 3) return {1e3, 3, "E-3"};
            return {1e6, 3 - scaleIndex, "E-6"};
        case '1':
            if (scaleIndex < 2) return {1e3, 2 - scaleIndex, "E-3"};
            return {1.0, 5 - scaleIndex, ""};
        default: return {1.0, 3 - scaleIndex, ""};
    }
}

std::string FormatDisplay(double value, char unit, int scaleIndex) {
    const DisplayFormat f = FormatFor(unit, scaleIndex);
    return link::FormatFixed(value * f.factor, f.decimals) + f.suffix;
}

double Quantise(double value, char unit, int scaleIndex) {
    // The displayed text read back: its digits and the "E-6" of its suffix.
    const std::string text = FormatDisplay(value, unit, scaleIndex);
    double v = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

double RoundFour(double value, bool zeroSmall) {
    if (!(value >= 1e-9)) return zeroSmall ? 0.0 : value;
    if (value >= 10000.0 || !std::isfinite(value)) return value;
    // Bring the value to five integer digits, round the fifth half up, and scale back by
    // one division through an exact power of ten: the result is the double nearest to the
    // four kept digits, which every later formatting reads back unchanged.
    double scaled = value;
    int steps = 0;
    while (scaled < 10000.0) {
        scaled *= 10.0;
        ++steps;
    }
    auto digits = static_cast<std::int64_t>(scaled);
    if (digits % 10 >= 5) digits += 10;
    digits /= 10;
    return static_cast<double>(digits) / std::pow(10.0, steps - 1);
}

double Resultant(double x, double y, double z) { return RoundFour(std::sqrt(x * x + y * y + z * z)); }

}  // namespace tessera::logger
