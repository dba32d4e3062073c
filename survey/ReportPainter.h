#pragma once
// The survey report drawn: the blocks of a report description (SurveyReport.h) set on pages
// of any paged device (a printer, a PDF writer), in the printouts' face. Headings stay with
// what follows them, tables and facts break between rows (a table's head repeats on the next
// page), graphs never break; every page carries the report's footer and "Page N of M".

#include <QPageSize>

#include "survey/SurveyReport.h"

class QLocale;
class QPagedPaintDevice;

namespace tessera::survey {

// The paper people use where `locale` is: Letter in the United States and the countries of
// the Americas that follow it, A4 everywhere else.
QPageSize ReportPaper(const QLocale& locale);

// Sets the device's margins, then draws every page. The number of pages, or 0 when painting
// could not start (the printer refused the document).
int PrintReport(QPagedPaintDevice& device, const SurveyReport& report);

}  // namespace tessera::survey
