#pragma once
// The Entire Read printout: the table as shown, with a title, a page label, a header row
// and a ruled grid, drawn from the model's print job (PrintJob.h). Drawing works on any
// paint device; paging on any paged one (a printer, a PDF).

#include "entire_read/PrintJob.h"

class QFont;
class QPainter;
class QPagedPaintDevice;

namespace tessera::entire_read {

// The printout's face with a character cell (ascent plus descent) of at most
// `cellHeight` pixels.
QFont PrintFont(int cellHeight);

// Draws page `pageIndex` (from 0). `shortSide` and `longSide` are the page's pixel sizes
// in portrait; the painter's device must already have the layout's orientation.
void DrawPage(QPainter& painter, const PrintJob& job, int pageIndex, int shortSide, int longSide);

// Sets the layout's orientation, then draws every page. False when painting could not
// start (the printer refused the document).
bool PrintTo(QPagedPaintDevice& device, const PrintJob& job);

}  // namespace tessera::entire_read
