#include "cli/JudgingWords.h"

#include "cli/ExitCodes.h"

namespace tessera::cli {

int ReadFrequency(const CommandLine& line, const std::string& word, std::optional<double>& hz) {
    if (!line.Given("--frequency")) return kOk;
    hz = survey::ParseFrequency(word);
    if (!hz) return line.UsageError("--frequency needs a frequency such as 50, 60 or 2.5kHz");
    return kOk;
}

int ReadJudging(const CommandLine& line, const std::string& frequency, const std::vector<std::string>& thresholds,
                const std::string& reference, Judging& out) {
    if (const int status = ReadFrequency(line, frequency, out.frequencyHz); status != kOk) return status;
    for (const std::string& t : thresholds) {
        const auto v = survey::ParseTypedValue(t);
        if (!v) return line.UsageError("--threshold needs a value such as 0.2uT, not \"" + t + "\"");
        out.thresholds.push_back(*v);
    }
    if (line.Given("--reference")) {
        out.book = survey::ProfileBook::Load();
        out.reference = out.book.Find(reference);
        if (!out.reference) {
            return line.UsageError("no reference profile \"" + reference +
                                   "\" (see tessera-cli references) and no value with a unit");
        }
    }
    return kOk;
}

}  // namespace tessera::cli
