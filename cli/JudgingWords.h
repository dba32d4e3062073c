#pragma once
// The words that judge a survey, --frequency, --threshold and --reference, read the same way
// by every command that takes them ("stats", "report", "references"), so that a word one of
// them accepts the others accept too, with the same message when it is wrong.

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "survey/References.h"
#include "survey/Units.h"

namespace tessera::cli {

struct Judging {
    std::optional<double> frequencyHz;           // when --frequency was given
    std::vector<survey::TypedValue> thresholds;  // in the order given
    std::optional<survey::Profile> reference;    // when --reference was given
    survey::ProfileBook book;                    // loaded only for --reference: its problems
};

// Reads --frequency into `hz` when given; kOk, or the usage error's status (its message written).
int ReadFrequency(const CommandLine& line, const std::string& word, std::optional<double>& hz);

// Reads the three words into `out`; kOk, or the usage error's status (its message written).
int ReadJudging(const CommandLine& line, const std::string& frequency, const std::vector<std::string>& thresholds,
                const std::string& reference, Judging& out);

}  // namespace tessera::cli
