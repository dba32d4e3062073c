#pragma once
// Open exports: a series written for other programs, beside the pages' own CSV formats (which
// stay the defaults everywhere). Three forms of one table of samples:
//  - open CSV: "# key: value" lines (instrument, settings, period, method, unit, software,
//    source files), then "time,x,y,z,R" and one row per sample, its time in ISO 8601 with
//    milliseconds and, where it is known, the offset from UTC ("2024-03-01T02:10:00.250+01:00");
//  - JSON Lines: one object per sample {"time", "x", "y", "z", "R", "unit"};
//  - spreadsheet: the open CSV with the decimal mark and field separator of the user's locale.
// Records of the meter's memory have no time: their rows carry the record number instead
// ("record" in place of "time"). A reading the pages show as "O.L." (over range), or do not
// show at all, is no measurement: an empty field in the CSV forms, null in JSON Lines.
//
// The same row forms serve the live stream of a logging run (LiveStream), so a stream and a
// later export of the saved files read alike.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/NumberMarks.h"
#include "survey/Series.h"
#include "survey/Sources.h"
#include "survey/Units.h"

namespace tessera::logger {
class LoggerModel;
struct LogHeader;
}  // namespace tessera::logger

namespace tessera::survey {

enum class ExportForm { OpenCsv, Jsonl, Spreadsheet };
// "open-csv" ("csv" too), "jsonl", "spreadsheet"; nothing for any other word.
std::optional<ExportForm> ExportFormNamed(std::string_view name);

// What an export says about its samples beyond their values.
struct ExportFacts {
    std::vector<std::pair<std::string, std::string>> facts;  // "# key: value" lines, in order
    // For each part of the series, the offset of its clock from UTC in minutes; none (or a
    // shorter list): not known, and its times are written without one.
    std::vector<std::optional<int>> partOffsets;
};

// One row of each form. Values come in the series' unit and are written in `shown` (ten
// significant digits at most: the meter gives four, conversions add no false digits).
class RowForm {
public:
    RowForm(ExportForm form, const Unit& stored, const Unit& shown, const platform::NumberMarks& marks = {});

    ExportForm Form() const { return form_; }
    const Unit& Shown() const { return shown_; }
    // "time,x,y,z,R" ("record,..." for records; the form's separator); empty for JSON Lines.
    std::string HeadLine(bool timed) const;
    // A sample at a local time (its clock's offset from UTC where known).
    void AppendTimed(std::string& out, LocalMs time, std::optional<int> offsetMinutes,
                     const std::array<double, 4>& xyzR, std::uint8_t overMask) const;
    // A record of the meter's memory, by its number.
    void AppendRecord(std::string& out, int number, const std::array<double, 4>& xyzR, std::uint8_t overMask) const;

private:
    void AppendValues(std::string& out, const std::array<double, 4>& xyzR, std::uint8_t overMask) const;
    void AppendTime(std::string& out, LocalMs time, std::optional<int> offsetMinutes) const;

    ExportForm form_;
    Unit shown_;
    double factor_ = 1;
    std::string decimal_, separator_;
    std::string unitJson_;  // ,"unit":"uT"}
    // The date part of the last time written ("2024-03-01T"), so millions of rows work out a
    // calendar date once a day.
    mutable LocalMs day_ = -1;
    mutable std::string dayText_;
    mutable std::optional<int> offsetFor_;  // and of the offset
    mutable std::string offsetText_;
};

// The text before the rows: the facts as "# key: value" lines and the head line (the CSV
// forms); nothing for JSON Lines, whose every line stands alone.
std::string ExportHead(const RowForm& form, const ExportFacts& facts, bool timed);

// Writes the export of `series` to `sink` in pieces, in order (the head first). Rows are
// formed by `threads` threads (0: as many as the machine has), a batch at a time, so memory
// stays small however long the series. False when the sink refused a piece or `progress`
// answered false.
bool WriteExport(const Series& series, const ExportFacts& facts, const RowForm& form,
                 const std::function<bool(std::string_view)>& sink, const Progress& progress = {}, int threads = 0);

// The facts of files read by ReadFiles: each logger part's header (mode, range, output, slow
// response, period, method) and its run's sidecar (the clock's offset, the sensor), or, for
// Entire Read files, what a record table has. Settings that differ between parts are given
// with their files.
ExportFacts FactsOfFiles(const Series& series, const Unit& shown);
// The facts of a logging run (or a file read) shown on the logger page; `source` names it.
ExportFacts FactsOfLogger(const logger::LogHeader& header, const Unit& shown, const std::string& source,
                          std::optional<int> utcOffsetMinutes, char sensor = 0);
// The facts of the Entire Read table or other records without a file header.
ExportFacts FactsOfRecords(const Series& series, const Unit& shown);

// A logging run's samples written the moment each is complete, in the JSON Lines or open CSV
// row form, for a reader of the program's output (a script, a database, a dashboard). The
// writing happens on a thread of its own, so a slow reader never holds the run back: what it
// has not taken waits (up to kStreamBacklog bytes; samples beyond are left out and counted),
// and a reader that is gone costs the stream only, never the run.
class LiveStream {
public:
    static constexpr std::size_t kStreamBacklog = 16u << 20;

    // `write` hands a piece of text to the reader (on the stream's thread) and answers false
    // when the reader is gone. `source` names where the samples go (the run's file) in the
    // open CSV's facts. Times carry the offset from UTC the run's clock gave (logger/RunMarks.h).
    LiveStream(ExportForm form, std::function<bool(std::string_view)> write, std::string source);
    ~LiveStream();
    LiveStream(const LiveStream&) = delete;
    LiveStream& operator=(const LiveStream&) = delete;

    // Writes the samples the logger completed since the last call (call it after every tick).
    void Follow(const logger::LoggerModel& model);
    // Before a full store of a long run is handed over and cleared: its last samples.
    void FollowFullStore(const logger::LoggerModel& model) { Follow(model); }

    // The reader went away (a closed pipe): nothing more is written.
    bool ReaderGone() const;
    // Samples written, and those left out because the reader fell too far behind.
    std::uint64_t Written() const { return written_; }
    std::uint64_t LeftOut() const;
    // Waits at most `wait` for the reader to take what is pending, then ends the stream. True
    // when everything was written.
    bool Finish(std::chrono::milliseconds wait);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    ExportForm form_;
    std::string source_;
    std::optional<int> utcOffsetMinutes_;
    LiveLogger live_;
    Series series_;
    std::size_t emitted_ = 0;
    bool headWritten_ = false;
    std::optional<RowForm> rows_;
    std::uint64_t written_ = 0;
    bool finished_ = false;
};

}  // namespace tessera::survey
