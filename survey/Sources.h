#pragma once
// Where a series comes from, read by the pages' own readers:
//  - logger CSV files: the header checks and data-line reading of the logger's file
//    (logger/LoggerCsv.h), R recomputed from x, y, z as File Read does; a file NAME.CSV
//    brings its rollover parts NAME-002.CSV, NAME-003.CSV, ... along, joined in order, each
//    part timed from its own START TIME. Files are read in parallel.
//  - Entire Read CSV files (entire_read::ReadCsvRecords) and the Entire Read page's table:
//    records without time.
//  - the logger page's store, followed live during a run (LiveLogger).
// "O.L." is what the pages show: a logger value above the graph's over-range limit (the
// readout's rule), a record's value the table shows as "O.L.".

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "entire_read/DisplayRule.h"
#include "link/Stores.h"
#include "survey/Series.h"

namespace tessera::logger {
class LoggerModel;
}

namespace tessera::survey {

// Told how far a long read has come (0..1); answering false stops it.
using Progress = std::function<bool(double done)>;

// The files to read for `paths`: each NAME.CSV followed by its rollover parts that exist
// beside it; a path given twice (or a part also given by name) is read once.
std::vector<std::string> WithRolloverParts(const std::vector<std::string>& paths);

// Reads logger or Entire Read files (told apart by their banners) into one series: logger
// files joined in time order of their runs, parts in number order; Entire Read files in
// the order given. Logger files and Entire Read files cannot be mixed, nor percent with
// magnetic units. On failure the message names the file and says why, in the page's
// words where the page has them. `threads` 0: as many as the machine has.
std::variant<Series, std::string> ReadFiles(const std::vector<std::string>& paths, Channels channels = kAllChannels,
                                            const Progress& progress = {}, int threads = 0);

// The records of an Entire Read table (or file): one kind of reading per series, the
// magnetic records (converted into the unit of the first) or the exposure levels, whichever
// are more; the others are left out with a note. `source` names where they came from.
Series FromRecords(const std::vector<link::MemoryRecord>& records, const std::vector<entire_read::RecordValues>& values,
                   const std::string& source, Channels channels = kAllChannels);
// The Entire Read page's table as it stands (the process-wide record stores).
Series FromEntireReadTable(unsigned recordCount, Channels channels = kAllChannels);

// Follows the logger page's store: new samples are appended as they are completed; data
// that were replaced (a new run, a file read, data discarded) rebuild the series.
class LiveLogger {
public:
    enum class Change { None, Appended, Replaced };
    Change Follow(const logger::LoggerModel& model, Series& series);

    // The name the logger's samples are shown under.
    static const char* SourceName();

private:
    struct Fingerprint {
        int state = 0;
        std::int64_t start = 0;
        LocalMs periodMs = 0;
        char unit = 0, mode = 0;
        double maxFullScale = 0;
        int scaleIndex = 0;
        double firstR = 0;
        bool operator==(const Fingerprint&) const = default;
    };
    Fingerprint seen_{};
    std::size_t taken_ = 0;
};

}  // namespace tessera::survey
