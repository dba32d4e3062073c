#pragma once
// What the Entire Read printout prints, as data: the layout and the cells of every row, and
// how they fall on pages. The model makes it; the printout (EntireReadPrint.h) draws it.

#include <string>
#include <vector>

namespace tessera::entire_read {

inline constexpr const char* kPrintTitle = "TAVIK QM8620 Entire Read";
inline constexpr const char* kPrintDocumentName = "ERPrint";

enum class PrintLayout { Rxyz, DisplayedValue };

struct PrintJob {
    PrintLayout layout = PrintLayout::Rxyz;
    // Cell texts of each row in the layout's column order (12 or 7 cells).
    std::vector<std::vector<std::string>> rows;
};

// Rxyz prints landscape with 38 rows a page, Displayed Value portrait with 60.
int RowsPerPage(PrintLayout layout);
int PageCount(const PrintJob& job);
// "page 1" on the first page, "Page 2", "Page 3" ... after it.
std::string PageLabel(int pageIndex);

}  // namespace tessera::entire_read
