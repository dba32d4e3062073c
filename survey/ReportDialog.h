#pragma once
// "Report..." on the Survey page: the person fills in the report's free-text fields, chooses a
// printer (or a PDF file), and the report of what the page shows is printed through the same
// path as the pages' printouts, on the locale's paper unless the printer was set to another.

#include <QDialog>
#include <string>

#include "entire_read/RecordNotes.h"
#include "page/Prompter.h"
#include "survey/SurveyModel.h"
#include "survey/SurveyReport.h"

class QLineEdit;
class QPlainTextEdit;

namespace tessera::survey {

class ReportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReportDialog(QWidget* parent = nullptr);
    // The fields as typed (the rest of ReportFields is left as it was in `base`).
    ReportFields Fields(ReportFields base) const;

private:
    QLineEdit *title_, *site_, *client_, *operator_, *serial_, *calibration_;
    QPlainTextEdit* remarks_;
};

// What the page shows as the report's data: the logger's run (with its marks), the Entire
// Read table, or the files opened (read again from their files, so each file's header and
// sidecars come along). `fields` takes the page's reference, frequency, thresholds and unit.
// The message says why there is nothing to report, else empty.
// `tableNotes` and `tableFile`: the Entire Read page's notes and the file its records came from.
struct EntireReadTable {
    unsigned count = 0;
    const entire_read::RecordNoteMap* notes = nullptr;
    std::string file;
};
std::string PageReportInput(const SurveyModel& model, const EntireReadTable& table, ReportInput& input);

// Builds the report and prints it on the printer the person chooses. False when nothing
// was printed (nothing to report, the choice was cancelled, the printer refused).
bool PrintPageReport(page::Prompter& prompter, const SurveyModel& model, const EntireReadTable& table,
                     const ReportFields& typed);

}  // namespace tessera::survey
