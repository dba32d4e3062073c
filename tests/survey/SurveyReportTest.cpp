// The survey report: its description built from small data (sections in order, each record's
// share of the reference with its own notes, thresholds and markers carried to the graph, the
// chosen frequency in the closing words), its sources read from files as a survey leaves them,
// and one report drawn into a PDF and read back.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "entire_read/EntireReadModel.h"
#include "entire_read/RecordNotes.h"
#include "link/Accuracy.h"
#include "logger/LoggerCsv.h"
#include "logger/RunMarks.h"
#include "logger/Survey.h"
#include "survey/ReportDialog.h"
#include "survey/ReportPainter.h"
#include "survey/Sources.h"
#include "survey/SurveyReport.h"
#include "tests/support/LogHeaders.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"

namespace tessera::survey {
namespace {

using testing::TempDir;
using testing::WriteAll;

constexpr const char* kEntireReadHeader =
    "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
    "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n";

// Three records in uT: 20 uT, an over-range one, 50 uT; sensor 8622.
constexpr const char* kRecords =
    "1,Magnetic Flux Density(10Hz-400kHz),R,uT,200.0uT,0.00,0.00,20.0,20.0,OFF,OFF,8622,21,19\r\n"
    "2,Magnetic Flux Density(10Hz-400kHz),R,uT,200.0uT,O.L.,1.0,1.0,O.L.,OFF,OFF,8622,O.L.,O.L.\r\n"
    "3,Magnetic Flux Density(10Hz-400kHz),R,uT,200.0uT,0.00,30.0,40.0,50.0,OFF,OFF,8622,52,48\r\n";

// A logger file of `n` samples at 1 s on the fixed 20 uT range, averaged; sample i has R = (1 + i) µT.
void WriteLog(const std::string& path, logger::StartTime start, int n) {
    auto h = tessera::testing::TeslaLogHeader(start, 3, 1);
    std::vector<link::LogSample> samples;
    for (int i = 0; i < n; ++i) samples.push_back({i, (1.0 + i) * 1e-6, 0, 0, (1.0 + i) * 1e-6});
    ASSERT_TRUE(logger::WriteLogFile(path, h, samples.data(), n - 1));
}

// The shipped profile, as the program reads it.
Profile Icnirp2010Public() {
    ProfileBook book;
    book.Add(ParseProfiles(testing::ReadAll(TESSERA_REFERENCES_PATH), "references.txt"));
    return book.Find("icnirp2010-public").value();
}

std::vector<std::string> Headings(const SurveyReport& r) {
    std::vector<std::string> out;
    for (const Block& b : r.blocks)
        if (b.kind == Block::Heading || b.kind == Block::Title) out.push_back(b.text);
    return out;
}

const Block* Find(const SurveyReport& r, Block::Kind kind, std::size_t nth = 0) {
    for (const Block& b : r.blocks)
        if (b.kind == kind && nth-- == 0) return &b;
    return nullptr;
}

std::string FactText(const Block& facts, const std::string& label) {
    for (const Row& row : facts.facts)
        if (row.label == label) return row.text;
    return "<none>";
}

class SurveyReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteLog(dir_.File("night.CSV"), {2024, 3, 1, 5, 22, 0, 0}, 5);
        WriteAll(dir_.File("memory.CSV"), std::string(kEntireReadHeader) + kRecords);
    }
    ReportInput Input() {
        auto read = ReadReportSources({dir_.File("night.CSV"), dir_.File("memory.CSV")});
        EXPECT_TRUE(std::holds_alternative<ReadSources>(read)) << std::get<std::string>(read);
        auto& sources = std::get<ReadSources>(read);
        ReportInput in;
        in.runs = std::move(sources.runs);
        in.tables = std::move(sources.tables);
        in.fields.title = "Flat 3, bedroom";
        in.fields.site = "Main Street 1";
        in.fields.reference = Icnirp2010Public();
        return in;
    }
    TempDir dir_;
};

