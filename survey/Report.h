#pragma once
// An evaluation written out: rows of label and text for people (the page's table, the
// text form of `tessera-cli stats`, both with four significant digits in the unit shown),
// and csv and json for scripts with every number unrounded. The json names are fixed:
// samples, left_out, from, to, quantity, unit, min and max ({value, time, sample}), mean,
// geometric_mean, geometric_mean_left_out, median, p95, hi5, above ([{threshold, percent}]),
// reference ({name, frequency_hz, limit, max_percent, mean_percent, percent_above}) and
// by (the same objects per hour or day).

#include <string>
#include <vector>

#include "survey/Evaluation.h"

namespace tessera::survey {

struct Row {
    std::string label;
    std::string text;
};

// The rows of one set of statistics (and its reference, if any) in unit `shown`.
std::vector<Row> StatRows(const Series& series, Quantity q, const Stats& stats,
                          const std::optional<ReferenceResult>& reference, const Unit& shown);

// "2 d 03:04:05", "00:10:00.250"
std::string DurationText(LocalMs ms);
// "0.1234 uT"
std::string ValueText(double valueInSeriesUnit, const Unit& seriesUnit, const Unit& shown);
// What a series is, in one line: "survey.CSV and 75 further parts: 2419200 samples, 1 s apart".
std::string SeriesSummary(const Series& series);

// The three forms of `tessera-cli stats`.
std::string TextReport(const Series& series, const Evaluation& e, const Unit& shown);
std::string CsvReport(const Series& series, const Evaluation& e, const Unit& shown);
std::string JsonReport(const Series& series, const Evaluation& e, const Unit& shown);

// A whole table of rows as text, labels padded to one column ("copy as text").
std::string RowsText(const std::vector<Row>& rows);

}  // namespace tessera::survey
