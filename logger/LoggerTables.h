#pragma once
// Fixed tables of the logger: time bases, file texts, scales and display formats.
// Pure data and arithmetic, shared by the run, the graph, the readout, the CSV file and
// the printout so that all of them agree on every number.

#include <cstdint>
#include <string>

namespace tessera::logger {

inline constexpr int kPeriods = 10;
inline constexpr int kMaxSamplesPerDivision = 20;
inline constexpr int kDivisions = 12;
inline constexpr int kPlotHeight = 252;

enum Method : int { kFixedInterval = 0, kAverage = 1, kMaximum = 2 };

// Seconds per division of a period index (0..9); 0 outside.
int SecondsPerDivision(int periodIndex);

// Combo text of a period for a slow-response code; empty for a code other than '0'/'1'.
std::string PeriodItemText(char slowCode, int periodIndex);
// The same text cut just before its "(" (the printout's info line: "10s/div ").
std::string PeriodShortText(char slowCode, int periodIndex);
// "0.5s[10s/div]" ...; empty where the pair has no file text.
std::string PeriodFileText(char slowCode, int periodIndex);

// A period that cannot be chosen with slow response on (1s/div and 5s/div).
bool PeriodSelectable(char slowCode, int periodIndex);
// "Average" and "Maximum" need a sample that spans more than one poll.
bool PeriodAllowsFolding(char slowCode, int periodIndex);

// Poll schedule derived from the slow code and period.
struct Schedule {
    int pollPeriodMs = 250;
    int halfPollsPer2Div = 0;
    int halfPollsPerSample = 0;
    int samplesPerDivision = 0;
};
Schedule MakeSchedule(char slowCode, int periodIndex);

const char* MethodText(int method);      // "Fixed Interval", "Average", "Maximum"
const char* MethodFileText(int method);  // "fixed interval", "average", "maximum"

// Unit code '0'..'3' -> 0..3, else -1.
int UnitIndex(char unit);
// Full scale of range index 0 for the unit (T 2e-6, G 0.02, A/m 1.6, % 2.0).
double BaseFullScale(char unit);
// "2.000uT" ... "2000%"; empty outside the table.
std::string RangeText(char unit, int rangeIndex);

// The display format of a value at a scale: multiply by `factor`, print with `decimals`,
// append `suffix`; reading the text back gives the value in the base unit.
struct DisplayFormat {
    double factor = 1.0;
    int decimals = 3;
    const char* suffix = "";
};
DisplayFormat FormatFor(char unit, int scaleIndex);
// "1.235E-6" for 1.23456e-6 T at scale 0.
std::string FormatDisplay(double value, char unit, int scaleIndex);
// The value carrying the resolution of the meter's display at that scale.
double Quantise(double value, char unit, int scaleIndex);

// Four significant digits, half up. Values below 1e-9 are returned unchanged (R) or as
// zero (`zeroSmall`, the running averages).
double RoundFour(double value, bool zeroSmall = false);
double Resultant(double x, double y, double z);  // sqrt(x²+y²+z²) to four digits

}  // namespace tessera::logger