// Catches a section left out, reordered, or a run's and a table's sections swapped; the
// cover leaving out an empty field and the sensor taken from the records.
TEST_F(SurveyReportTest, SectionsComeInTheirOrderWithTheCoverAndInstrument) {
    const SurveyReport r = BuildReport(Input());
    EXPECT_EQ(Headings(r),
              (std::vector<std::string>{"Flat 3, bedroom", "Instrument", "Method", "Logging run 1: night.CSV",
                                        "Stored records: memory.CSV", "Reading these figures"}));
    const Block* cover = Find(r, Block::Facts, 0);
    ASSERT_TRUE(cover);
    EXPECT_EQ(FactText(*cover, "Site"), "Main Street 1");
    EXPECT_EQ(FactText(*cover, "Client"), "<none>");  // not given: no empty line
    EXPECT_EQ(FactText(*cover, "Measured"), "2024-03-01 22:00:00 to 2024-03-01 22:00:04");
    const Block* instrument = Find(r, Block::Facts, 1);
    EXPECT_EQ(FactText(*instrument, "Sensor"), "8622");
    EXPECT_EQ(FactText(*instrument, "Serial number"), "not stated");
    // The method names the run's sampling as its header gives it.
    const Block* method = Find(r, Block::Table, 0);
    ASSERT_TRUE(method);
    ASSERT_EQ(method->table.rows.size(), 2u);
    EXPECT_EQ(method->table.rows[0][2], "fixed, 20.00uT");
    EXPECT_EQ(method->table.rows[0][3], "every 1 s, Average");
    EXPECT_EQ(method->table.rows[1][3], "3 stored record(s)");
}

// Catches a share of the limit computed in the wrong unit (tesla against microtesla), an
// "O.L." record given a share, and a note put on the neighbouring record.
TEST_F(SurveyReportTest, EachRecordHasItsShareOfTheReferenceAndItsOwnNotes) {
    ReportInput in = Input();
    in.tables.at(0).notes = {{3, "bed, head end", "0.5 m", "cable, 1 m", "door open"}};
    const SurveyReport r = BuildReport(in);
    const Block* records = Find(r, Block::Table, 1);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->table.rows.size(), 3u);
    EXPECT_EQ(records->table.rows[0][3], "10");  // 20 uT of 200 uT
    EXPECT_EQ(records->table.rows[1][1], "O.L.");
    EXPECT_EQ(records->table.rows[1][3], "\xE2\x80\x93");
    EXPECT_EQ(records->table.rows[2][3], "25");
    EXPECT_EQ(records->table.rows[0][4], "");
    EXPECT_EQ(records->table.rows[2][4], "bed, head end");
    EXPECT_EQ(records->table.rows[2][7], "door open");

    // An exposure level among flux densities says its own unit, and has no share of a limit.
    WriteAll(dir_.File("memory.CSV"),
             std::string(kEntireReadHeader) + kRecords +
                 "4,Exposure Level(General Public),R,%,200.0%,0.00,0.00,12.5,12.5,OFF,OFF,8622,13,12\r\n");
    const SurveyReport mixed = BuildReport(Input());
    const Block* rows = Find(mixed, Block::Table, 1);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->table.rows.size(), 4u);
    EXPECT_EQ(rows->table.rows[3][1].substr(rows->table.rows[3][1].size() - 2), " %") << rows->table.rows[3][1];
    EXPECT_EQ(rows->table.rows[3][3], "\xE2\x80\x93");
    EXPECT_EQ(rows->table.rows[0][1].find('%'), std::string::npos);

    // A damaged line of the notes' sidecar is owned up to by the sidecar's name, never by the
    // folders of the surveyor's computer.
    WriteAll(dir_.File("memory.notes.csv"), "no,location,height,source,note\r\n3,\"never closed\r\n1,hall,,,\r\n");
    const SurveyReport damaged = BuildReport(Input());
    std::string said;
    for (const Block& b : damaged.blocks)
        if (b.kind == Block::Small) said += b.text + "\n";
    EXPECT_NE(said.find("memory.notes.csv: 1 line could not be read."), std::string::npos) << said;
    EXPECT_EQ(said.find(dir_.Path()), std::string::npos) << said;
}

