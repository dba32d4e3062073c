#pragma once
// The survey report as data: what a client is handed after a survey, built from the logging
// runs and Entire Read tables it covers, without any drawing. A report is a list of blocks
// in reading order (headings, facts, tables, graphs, paragraphs); a view draws them onto any
// paint device and pages them (ReportPainter.h), so the window and tessera-cli print the same.
//
// Its parts: a cover (title, site, client, operator, date and the remarks), the instrument,
// the method, for each logging run its statistics against the reference and a graph with
// the reference line, thresholds and markers, each Entire Read table with its notes and every
// record's % of the reference, and what the figures do and do not show.

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "entire_read/DisplayRule.h"
#include "link/Stores.h"
#include "survey/Evaluation.h"
#include "survey/Report.h"
#include "survey/Series.h"

namespace tessera::survey {

// What the person writing the report tells it; every field may be empty.
struct ReportFields {
    std::string title, site, client, operatorName;
    std::string remarks;      // free text, lines kept
    std::string calibration;  // the meter's calibration, as its certificate says it ("2026-01-14, cert. 1234")
    std::string serial;       // the meter's serial number, where known
    std::string sensor;       // "8621"; empty: as the data say
    std::string date;         // the report's date ("2026-12-08")
    std::string software;     // "TESSERA 1.4.0"
    std::optional<Profile> reference;
    double frequencyHz = kDefaultFrequencyHz;
    std::vector<TypedValue> thresholds;  // extra lines on the graphs, shares above them
    std::optional<Unit> unit;            // the unit values are shown in; none: a readable one for the data
};

// A mark set during a logging run, at a sample of the run's series.
struct ReportMarker {
    std::size_t sample = 0;
    std::string text;
};

// A person's notes on one record of an Entire Read table.
struct RecordNote {
    int number = 0;  // the record's number (1..99)
    std::string location, height, source, note;
};

// One logging run: its samples (rollover parts joined) and what its files' headers say.
struct RunInput {
    std::string name;  // the first file, or the page
    Series series;
    std::string mode, range, period, method;  // texts of the header ("" when not known)
    std::string sensor;                       // "8621", where a sidecar or the page knows it
    std::vector<ReportMarker> markers;
};

// One Entire Read table: the records as read, and the notes kept beside them.
struct TableInput {
    std::string name;
    std::vector<link::MemoryRecord> records;
    std::vector<entire_read::RecordValues> values;
    std::vector<RecordNote> notes;
    std::vector<std::string> remarks;  // about the notes' sidecar (lines that could not be read)
};

struct ReportInput {
    ReportFields fields;
    std::vector<RunInput> runs;
    std::vector<TableInput> tables;
};

// --- the report description ---

struct ReportTable {
    std::vector<std::string> head;
    std::vector<double> widths;  // shares of the line, one per column
    std::vector<bool> numeric;   // right-aligned columns
    std::vector<std::vector<std::string>> rows;
};

// What a graph of a run shows: the series with its reference line, thresholds and markers.
struct GraphSpec {
    std::shared_ptr<const Series> series;
    Quantity quantity = kR;
    Unit unit;  // shown
    std::optional<Profile> reference;
    double frequencyHz = kDefaultFrequencyHz;
    std::vector<double> thresholds;  // in the unit shown
    std::vector<ReportMarker> markers;
};

struct Block {
    enum Kind { Title, Heading, Facts, Table, Graph, Paragraph, Small } kind = Paragraph;
    std::string text;        // Title, Heading, Paragraph, Small
    std::vector<Row> facts;  // Facts: label and text (a row whose label begins with a blank belongs to the one before)
    int columns = 1;         // Facts: set side by side in this many columns
    ReportTable table;       // Table
    GraphSpec graph;         // Graph
};

struct SurveyReport {
    std::string documentName;  // the PDF's title
    std::vector<Block> blocks;
    std::string footer;  // on every page, beside the page number
};

// The headings of the report's sections, in order (the closing one last).
inline constexpr const char* kInstrumentHeading = "Instrument";
inline constexpr const char* kMethodHeading = "Method";
inline constexpr const char* kRunHeading = "Logging run";       // "Logging run 1: survey.CSV"
inline constexpr const char* kTableHeading = "Stored records";  // "Stored records: memory.CSV"
inline constexpr const char* kReadingHeading = "Reading these figures";

SurveyReport BuildReport(const ReportInput& input);

// The inputs of `paths`: logger CSV files (each NAME.CSV one run, its rollover parts joined)
// and Entire Read CSV files, in any mix, with the markers and notes of their sidecars. The
// message names the file that could not be read, else empty.
struct ReadSources {
    std::vector<RunInput> runs;
    std::vector<TableInput> tables;
};
std::variant<ReadSources, std::string> ReadReportSources(const std::vector<std::string>& paths);

// A logging run already in memory (the Survey page's series): header texts from its first
// file where it came from one, else from the part itself.
RunInput RunFromSeries(const Series& series, const std::string& name);

}  // namespace tessera::survey
