#pragma once
// The texts of the logger graph and its printout: axis labels, time labels, the info line
// and the start line. Plain text, so the page, the printout and the tests share them.

#include <string>
#include <utility>

#include "logger/LoggerModel.h"
#include "logger/Readout.h"

namespace tessera::logger {

// "Start Time:   2012/05/03 (Thu.)  09:05:07"
std::string PrintStartLine(const StartTime& t);
// The Y-axis label of a value in the display unit fitting the top value ("2.0uT").
std::string AxisLabel(double value, char unit, double topValue);
// Left and right time labels of the visible window ("0s", "120s").
std::pair<std::string, std::string> TimeLabels(int periodIndex, int scrollDivision);
// "Fixed Range : 2.000uT    Sampling : Average    10s/div (about 4.4h)"
std::string InfoLine(const LoggerModel& model, bool print);

}  // namespace tessera::logger