// Catches thresholds drawn in the wrong unit, markers lost on the way to the graph, a
// reference missing from the run's statistics, and a closing line that names 50 Hz whatever
// was chosen.
TEST_F(SurveyReportTest, TheRunCarriesItsReferenceThresholdsMarkersAndTheChosenFrequency) {
    ReportInput in = Input();
    in.fields.frequencyHz = 60;
    in.fields.thresholds = {*ParseTypedValue("2000nT")};
    in.runs.at(0).markers = {{3, "heater on"}};
    const SurveyReport r = BuildReport(in);
    const Block* graph = Find(r, Block::Graph);
    ASSERT_TRUE(graph);
    EXPECT_EQ(graph->graph.unit.name, "uT");
    ASSERT_EQ(graph->graph.thresholds.size(), 1u);
    EXPECT_DOUBLE_EQ(graph->graph.thresholds[0], 2.0);
    ASSERT_EQ(graph->graph.markers.size(), 1u);
    EXPECT_EQ(graph->graph.markers[0].sample, 3u);
    ASSERT_TRUE(graph->graph.reference);
    const Block* marks = Find(r, Block::Table, 1);  // after the method, the run's markers
    ASSERT_TRUE(marks);
    ASSERT_EQ(marks->table.rows.size(), 1u);
    EXPECT_EQ(marks->table.rows[0][0], "heater on");
    EXPECT_EQ(marks->table.rows[0][1], "4");  // the file's NO
    EXPECT_EQ(marks->table.rows[0][2], "2024-03-01 22:00:03");
    EXPECT_EQ(marks->table.rows[0][3], "4.000");       // R there, in uT
    ASSERT_EQ(graph->graph.series->marks.size(), 1u);  // what the graph draws
    EXPECT_EQ(graph->graph.series->marks[0].sample, 3u);
    const Block* stats = Find(r, Block::Facts, 3);
    ASSERT_TRUE(stats);
    EXPECT_EQ(FactText(*stats, "Limit"), "200.0 uT");
    EXPECT_EQ(FactText(*stats, "Maximum of limit"), "2.500 %");  // 5 uT of 200 uT
    const Block& closing = r.blocks.back();
    EXPECT_NE(closing.text.find("60 Hz"), std::string::npos) << closing.text;
    EXPECT_EQ(closing.text.find("50 Hz"), std::string::npos) << closing.text;
}

// Catches a rollover part named on the command line (as a shell's NAME*.CSV does) read a
// second time as a run of its own, and a mark of a later part put at its slot in the first
// part instead of its place in the joined run.
TEST_F(SurveyReportTest, PartsGivenByNameStayInTheirRunWithTheirMarks) {
    const std::string second = logger::SurveyPartPath(dir_.File("night.CSV"), 2);
    WriteLog(second, {2024, 3, 1, 5, 22, 0, 5}, 3);
    logger::RunMarks marks;
    marks.sensor = '1';
    marks.marks = {{1, {}, "heater on"}};
    ASSERT_TRUE(logger::WriteMarksFile(second, marks, 2));
    auto read = ReadReportSources({dir_.File("night.CSV"), second});
    ASSERT_TRUE(std::holds_alternative<ReadSources>(read)) << std::get<std::string>(read);
    const ReadSources& s = std::get<ReadSources>(read);
    ASSERT_EQ(s.runs.size(), 1u);
    EXPECT_EQ(s.runs[0].series.Size(), 8u);
    ASSERT_EQ(s.runs[0].markers.size(), 1u);
    EXPECT_EQ(s.runs[0].markers[0].sample, 6u);  // 5 samples of the first part, then the second's slot 1
    EXPECT_EQ(s.runs[0].markers[0].text, "heater on");
    EXPECT_EQ(s.runs[0].sensor, "8621");
    auto missing = ReadReportSources({dir_.File("none.CSV")});
    ASSERT_TRUE(std::holds_alternative<std::string>(missing));
    EXPECT_NE(std::get<std::string>(missing).find("none.CSV"), std::string::npos);
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// One report as a user makes it, read back from the PDF: every section in order on its
// pages, the numbers and texts of the data, the page count in the footer, the locale's paper.
// Catches a section the model has but the painter drops (or draws over the page's end), a
// footer counting the pages wrong, and the paper taken from anything but the locale.
TEST_F(SurveyReportTest, ThePdfHoldsEverySectionInOrderOnTheLocalesPaper) {
    const std::string pdf = dir_.File("report.pdf");
    const std::string command = "LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 '" + std::string(TESSERA_CLI_PATH) + "' report '" +
                                dir_.File("night.CSV") + "' '" + dir_.File("memory.CSV") +
                                "' --title 'Flat 3, bedroom' --site 'Main Street 1' --client 'J. Muller' "
                                "--calibration '2026-01-14, cert. 1234' --reference icnirp2010-public -o '" +
                                pdf + "' 2>&1";
    entire_read::RecordNoteMap notes;
    notes[3] = {"Kitchen, by the fridge", "1.0 m", "fridge, 0.5 m", "door open"};
    ASSERT_TRUE(entire_read::WriteNotes(dir_.File("memory.CSV"), notes));
    const std::string said = Shell(command);
    ASSERT_NE(said.find("report.pdf"), std::string::npos) << said;
    const std::string info = Shell("pdfinfo '" + pdf + "'");
    ASSERT_NE(info.find("612 x 792 pts"), std::string::npos) << info;  // Letter
    int pages = 0;
    std::sscanf(info.substr(info.find("Pages:") + 6).c_str(), "%d", &pages);
    ASSERT_GE(pages, 1) << info;
    const std::string text = Shell("pdftotext -layout '" + pdf + "' -");
    std::size_t at = 0;
    for (const char* part :
         {"Flat 3, bedroom", "Main Street 1", "J. Muller", "Instrument", "8622", "2026-01-14, cert. 1234", "Method",
          "Logging run 1: night.CSV", "ICNIRP 2010", "Stored records: memory.CSV", "O.L.", "25", "Kitchen, by the",
          "door open", "Reading these", "50 Hz"}) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "\"" << part << "\" missing or out of order in:\n" << text;
        at = found;
    }
    ASSERT_GE(pages, 2) << "the data fill more than one page";
    for (int page = 1; page <= pages; ++page)
        EXPECT_NE(text.find("Page " + std::to_string(page) + " of " + std::to_string(pages)), std::string::npos)
            << text;
    EXPECT_EQ(text.find("Page " + std::to_string(pages + 1)), std::string::npos);

    // The same in Germany: A4.
    Shell("LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 '" + std::string(TESSERA_CLI_PATH) + "' report '" +
          dir_.File("memory.CSV") + "' -o '" + pdf + "'");
    EXPECT_NE(Shell("pdfinfo '" + pdf + "'").find("(A4)"), std::string::npos);
}

