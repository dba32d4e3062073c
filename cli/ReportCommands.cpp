// tessera-cli "report": the survey report in one step. Logger files (rollover parts joined)
// and Entire Read files become one PDF a client can be handed: the cover, the instrument,
// the method, each run's statistics and graph against the reference, the stored records with
// their notes, and what the figures do and do not show. It is drawn by the same code that
// prints it from the Survey page.

#include <QDate>
#include <QLocale>
#include <QPdfWriter>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TesseraVersion.h"
#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/ExitCodes.h"
#include "cli/JudgingWords.h"
#include "cli/PdfOutput.h"
#include "cli/Terminal.h"
#include "link/Accuracy.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "survey/ReportPainter.h"
#include "survey/SurveyReport.h"

namespace tessera::cli {
namespace {

using namespace survey;

constexpr const char* kReportUsage =
    "report FILE... [--title T] [--site S] [--client C] [--operator O] [--remarks FILE] [--reference NAME|VALUE] "
    "[--frequency HZ] [--threshold V]... [--unit U] [--serial N] [--calibration TEXT] [--paper a4|letter] "
    "-o REPORT.pdf   a survey report of logger files and Entire Read files, as PDF";
constexpr const char* kReportNotes =
    "FILE: logger CSV files (NAME.CSV brings NAME-002.CSV, ... along; each is one logging run) and Entire\n"
    "Read CSV files, in any mix; their markers and notes (NAME.marks.csv, NAME.notes.csv) come along.\n"
    "--remarks: a UTF-8 text file whose lines go below the cover. --reference: a profile of\n"
    "\"tessera-cli references\" or a value (0.4uT), judged at --frequency (50 Hz unless given).\n"
    "The paper is the locale's (Letter in the United States and Canada, else A4) unless --paper names it.";

struct ReportWords {
    std::vector<std::string> files, thresholds;
    std::string title, site, client, operatorName, remarks, reference, frequency, unit, serial, calibration, paper,
        output;
};

int Report(const CommandLine& line, const ReportWords& w) {
    if (w.files.empty()) return line.UsageError("no file was given");
    ReportInput input;
    ReportFields& f = input.fields;
    f.title = w.title;
    f.site = w.site;
    f.client = w.client;
    f.operatorName = w.operatorName;
    f.serial = w.serial;
    f.calibration = w.calibration;
    f.software = std::string("TESSERA ") + TESSERA_VERSION;
    Judging judging;
    if (const int status = ReadJudging(line, w.frequency, w.thresholds, w.reference, judging); status != kOk)
        return status;
    if (judging.frequencyHz) f.frequencyHz = *judging.frequencyHz;
    f.thresholds = judging.thresholds;
    f.reference = judging.reference;
    if (line.Given("--unit")) {
        f.unit = UnitNamed(w.unit);
        if (!f.unit) return line.UsageError("unknown unit \"" + w.unit + "\"");
    }
    std::optional<QPageSize> paper;
    if (line.Given("--paper")) {
        if (w.paper == "a4" || w.paper == "A4") paper = QPageSize(QPageSize::A4);
        else if (w.paper == "letter" || w.paper == "Letter") paper = QPageSize(QPageSize::Letter);
        else return line.UsageError("--paper is a4 or letter");
    }
    if (line.Given("--remarks")) {
        std::ifstream in = platform::OpenInput(w.remarks);
        if (!in) {
            std::cerr << page::FileNotFoundMessage(w.remarks) << '\n';
            return kFailed;
        }
        f.remarks.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        while (!f.remarks.empty() && (f.remarks.back() == '\n' || f.remarks.back() == '\r')) f.remarks.pop_back();
    }

    auto read = ReadReportSources(w.files);
    if (const auto* message = std::get_if<std::string>(&read)) {
        std::cerr << *message << '\n';
        return kFailed;
    }
    auto& sources = std::get<ReadSources>(read);
    // A report written over one of the files it reports on would destroy the survey.
    auto isInput = [&](const std::string& name) { return platform::SameFile(w.output, name); };
    bool overInput = line.Given("--remarks") && isInput(w.remarks);
    for (const RunInput& run : sources.runs)
        for (const Part& p : run.series.Parts()) overInput = overInput || isInput(p.source);
    for (const TableInput& table : sources.tables) overInput = overInput || isInput(table.name);
    if (overInput) {
        std::cerr << "\"" << w.output << "\" is one of the files reported on; choose another name.\n";
        return kFailed;
    }
    // The stored records' accuracy bands come from the meter's accuracy table.
    if (!sources.tables.empty() && link::LoadAccuracyTable() != link::kStatusOk)
        std::cerr << "accuracy.dat could not be read: the records' accuracy bands are left out.\n";
    input.runs = std::move(sources.runs);
    input.tables = std::move(sources.tables);

    const auto app = GuiApplicationForPrinting();
    f.date = QDate::currentDate().toString(Qt::ISODate).toStdString();
    const SurveyReport report = BuildReport(input);

    // The PDF is made in memory and then takes the file's place in one step, so a failed
    // write never leaves half a report (or destroys an older one).
    int pages = 0;
    std::string error;
    const bool written = WritePdf(
        w.output, QString::fromStdString(report.documentName),
        [&](QPdfWriter& writer) {
            writer.setPageSize(paper.value_or(ReportPaper(QLocale())));
            pages = PrintReport(writer, report);
            return pages > 0;
        },
        &error);
    if (!written) {
        if (!error.empty()) std::cerr << error << '\n';
        return FileNotWritten(w.output);
    }
    std::cout << w.output << " (" << pages << (pages == 1 ? " page" : " pages") << ")\n";
    for (const std::string& problem : judging.book.Problems()) std::cerr << problem << '\n';
    return kOk;
}

}  // namespace

void AddReportCommands(Registry& registry) {
    registry.Add(
        {"report", kReportUsage, kReportNotes,
         [](CommandLine& line) -> CommandRun {
             auto w = std::make_shared<ReportWords>();
             line.Words("FILE", w->files, "logger CSV files (each NAME.CSV one run) and Entire Read CSV files");
             line.Value("--title", w->title, "T", "a title", "the report's title");
             line.Value("--site", w->site, "S", "a text", "where the survey was made");
             line.Value("--client", w->client, "C", "a text", "for whom");
             line.Value("--operator", w->operatorName, "O", "a name", "who measured");
             line.Value("--remarks", w->remarks, "FILE", "a file name", "a text file of remarks for the cover");
             line.Value("--reference", w->reference, "NAME|VALUE", "a profile or a value", "judge against a reference");
             line.Value("--frequency", w->frequency, "HZ", "a frequency", "the field's frequency (50 Hz unless given)");
             line.Values("--threshold", w->thresholds, "V", "a value",
                         "a further line on the graphs (may be given again)");
             line.Value("--unit,-u", w->unit, "U", "a unit", "the unit values are shown in");
             line.Value("--serial", w->serial, "N", "a serial number", "the meter's serial number");
             line.Value("--calibration", w->calibration, "TEXT", "a text",
                        "the meter's calibration (date, certificate)");
             line.Value("--paper", w->paper, "a4|letter", "a4 or letter", "the paper (the locale's unless given)");
             line.Value("-o,--output", w->output, "REPORT.pdf", "a file name", "the PDF file to write");
             line.Require("-o");
             return [&line, w] { return Report(line, *w); };
         },
         kFileExits});
}

}  // namespace tessera::cli
