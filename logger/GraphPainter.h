#pragma once
// Drawing of the logger graph on any QPaintDevice: frame, over-range band, grid, legend
// lines, labels, info line, traces and cursor, in screen form (page pixels) or print form
// (dashed grid, small fonts, y stretched by 1.3), and the one-page printout. The texts it
// draws come from GraphTexts.h.

#include "logger/GraphTexts.h"
#include "logger/LoggerModel.h"
#include "logger/PageLayout.h"

#include <QRect>

class QPainter;
class QPaintDevice;

namespace tessera::logger {

struct GraphForm {
    const PageLayout* layout = &DefaultLayout();
    bool print = false;
    double stretch = 1.0;  // applied to every y of the graph parts
};

// Where the texts of the vertical axis go, in the coordinates `form` draws in: the value
// labels end at the layout's yLabelRight (in a smaller font where the widest would leave no
// room at the page's edge), and the turned mode caption stands left of the widest of them
// (about the layout's captionX where they leave room).
struct AxisTextBoxes {
    QRect values[3];         // bottom, full-scale line, top
    QRect caption;           // null for a mode without a caption
    int valueFontSize = 16;  // pixels
};
AxisTextBoxes PlaceAxisTexts(const LoggerModel& model, const GraphForm& form);

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
