#pragma once
// The cursor readout: the time of a sample (start time plus elapsed seconds, with calendar
// carries) and the text "2012/05/03  09:05:07   R:..., x:..., y:..., z:...   Unit:T".

#include <string>

#include "link/Stores.h"
#include "platform/Clock.h"

namespace tessera::logger {

struct StartTime {
    int year = 0, month = 0, day = 0;
    int weekday = 0;  // 1..6 Monday..Saturday; 0 or 7 Sunday
    int hour = 0, minute = 0, second = 0;

    static StartTime From(const platform::LocalTime& t);
    bool operator==(const StartTime&) const = default;
};

// Adds seconds with carries of seconds, minutes, hours, days by month length (February 29
// in years divisible by 4) and December into January. The weekday is not carried. A month
// outside 1..12 (possible in a file) is treated as a 31-day month, so the walk always ends.
StartTime AddSeconds(StartTime t, long long seconds);

// "05": a date or time field as the readout, the printout and the journal show it.
std::string TwoDigits(int v);

// "2012/05/03  09:05:07"
std::string ReadoutDateTime(const StartTime& t);

// Values as displayed (already quantised), the unit and scale in force and the over-range
// limit; the whole readout text after the date.
std::string ReadoutValues(const link::LogSample& shown, char unit, int scaleIndex, double maxFullScale);

}  // namespace tessera::logger
