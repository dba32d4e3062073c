#pragma once
// The logger's CSV file: an eleven-line header (banner, settings, start time, sampling
// period and method) and one "NO,x,y,z,R" line per sample. Writing, header checks and
// data-line parsing; the questions around them belong to the page model.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/Stores.h"
#include "logger/Readout.h"
#include "settings/MeterSettings.h"

namespace tessera::logger {

// File-format data, not the program's version: files of this kind are written with this banner,
// "VER.1.05" included, by every release (the program's version is project(VERSION)).
inline constexpr const char* kLogBanner = "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN";
inline constexpr const char* kCsvFilterText = "8620 Effective Value Logger file(*.CSV)";
inline constexpr const char* kCsvFilterPattern = "*.CSV";
// Saving over an Entire Read file is refused with this.
inline constexpr const char* kMsgEntireReadFileOnSave =
    "The file is a CSV file for \"Entire Read\".\n\nPlease open it in \"Entire Read\" page.";

// What the header says about the data.
struct LogHeader {
    settings::MeterSettings record{};  // mode, unit, range, output and slow codes
    StartTime start{};
    int periodIndex = 2;
    int method = 0;
};

// Lines 1..11, without line breaks.
std::vector<std::string> HeaderLines(const LogHeader& header);
// "1,0.0000001230,0.0000004560,0.0000007890,0.0000009196"
std::string DataLine(int number, const link::LogSample& s);
// "2012/5/3(THU),09:05:07"
std::string StartTimeText(const StartTime& t);

// Writes the whole file (header and slots 0..lastSlot; no data lines when `lastSlot` < 0)
// through a temporary file that replaces the target only when everything was written,
// so a failed save never destroys an older file. False when nothing was saved.
bool WriteLogFile(const std::string& path, const LogHeader& header, const link::LogSample* slots, int lastSlot);
// The whole file as WriteLogFile writes it.
std::string LogFileText(const LogHeader& header, const link::LogSample* slots, int lastSlot);

// The first line of a file (at most 999 characters); nullopt when it cannot be read.
std::optional<std::string> FirstLine(const std::string& path);

// --- reading ---
// Cuts the trailing line break, then trailing blanks.
std::string TrimLine(std::string_view line);

// The header read from lines 1..11 (already trimmed) and what the period line says.
struct ParsedHeader {
    settings::MeterSettings record{};
    StartTime start{};
    char periodLetter = 0;  // 's', 'm' or 'h'
    int periodNumber = 0;
    int method = 0;
};
// Checks lines 1..11 in order; the first failing check gives its message.
std::variant<ParsedHeader, std::string> ParseHeader(const std::vector<std::string>& lines);

// Period index, samples per division and whether only "fixed interval" is allowed.
struct PeriodChoice {
    int periodIndex = 0;
    int samplesPerDivision = 0;
    bool fixedOnly = false;
};
// The period the header names, checked against its slow code and method; the message
// when they do not fit together.
std::variant<PeriodChoice, std::string> ChoosePeriod(const ParsedHeader& header);

// A data line: nullopt when fields 2..5 are not all present and non-empty (skipped
// silently); else x, y, z and R as read.
std::optional<std::array<double, 4>> ParseDataLine(std::string_view line);

// The data-error question for a data line number.
std::string DataErrorQuestion(int lineNumber);

}  // namespace tessera::logger
