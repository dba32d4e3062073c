#pragma once
// The Entire Read printout: the table as shown, with a title, a page label, a header row
// and a ruled grid. Rxyz prints landscape with 38 rows a page, Displayed Value portrait
// with 60. Drawing works on any paint device; paging on any paged one (a printer, a PDF).

#include <string>
#include <vector>

class QFont;
class QPainter;
class QPagedPaintDevice;

namespace tessera::entire_read {

inline constexpr const char* kPrintTitle = "TAVIK QM8620 Entire Read";
inline constexpr const char* kPrintDocumentName = "ERPrint";

enum class PrintLayout { Rxyz, DisplayedValue };

struct PrintJob {
    PrintLayout layout = PrintLayout::Rxyz;
    // Cell texts of each row in the layout's column order (12 or 7 cells).
    std::vector<std::vector<std::string>> rows;
};

int RowsPerPage(PrintLayout layout);
int PageCount(const PrintJob& job);
// "page 1" on the first page, "Page 2", "Page 3" ... after it.
std::string PageLabel(int pageIndex);

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
