#pragma once
// Drawing of the logger graph on any QPaintDevice: frame, over-range band, grid, legend
// lines, labels, info line, traces and cursor, in screen form (page pixels) or print form
// (dashed grid, small fonts, y stretched by 1.3), and the one-page printout.

#include "logger/LoggerModel.h"
#include "logger/PageLayout.h"

class QPainter;
class QPaintDevice;

namespace tessera::logger {

struct GraphForm {
    const PageLayout* layout = &DefaultLayout();
    bool print = false;
    double stretch = 1.0;  // applied to every y of the graph parts
};

// Everything but the cursor: frame, band, grid, legend lines, labels and all traces.
void PaintGraph(QPainter& p, const LoggerModel& model, const GraphForm& form);
// The segments ending at `slot` (a new sample of the run).
void PaintSegment(QPainter& p, const LoggerModel& model, const GraphForm& form, int slot);
// The orange cursor line over the plot's height.
void PaintCursor(QPainter& p, const LoggerModel& model, const GraphForm& form);

// The printout on one landscape page of `device`: the graph in print form, the title,
// the start line and the legend letters. The caller set up the device (landscape).
void PaintPrintout(QPaintDevice& device, const LoggerModel& model);

// "Start Time:   2012/05/03 (Thu.)  09:05:07"
std::string PrintStartLine(const StartTime& t);
// The Y-axis label of a value in the display unit fitting the top value ("2.0uT").
std::string AxisLabel(double value, char unit, double topValue);
// Left and right time labels of the visible window ("0s", "120s").
std::pair<std::string, std::string> TimeLabels(int periodIndex, int scrollDivision);
// "Fixed Range : 2.000uT    Sampling : Average    10s/div (about 4.4h)"
std::string InfoLine(const LoggerModel& model, bool print);

}  // namespace tessera::logger
