#include "logger/GraphTexts.h"

#include "link/Decode.h"
#include "logger/LoggerTables.h"

namespace tessera::logger {

std::string AxisLabel(double value, char unit, double topValue) {
    double factor = 1.0;
    const char* text = "";
    switch (unit) {
        case '0':
            if (topValue > 0.001) factor = 1e3, text = "mT";
            else factor = 1e6, text = "uT";
            break;
        case '1':
            if (topValue > 1.0) text = "G";
            else factor = 1e3, text = "mG";
            break;
        case '2': text = "A/m"; break;
        case '3': text = "%"; break;
        default: break;
    }
    if (value <= 0.0) return std::string("0") + text;
    return link::FormatSignificant(value * factor, 2) + text;
}

std::pair<std::string, std::string> TimeLabels(int periodIndex, int J) {
    static const int kMultiplier[kPeriods] = {1, 5, 10, 20, 1, 2, 5, 10, 20, 1};
    const int i = periodIndex >= 0 && periodIndex < kPeriods ? periodIndex : 2;
    const char* unit = i <= 3 ? "s" : i <= 8 ? "min" : "h";
    const int k = kMultiplier[i];
    return {std::to_string(k * J) + unit, std::to_string(k * (J + 12)) + unit};
}

std::string InfoLine(const LoggerModel& m, bool print) {
    if (!m.RecordKnown()) return {};
    const auto& record = m.RecordInForce();
    std::string line =
        record.range >= 10 ? std::string("AUTO Range") : "Fixed Range : " + RangeText(record.unit, record.range % 10);
    line += "    Sampling : ";
    line += MethodText(m.DataMethod());
    if (m.DataState() != DataState::None) {
        line += "    ";
        line += print ? PeriodShortText(record.slow, m.DataPeriodIndex())
                      : PeriodItemText(record.slow, m.DataPeriodIndex());
    }
    return line;
}

std::string PrintStartLine(const StartTime& t) {
    static const char* kDays[7] = {"(Mon.)  ", "(Tue.)  ", "(Wed.)  ", "(Thu.)  ", "(Fri.)  ", "(Sat.)  ", "(Sun.)  "};
    const char* day = t.weekday >= 1 && t.weekday <= 6 ? kDays[t.weekday - 1] : kDays[6];
    return "Start Time:   " + std::to_string(t.year) + "/" + TwoDigits(t.month) + "/" + TwoDigits(t.day) + " " + day +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

}  // namespace tessera::logger
