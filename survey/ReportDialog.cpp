#include "survey/ReportDialog.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <sstream>

#include "TesseraVersion.h"
#include "entire_read/DisplayRule.h"
#include "link/Stores.h"
#include "logger/LoggerModel.h"
#include "logger/LoggerTables.h"
#include "survey/ReportPainter.h"
#include "ui/QtPrompter.h"

namespace tessera::survey {
namespace {

std::string S(const QString& s) { return s.trimmed().toStdString(); }

}  // namespace

ReportDialog::ReportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Survey report"));
    title_ = new QLineEdit(this);
    title_->setPlaceholderText(QStringLiteral("Magnetic field survey"));
    site_ = new QLineEdit(this);
    client_ = new QLineEdit(this);
    operator_ = new QLineEdit(this);
    serial_ = new QLineEdit(this);
    calibration_ = new QLineEdit(this);
    calibration_->setPlaceholderText(QStringLiteral("date and certificate"));
    remarks_ = new QPlainTextEdit(this);
    remarks_->setTabChangesFocus(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Title"), title_);
    form->addRow(QStringLiteral("Site"), site_);
    form->addRow(QStringLiteral("Client"), client_);
    form->addRow(QStringLiteral("Surveyed by"), operator_);
    form->addRow(QStringLiteral("Serial number"), serial_);
    form->addRow(QStringLiteral("Calibration"), calibration_);
    form->addRow(QStringLiteral("Remarks"), remarks_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Print..."));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(520, sizeHint().height());
}

ReportFields ReportDialog::Fields(ReportFields base) const {
    base.title = S(title_->text());
    base.site = S(site_->text());
    base.client = S(client_->text());
    base.operatorName = S(operator_->text());
    base.serial = S(serial_->text());
    base.calibration = S(calibration_->text());
    base.remarks = S(remarks_->toPlainText());
    return base;
}

std::string PageReportInput(const SurveyModel& model, const EntireReadTable& table, ReportInput& input) {
    ReportFields& f = input.fields;
    f.reference = model.Reference();
    f.frequencyHz = model.Frequency();
    f.unit = model.ShownUnit();
    std::istringstream thresholds(model.ThresholdText());
    for (std::string t; std::getline(thresholds, t, ',');) {
        auto v = ParseTypedValue(t);
        if (!v) continue;
        if (!v->unit) v->unit = model.ShownUnit();
        f.thresholds.push_back(*v);
    }
    const Series& shown = model.Shown();
    if (shown.Empty()) return "There is no data to report.";
    switch (model.CurrentSource()) {
        case Source::Logger: {
            RunInput run = RunFromSeries(shown, LiveLogger::SourceName());
            if (const logger::LoggerModel* logger = model.Logger()) {
                const settings::MeterSettings& record = logger->RecordInForce();
                run.range = std::string(record.range >= 10 ? "auto, " : "fixed, ") +
                            logger::RangeText(record.unit, record.range % 10);
                run.method = logger::MethodText(logger->DataMethod());
                const char sensor = logger->Marks().sensor;
                if (sensor == '1' || sensor == '2') run.sensor = sensor == '1' ? "8621" : "8622";
            }
            input.runs.push_back(std::move(run));
            return {};
        }
        case Source::EntireRead: {
            TableInput t;
            t.name = table.file.empty() ? std::string("Entire Read") : table.file;
            const unsigned n = std::min<unsigned>(table.count, entire_read::kMaxRecords);
            if (table.notes)
                for (const auto& [number, note] : *table.notes)
                    t.notes.push_back({number, note.location, note.height, note.source, note.note});
            t.records.assign(link::memoryStore.begin(), link::memoryStore.begin() + n);
            t.values.assign(entire_read::recordValues.begin(), entire_read::recordValues.begin() + n);
            input.tables.push_back(std::move(t));
            return {};
        }
        case Source::Files: {
            std::vector<std::string> paths;
            for (const Part& p : shown.Parts())
                if (paths.empty() || paths.back() != p.source) paths.push_back(p.source);
            auto read = ReadReportSources(paths);
            if (const auto* message = std::get_if<std::string>(&read)) return *message;
            auto& sources = std::get<ReadSources>(read);
            input.runs = std::move(sources.runs);
            input.tables = std::move(sources.tables);
            return {};
        }
    }
    return {};
}

bool PrintPageReport(page::Prompter& prompter, const SurveyModel& model, const EntireReadTable& table,
                     const ReportFields& typed) {
    ReportInput input;
    if (const std::string problem = PageReportInput(model, table, input); !problem.empty()) {
        prompter.Inform(problem);
        return false;
    }
    const ReportFields fromPage = input.fields;
    input.fields = typed;
    input.fields.reference = fromPage.reference;
    input.fields.frequencyHz = fromPage.frequencyHz;
    input.fields.unit = fromPage.unit;
    input.fields.thresholds = fromPage.thresholds;
    input.fields.date = QDate::currentDate().toString(Qt::ISODate).toStdString();
    input.fields.software = std::string("TESSERA ") + TESSERA_VERSION;
    const SurveyReport report = BuildReport(input);
    auto choice = prompter.ChoosePrinter({report.documentName});
    if (!choice) return false;
    const auto printer = ui::MakePrinter(*choice, report.documentName);
    // The locale's paper unless the person chose another in the print dialog.
    if (choice->paperWidthMm <= 0) printer->setPageSize(ReportPaper(QLocale()));
    printer->setPageOrientation(QPageLayout::Portrait);
    return PrintReport(*printer, report) > 0;
}

}  // namespace tessera::survey
