#pragma once
// Drawing of the logger graph on any QPaintDevice: frame, over-range band, grid, legend
// lines, labels, info line, traces and cursor, in screen form (page pixels) or print form
// (dashed grid, small fonts, y stretched by 1.3), and the one-page printout. The texts it
// draws come from GraphTexts.h.

#include "logger/GraphTexts.h"
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

}  // namespace tessera::logger
