// tessera-cli "stats" and "references": the survey evaluation without the window. "stats"
// reads logger files (rollover parts joined) or Entire Read files and writes the
// statistics of one quantity, against a reference profile if asked, as text for people or
// csv and json for scripts; "references" lists the profiles with their sources.

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/ExitCodes.h"
#include "cli/JudgingWords.h"
#include "cli/StatusLine.h"
#include "survey/Evaluation.h"
#include "survey/References.h"
#include "survey/Report.h"
#include "survey/Sources.h"

namespace tessera::cli {
namespace {

using namespace survey;

constexpr const char* kStatsUsage =
    "stats FILE... [--quantity R|x|y|z] [--unit U] [--from TIME] [--to TIME] [--threshold V]... "
    "[--reference NAME|VALUE] [--frequency HZ] [--by hour|day] [--format text|csv|json]   "
    "statistics of logger files (rollover parts joined) or Entire Read files";
constexpr const char* kStatsNotes =
    "Units: T, mT, uT, nT, G, mG, A/m, %. Values are in the file's unit unless --unit names another.\n"
    "TIME: 2024-03-01T22:00[:00], \"2024-03-01 22:00\", 2024-03-01, or a time of day 22:00 (the first\n"
    "after the start of the data; --to after --from), or the text of a mark set during the run\n"
    "(--from 'heater on': from its sample on; the marks are in NAME.marks.csv beside the file).\n"
    "V: a value with its unit (0.2uT) or a number in the unit shown. --reference: a profile of\n"
    "\"tessera-cli references\" or a value (0.4uT); the frequency (50 Hz by default) chooses the\n"
    "profile's limit. Exit status 1: a file could not be read.";
constexpr const char* kReferencesUsage =
    "references [--frequency HZ]   the reference profiles, their limits and sources";

struct StatsWords {
    std::vector<std::string> files, thresholds;
    std::string quantity, unit, from, to, reference, frequency, by, format;
};

int Fail(const std::string& message) {
    std::cerr << message << '\n';
    return kFailed;
}

// A --from/--to word as a time of the series: a time, or the text of a mark set during the
// run (the first such mark at or after `after`, or strictly after it for a --to that follows a
// --from, so that "--from 'heater on' --to 'heater on'" spans one heater cycle); nullopt (after
// saying why) when it is neither.
std::optional<LocalMs> TimeOf(const CommandLine& line, const Series& series, const std::string& word,
                              const char* option, std::optional<LocalMs> after, bool strictlyAfter, bool& bad) {
    const auto parsed = ParseTimeWords(word);
    if (!parsed) {
        for (const SeriesMark& m : series.marks) {
            const LocalMs t = series.TimeOf(m.sample);
            if (m.text == word && (!after || t > *after || (t == *after && !strictlyAfter))) return t;
        }
        bad = true;
        line.UsageError(std::string(option) + " needs a time such as 2024-03-01T22:00 or 22:00, or the text of a mark" +
                        (series.marks.empty() ? " (the files have none)" : "") + ", not \"" + word + "\"");
        return std::nullopt;
    }
    if (!parsed->dateless) return parsed->ms;
    return NextTimeOfDay(after.value_or(0), parsed->ms);
}

int Stats(const CommandLine& line, const StatsWords& w) {
    if (w.files.empty()) return line.UsageError("no file was given");
    Request request;
    if (line.Given("--quantity")) {
        const auto q = QuantityNamed(w.quantity);
        if (!q) return line.UsageError("--quantity is R, x, y or z, not \"" + w.quantity + "\"");
        request.quantity = *q;
    }
    std::optional<Unit> asked;
    if (line.Given("--unit")) {
        asked = UnitNamed(w.unit);
        if (!asked) return line.UsageError("unknown unit \"" + w.unit + "\"");
    }
    if (line.Given("--by")) {
        if (w.by == "hour") request.by = GroupBy::Hour;
        else if (w.by == "day") request.by = GroupBy::Day;
        else return line.UsageError("--by is hour or day");
    }
    const std::string format = line.Given("--format") ? w.format : "text";
    if (format != "text" && format != "csv" && format != "json")
        return line.UsageError("--format is text, csv or json");
    Judging judging;
    if (const int status = ReadJudging(line, w.frequency, w.thresholds, w.reference, judging); status != kOk)
        return status;
    if (judging.frequencyHz) request.frequencyHz = *judging.frequencyHz;
    request.reference = judging.reference;

    auto read = [&] {
        // On a terminal, how far the reading has come; gone before the report is written.
        StatusLine status;
        Progress progress;
        if (status.Active()) {
            const auto count = static_cast<long long>(WithRolloverParts(w.files).size());
            progress = [&status, count](double done) {
                status.Show(ProgressText(done, count, count == 1 ? "file" : "files"));
                return true;
            };
        }
        return ReadFiles(w.files, ChannelOf(request.quantity), progress);
    }();
    if (const auto* message = std::get_if<std::string>(&read)) return Fail(*message);
    const Series& series = std::get<Series>(read);
    const Unit& stored = series.StoredUnit();
    const Unit shown = asked.value_or(stored);
    if (!SameFamily(shown, stored))
        return line.UsageError("the files' values are in " + stored.name + ", which cannot be shown in " + shown.name);
    for (const TypedValue& t : judging.thresholds) {
        const Unit& in = t.unit.value_or(shown);
        if (!SameFamily(in, stored))
            return line.UsageError("a threshold in " + in.name + " does not fit " + stored.name);
        request.thresholds.push_back(t.value * Factor(in, stored));
    }

    bool bad = false;
    const std::optional<LocalMs> start =
        series.Timed() ? std::optional<LocalMs>(series.Parts().front().start) : std::nullopt;
    if (line.Given("--from")) request.from = TimeOf(line, series, w.from, "--from", start, false, bad);
    if (!bad && line.Given("--to"))
        request.to =
            TimeOf(line, series, w.to, "--to", request.from ? request.from : start, request.from.has_value(), bad);
    if (bad) return kUsageError;
    if (const std::string problem = RequestProblem(series, request); !problem.empty()) return line.UsageError(problem);

    const Evaluation e = Evaluate(series, request);
    if (format == "json") std::cout << JsonReport(series, e, shown);
    else if (format == "csv") std::cout << CsvReport(series, e, shown);
    else std::cout << TextReport(series, e, shown);
    for (const std::string& problem : judging.book.Problems()) std::cerr << problem << '\n';
    return kOk;
}

int References(const CommandLine& line, const std::string& frequency) {
    std::optional<double> hz;
    if (const int status = ReadFrequency(line, frequency, hz); status != kOk) return status;
    const ProfileBook book = ProfileBook::Load();
    const Unit uT = *UnitNamed("uT");
    auto limitText = [&](const Profile& p, double f) {
        const auto limit = p.LimitAt(f);
        char label[48];
        std::snprintf(label, sizeof label, "%g Hz", f);
        return std::string(label) + ": " + (limit ? FourDigits(*limit * uT.perBase) + " uT" : "not covered");
    };
    for (const Profile& p : book.Profiles()) {
        std::cout << p.id << "\n  " << p.name << "\n";
        if (p.Guidance()) {
            for (const GuidanceLevel& l : p.levels)
                std::cout << "  above " << FourDigits(l.tesla * 1e9) << " nT: " << l.label << "\n";
        } else if (hz) {
            std::cout << "  " << limitText(p, *hz) << "\n";
        } else {
            std::cout << "  " << limitText(p, 50) << ", " << limitText(p, 60) << " (covers " << p.CoverageText()
                      << ")\n";
        }
        for (const std::string& s : p.sources) std::cout << "  " << s << "\n";
        std::cout << "\n";
    }
    std::cout << "Read from: ";
    for (std::size_t i = 0; i < book.Files().size(); ++i) std::cout << (i ? ", " : "") << book.Files()[i];
    if (book.Files().empty()) std::cout << "no file (references.txt is missing)";
    std::cout << "\nYour own profiles: " << UserProfilePath() << "\n";
    for (const std::string& problem : book.Problems()) std::cerr << problem << '\n';
    return book.Profiles().empty() ? kFailed : kOk;
}

}  // namespace

void AddSurveyCommands(Registry& registry) {
    registry.Add(
        {"stats", kStatsUsage, kStatsNotes,
         [](CommandLine& line) -> CommandRun {
             auto w = std::make_shared<StatsWords>();
             line.Words("FILE", w->files,
                        "logger CSV files (NAME.CSV brings NAME-002.CSV, ... along) or Entire Read CSV files");
             line.Value("--quantity", w->quantity, "R|x|y|z", "R, x, y or z", "the quantity (R unless given)");
             line.Value("--unit,-u", w->unit, "U", "a unit", "the unit values are shown in");
             line.Value("--from", w->from, "TIME|MARK", "a time", "leave out samples before this time (or mark)");
             line.Value("--to", w->to, "TIME|MARK", "a time", "leave out samples after this time (or mark)");
             line.Values("--threshold", w->thresholds, "V", "a value", "share of samples above V (may be given again)");
             line.Value("--reference", w->reference, "NAME|VALUE", "a profile or a value", "judge against a reference");
             line.Value("--frequency", w->frequency, "HZ", "a frequency", "the field's frequency (50 Hz unless given)");
             line.Value("--by", w->by, "hour|day", "hour or day", "statistics per hour of day or per calendar day too");
             line.Value("--format", w->format, "text|csv|json", "text, csv or json", "how the result is written");
             return [&line, w] { return Stats(line, *w); };
         },
         kFileExits});
    registry.Add({"references", kReferencesUsage, "",
                  [](CommandLine& line) -> CommandRun {
                      auto frequency = std::make_shared<std::string>();
                      line.Value("--frequency", *frequency, "HZ", "a frequency",
                                 "show every profile's limit at this frequency");
                      return [&line, frequency] { return References(line, *frequency); };
                  },
                  kFileExits});
}

}  // namespace tessera::cli
