#include "entire_read/PrintJob.h"

#include <algorithm>

namespace tessera::entire_read {

int RowsPerPage(PrintLayout layout) { return layout == PrintLayout::Rxyz ? 38 : 60; }

int PageCount(const PrintJob& job) {
    const int perPage = RowsPerPage(job.layout);
    const int rows = static_cast<int>(job.rows.size());
    return std::max(1, (rows + perPage - 1) / perPage);
}

std::string PageLabel(int pageIndex) { return (pageIndex == 0 ? "page " : "Page ") + std::to_string(pageIndex + 1); }

}  // namespace tessera::entire_read
