#pragma once
// The Survey page: which data (the logger's, live during a run; the Entire Read table; files
// opened here), the quantity, unit, reference profile, frequency and thresholds, the
// statistics table for the whole series and the span between two cursors, the time graph and
// the histogram. Everything it decides comes from SurveyModel; this widget wires controls to
// it, reads files on a worker thread (with progress) and draws.

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "page/Prompter.h"
#include "survey/Export.h"
#include "survey/SurveyModel.h"
#include "survey/SurveyPainter.h"
#include "ui/SheetPage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tessera::entire_read {
class EntireRead;
}

namespace tessera::survey {

inline constexpr const char* kPageTitle = "     Survey     ";

class CSurvey : public ui::SheetPage {
    Q_OBJECT
public:
    // `model`: the page's model (a test's, with profiles of its own); one with the shipped and
    // the user's profiles when none is given.
    explicit CSurvey(page::Prompter& prompter, std::unique_ptr<SurveyModel> model = nullptr, QWidget* parent = nullptr);
    ~CSurvey() override;

    // Where the other pages' data are.
    void SetLogger(const logger::LoggerModel* logger);
    void SetEntireReadCount(std::function<unsigned()> recordCount) { entireReadCount_ = std::move(recordCount); }
    // During a logging run "Mark" sets a mark (its text, at the present sample) through `mark`.
    void SetMarker(std::function<bool(const std::string&)> mark) { marker_ = std::move(mark); }
    // The Entire Read page's records, whose notes "Notes..." edits (survey/CRecordNotes.h).
    void SetEntireRead(entire_read::EntireRead* model) { entireRead_ = model; }

    // The logger's data changed (a sample, a run, a file); cheap when nothing new is there.
    void LoggerChanged();
    void Refresh() override;

    // Reads files in the background; the page shows them when they are read.
    void OpenFiles(const std::vector<std::string>& paths);
    bool Reading() const { return reader_.joinable(); }

    SurveyModel& Model() { return *model_; }
    QTableWidget* Table() const { return table_; }
    QRadioButton* LoggerButton() const { return loggerSource_; }
    QRadioButton* EntireReadButton() const { return entireSource_; }
    QRadioButton* FilesButton() const { return filesSource_; }
    QPushButton* OpenButton() const { return open_; }
    QPushButton* CopyButton() const { return copy_; }
    // "Export..." offers the open forms (a menu), then a file; the export runs beside the window.
    QPushButton* ExportButton() const { return export_; }
    // Writes what the page shows to `path` in `form` in the background (FilesExported follows).
    void ExportTo(ExportForm form, const std::string& path);
    bool Exporting() const { return exporter_.joinable(); }
    QPushButton* ReportButton() const { return report_; }
    QLineEdit* MarkEdit() const { return markText_; }
    QPushButton* MarkButton() const { return mark_; }
    QPushButton* NotesButton() const { return recordNotes_; }
    QComboBox* QuantityBox() const { return quantity_; }
    QComboBox* UnitBox() const { return unit_; }
    QComboBox* ReferenceBox() const { return reference_; }
    QLineEdit* FrequencyEdit() const { return frequency_; }
    QLineEdit* ThresholdEdit() const { return thresholds_; }
    QWidget* Graph() const;
    QPlainTextEdit* Notes() const { return notes_; }
    // The page's text as "Copy" puts it on the clipboard.
    std::string PageText() const { return model_->PageText(); }
    // Places the cursors at two columns of the graph's plot (what a drag does).
    void SelectColumns(int from, int to);

signals:
    // A file read finished (shown or refused).
    void FilesRead();
    // An export finished (written, refused or stopped).
    void FilesExported();

protected:
    // Ctrl+C in the table copies the selected cells as tab-separated text.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TimeGraph;
    class HistogramView;

    void Sync();
    void SyncTable();
    void OnOpen();
    void OnFilesRead(std::shared_ptr<std::variant<Series, std::string>> result);
    void StopReading();
    void OnExport(ExportForm form);
    void OnExported(const std::string& message, bool failed);
    void StopExporting();
    void OnMark();
    void OnRecordNotes();
    void SyncMarkAndNotes();  // which of "Mark" and "Notes..." can be used now

    page::Prompter& prompter_;
    std::unique_ptr<SurveyModel> ownModel_;
    SurveyModel* model_;
    std::function<unsigned()> entireReadCount_;
    GraphMarks marks_;
    const logger::LoggerModel* logger_ = nullptr;
    std::function<bool(const std::string&)> marker_;
    entire_read::EntireRead* entireRead_ = nullptr;
    QLineEdit* markText_ = nullptr;
    QPushButton* mark_ = nullptr;
    QPushButton* recordNotes_ = nullptr;

    QRadioButton* loggerSource_ = nullptr;
    QRadioButton* entireSource_ = nullptr;
    QRadioButton* filesSource_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* report_ = nullptr;
    QLabel* sourceText_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QComboBox* quantity_ = nullptr;
    QComboBox* unit_ = nullptr;
    QComboBox* reference_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QLineEdit* thresholds_ = nullptr;
    QTableWidget* table_ = nullptr;
    TimeGraph* graph_ = nullptr;
    HistogramView* histogram_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    bool syncing_ = false;

    std::thread reader_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::thread exporter_;
    std::shared_ptr<std::atomic<bool>> exportCancel_;
};

}  // namespace tessera::survey