// A table longer than a page, drawn in-process: every record's row is somewhere, and each
// page the table runs onto starts with its head again. Catches rows lost or drawn past the
// foot at a page break, and a head that is not repeated.
TEST_F(SurveyReportTest, ALongTableBreaksBetweenRowsAndRepeatsItsHead) {
    std::string records = kEntireReadHeader;
    for (int i = 1; i <= 99; ++i) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "%d,Magnetic Flux Density(10Hz-400kHz),R,uT,200.0uT,0.0,0.0,%d.5,%d.5,OFF,OFF,8621,1,1\r\n", i, i,
                      i);
        records += line;
    }
    WriteAll(dir_.File("long.CSV"), records);
    auto read = ReadReportSources({dir_.File("long.CSV")});
    ASSERT_TRUE(std::holds_alternative<ReadSources>(read));
    ReportInput in;
    in.tables = std::move(std::get<ReadSources>(read).tables);
    const std::string pdf = dir_.File("long.pdf");
    int pages = 0;
    {
        QPdfWriter writer(QString::fromStdString(pdf));
        writer.setPageSize(QPageSize(QPageSize::A4));
        pages = PrintReport(writer, BuildReport(in));
    }
    ASSERT_GE(pages, 3);
    std::set<std::string> words;
    int heads = 0;
    for (int page = 1; page <= pages; ++page) {
        std::istringstream text(
            Shell("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf + "' -"));
        bool rows = false, head = false;
        for (std::string w; text >> w;) {
            words.insert(w);
            head |= w == "Location";
            rows |= w.size() > 2 && w.compare(w.size() - 2, 2, ".5") == 0;
        }
        EXPECT_TRUE(head || !rows) << "page " << page << " has rows without the table's head";
        heads += head ? 1 : 0;
    }
    EXPECT_GE(heads, 2);
    for (int i = 1; i <= 99; ++i) EXPECT_TRUE(words.count(std::to_string(i) + ".5")) << "record " << i << " is missing";
}

// Wrong words are usage errors (status 2), a missing remarks file a failure (1) that names
// it, and no PDF is left behind either way. Catches an unknown paper taken as A4 silently.
TEST_F(SurveyReportTest, TheCommandRefusesWhatItCannotUse) {
    const std::string cli = "'" + std::string(TESSERA_CLI_PATH) + "' report '" + dir_.File("memory.CSV") + "' -o '" +
                            dir_.File("r.pdf") + "' ";
    EXPECT_EQ(WEXITSTATUS(std::system((cli + "--paper a5 2>/dev/null").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((cli + "--reference nothing-such 2>/dev/null").c_str())), 2);
    const std::string said = Shell(cli + "--remarks '" + dir_.File("none.txt") + "' 2>&1; echo status $?");
    EXPECT_NE(said.find("none.txt"), std::string::npos) << said;
    EXPECT_NE(said.find("status 1"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(dir_.File("r.pdf")));

    // Written over the file it reports on, the report would destroy the survey.
    const std::string before = Shell("cat '" + dir_.File("memory.CSV") + "'");
    const std::string over = "'" + std::string(TESSERA_CLI_PATH) + "' report '" + dir_.File("memory.CSV") + "' -o '" +
                             dir_.File("./memory.CSV") + "' 2>&1; echo status $?";
    const std::string refused = Shell(over);
    EXPECT_NE(refused.find("is one of the files reported on"), std::string::npos) << refused;
    EXPECT_NE(refused.find("status 1"), std::string::npos) << refused;
    EXPECT_EQ(Shell("cat '" + dir_.File("memory.CSV") + "'"), before);
}

// "Report..." on the Survey page, past its dialog: the files the page shows are reported
// with the page's reference, frequency and threshold, printed through the page's printer
// choice. Catches the page's settings lost on the way (the report judging against nothing or
// at 50 Hz) and a report of the page's series without its files' headers.
TEST_F(SurveyReportTest, ThePageReportsWhatItShowsWithItsSettings) {
    ProfileBook book;
    book.Add(ParseProfiles(testing::ReadAll(TESSERA_REFERENCES_PATH), "references.txt"));
    SurveyModel model(book);
    auto read = ReadFiles({dir_.File("night.CSV")});
    ASSERT_TRUE(std::holds_alternative<Series>(read));
    model.ShowFiles(std::get<Series>(std::move(read)));
    ASSERT_TRUE(model.SetReference("icnirp2010-public"));
    ASSERT_TRUE(model.SetFrequency(60));
    ASSERT_TRUE(model.SetThresholds("3uT"));
    testing::ScriptedPrompter prompter;
    const std::string pdf = dir_.File("page.pdf");
    prompter.printPdfs.push_back(pdf);
    ReportFields typed;
    typed.title = "Page report";
    ASSERT_TRUE(PrintPageReport(prompter, model, {}, typed));
    const std::string text = Shell("pdftotext -layout '" + pdf + "' -");
    for (const char* part : {"Page report", "Logging run 1: night.CSV", "every 1 s, Average", "Above 3.000 uT", "Limit",
                             "200.0 uT", "60 Hz"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " missing in:\n" << text;
}

// The Entire Read page's table as the page's report data: its records, the notes the page
// holds and the file they came from. Catches notes of the page left out of the report.
TEST_F(SurveyReportTest, ThePagesEntireReadTableComesWithItsNotes) {
    testing::ScriptedPrompter prompter;
    const auto read = entire_read::ReadCsvRecords(dir_.File("memory.CSV"), prompter);
    ASSERT_TRUE(read);
    std::copy(read->records.begin(), read->records.end(), link::memoryStore.begin());
    std::copy(read->values.begin(), read->values.end(), entire_read::recordValues.begin());
    SurveyModel model{ProfileBook()};
    model.ShowEntireRead(3);
    entire_read::RecordNoteMap notes;
    notes[2] = {"Hall", "1.5 m", "", ""};
    ReportInput in;
    ASSERT_EQ(PageReportInput(model, {3, &notes, dir_.File("memory.CSV")}, in), "");
    ASSERT_EQ(in.tables.size(), 1u);
    EXPECT_EQ(in.tables[0].records.size(), 3u);
    EXPECT_EQ(in.tables[0].name, dir_.File("memory.CSV"));
    ASSERT_EQ(in.tables[0].notes.size(), 1u);
    EXPECT_EQ(in.tables[0].notes[0].number, 2);
    EXPECT_EQ(in.tables[0].notes[0].location, "Hall");
}

// Catches the paper chosen from the language instead of the country (English in Britain is
// A4, in Canada Letter).
TEST(SurveyReportPaper, LetterWhereTheCountryUsesIt) {
    EXPECT_EQ(ReportPaper(QLocale(QLocale::English, QLocale::UnitedStates)).id(), QPageSize::Letter);
    EXPECT_EQ(ReportPaper(QLocale(QLocale::French, QLocale::Canada)).id(), QPageSize::Letter);
    EXPECT_EQ(ReportPaper(QLocale(QLocale::English, QLocale::UnitedKingdom)).id(), QPageSize::A4);
    EXPECT_EQ(ReportPaper(QLocale(QLocale::German, QLocale::Germany)).id(), QPageSize::A4);
}

}  // namespace
}  // namespace tessera::survey
