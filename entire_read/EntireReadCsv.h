#pragma once
// The Entire Read CSV file: a three-line header (banner, "DATA", the column titles) and one
// fourteen-field line per record, CR LF after every line. Writing the lines, checking the
// header and parsing a record line; the questions around them, the table and the unit the
// file is shown in belong to the page model.

#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entire_read/DisplayRule.h"
#include "link/Stores.h"
#include "page/Prompter.h"

namespace tessera::entire_read {

// File-format data, not the program's version: files of this kind are written with this banner,
// "VER.1.05" included, by every release (the program's version is project(VERSION)).
inline constexpr std::string_view kCsvBanner = "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN";
inline constexpr std::string_view kCsvDataLine = "DATA";
inline constexpr std::string_view kCsvColumns =
    "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy";
inline const page::FileFilter kCsvFilter{"8620 Entire Read file(*.CSV)", "*.CSV"};

// What the header checks say.
inline constexpr std::string_view kUnidentifiableFile = "An unidentifiable file type.";
inline constexpr std::string_view kLoggerFileMessage =
    "The file is a CSV file for \"Effective Value Logger\". \n\nPlease open it in \"Effective Value Logger\" page.";
inline constexpr std::string_view kNoDataLine =
    "There is no description of \"DATA\". This file is an unidentifiable file type.";
inline constexpr std::string_view kNoColumnsLine =
    "There is no description of \"NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\". "
    "This file is an unidentifiable file type.";

// "An unidentifiable information about "Mode" in line 3.", "An unidentifiable data Rxyz in line 3."
std::string LineMessage(std::string_view field, int number);
std::string RxyzLineMessage(int number);

// --- writing ---
// The three header lines.
std::string CsvHeaderText();
// One record's line: the row's texts as the table shows them in the unit saved, with the
// record's range, output, slow and sensor codes in the file's words.
std::string CsvRecordLine(const link::MemoryRecord& record, const RowTexts& texts);

// --- reading ---
// Lines as the page reads them: the carriage return dropped, a line longer than 999
// characters cut there (its rest is dropped, not read as a line of its own).
class CsvLineReader {
public:
    explicit CsvLineReader(std::istream& in) : in_(in) {}
    // Checks lines 1..3 in order: nothing when they are an Entire Read header, else the
    // message of the first that fails.
    std::optional<std::string> ReadHeader();
    // The fifteen fields of the next line that is not blank (a line feed ending the line
    // belongs to its last field, characters after a fifteenth comma are dropped); false at
    // the end of the file.
    bool NextRecordFields(std::vector<std::string>& fields);

private:
    struct Line {
        std::string text;
        bool ended = false;  // a line feed followed it
    };
    bool Next(Line& line);

    std::istream& in_;
};

// One record line read.
struct CsvRecord {
    link::MemoryRecord record{};
    RecordValues values{};
    int unit = kOriginalUnit;  // the display unit the line was written in; 0 for "%"
    bool percent = false;
};

// Checks one record line; nothing when it was read into `out`, else the message about its
// first bad field, naming it record `number`.
std::optional<std::string> ParseRecordLine(const std::vector<std::string>& fields, int number, CsvRecord& out);

}  // namespace tessera::entire_read
