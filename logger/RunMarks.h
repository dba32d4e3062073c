#pragma once
// What a logging run records beside its samples, which the logger file has no room for: the
// offset of the computer's clock from UTC when the data began (so their times are moments,
// not only wall-clock readings), the sensor, and the marks people set during the run ("door
// opened", "heater on"), each at the sample being taken then. It is written beside the logger
// file as its sidecar NAME.marks.csv (page/Sidecar.h), one for each file of a long survey:
//   # TESSERA logging run
//   # utc_offset: +01:00
//   # sensor: 8621
//   sample,time,text
//   412,2024-03-01T02:10:00.250+01:00,heater on
// `sample` is the file's NO; `time` when the mark was set.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "page/Sidecar.h"

namespace tessera::logger {

inline constexpr std::string_view kMarksSidecar = "marks";
// Marks are short texts; longer ones are cut (at a character's start).
inline constexpr std::size_t kMarkTextLimit = 200;

struct RunMark {
    int slot = 0;         // the sample it belongs to (the file's NO is slot + 1)
    page::Moment time{};  // when it was set
    std::string text;
};

struct RunMarks {
    std::optional<int> utcOffsetMinutes;  // at the data's start time; none: not known
    char sensor = 0;                      // the sensor's code ('1' 8621, '2' 8622); 0: not known
    std::vector<RunMark> marks;           // in the order they were set

    // Nothing to write: no offset, no sensor, no mark.
    bool Empty() const { return !utcOffsetMinutes && sensor == 0 && marks.empty(); }
};

// A mark's text as it is kept: one line, blanks at its ends gone, at most kMarkTextLimit bytes.
std::string MarkText(std::string_view typed);

// NAME.marks.csv beside NAME.CSV.
std::string MarksPath(const std::string& logPath);

// The sidecar's text for a file whose last sample is at `lastSlot`: marks set after it (at a
// sample that was never completed) belong to the last one.
std::string MarksFileText(const RunMarks& marks, int lastSlot);

struct MarksFile {
    RunMarks marks;
    int skippedLines = 0;  // lines that could not be read
};
MarksFile ParseMarksFile(std::string_view text);

// The sidecar of `logPath`: nothing when there is none; a sidecar that cannot be read gives
// what could be read of it, and `problem` (when not null) says what was wrong.
std::optional<MarksFile> ReadMarksFile(const std::string& logPath, std::string* problem = nullptr);
// Writes the sidecar of `logPath` (through platform::ReplaceFileContents). Nothing is written
// for empty marks. False, with `error`, when it could not be written.
bool WriteMarksFile(const std::string& logPath, const RunMarks& marks, int lastSlot, std::string* error = nullptr);

}  // namespace tessera::logger
