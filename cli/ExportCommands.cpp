// tessera-cli "export": logger files (rollover parts joined into one timed series) or Entire
// Read files written for other programs, as open CSV, JSON Lines or a CSV for the user's
// spreadsheet (survey/Export.h). The pages' own CSV formats stay what "read", "log" and the
// window write.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/ExitCodes.h"
#include "cli/Terminal.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/NumberMarks.h"
#include "platform/Paths.h"
#include "platform/StopRequest.h"
#include "survey/Export.h"
#include "survey/Sources.h"

namespace tessera::cli {
namespace {

using namespace survey;

constexpr const char* kExportUsage =
    "export FILE... --format open-csv|jsonl|spreadsheet [--unit U] [-o OUT] [--yes]   "
    "logger files (rollover parts joined) or Entire Read files for other programs";
constexpr const char* kExportNotes =
    "open-csv: \"# key: value\" lines, then time,x,y,z,R with ISO 8601 times (milliseconds; the offset\n"
    "from UTC where the run recorded it). jsonl: one JSON object per sample. spreadsheet: the open CSV\n"
    "with the decimal mark and separator of your locale. Entire Read records have no time: their rows\n"
    "begin with the record number. O.L. readings are empty fields (null in jsonl). Without -o the\n"
    "export goes to standard output.";

struct ExportWords {
    std::vector<std::string> files;
    std::string format, unit, output;
    bool yes = false;
};

// The output is one of the files read: writing it would destroy what is exported.
bool IsInput(const std::string& output, const Series& series) {
    for (const Part& p : series.Parts())
        if (platform::SameFile(output, p.source)) return true;
    return false;
}

int Export(const CommandLine& line, const ExportWords& w) {
    if (w.files.empty()) return line.UsageError("no file was given");
    const auto form = ExportFormNamed(w.format);
    if (!form || w.format == "csv") return line.UsageError("--format is open-csv, jsonl or spreadsheet");
    std::optional<Unit> asked;
    if (line.Given("--unit")) {
        asked = UnitNamed(w.unit);
        if (!asked) return line.UsageError("unknown unit \"" + w.unit + "\"");
    }
    if (line.Given("-o") && w.output.empty()) return line.UsageError("-o needs a file name");

    auto read = ReadFiles(w.files, kAllChannels);
    if (const auto* message = std::get_if<std::string>(&read)) {
        std::cerr << *message << '\n';
        return kFailed;
    }
    const Series& series = std::get<Series>(read);
    const Unit& stored = series.StoredUnit();
    const Unit shown = asked.value_or(stored);
    if (!SameFamily(shown, stored))
        return line.UsageError("the files' values are in " + stored.name + ", which cannot be shown in " + shown.name);

    const RowForm rows(*form, stored, shown, platform::UserNumberMarks());
    const ExportFacts facts = FactsOfFiles(series, shown);
    for (const std::string& note : series.notes) std::cerr << note << '\n';

    if (w.output.empty()) {
        platform::SurviveClosedPipe();  // a reader that goes away ends the export with a failure, not a signal
        const bool whole = WriteExport(series, facts, rows, [](std::string_view piece) {
            return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
        });
        if (!whole || std::fflush(stdout) != 0) {
            std::cerr << "The export could not be written whole to standard output.\n";
            return kFailed;
        }
        return kOk;
    }
    if (IsInput(w.output, series)) {
        std::cerr << "\"" << w.output << "\" is one of the files exported; choose another name.\n";
        return kFailed;
    }
    if (platform::FileExists(w.output) && AskOnTerminal(page::kOverwriteFileQuestion, w.yes) != page::Answer::Yes) {
        std::cerr << "Nothing was exported.\n";
        return kFailed;
    }
    // Written as it is made: the export of weeks of samples is never held whole in memory.
    std::string why;
    if (!platform::ReplaceFileWith(
            w.output, [&](const platform::PieceWriter& write) { return WriteExport(series, facts, rows, write); },
            &why)) {
        std::cerr << "The file \"" << w.output << "\" could not be written (" << why << ").\n";
        return kFailed;
    }
    std::cout << series.Size() << (series.Timed() ? " samples" : " records") << " written to " << w.output << '\n';
    return kOk;
}

}  // namespace

void AddExportCommands(Registry& registry) {
    registry.Add({"export", kExportUsage, kExportNotes,
                  [](CommandLine& line) -> CommandRun {
                      auto w = std::make_shared<ExportWords>();
                      line.Words("FILE", w->files,
                                 "logger CSV files (NAME.CSV brings NAME-002.CSV, ... along) or Entire Read CSV files");
                      line.Value("--format", w->format, "open-csv|jsonl|spreadsheet", "a form", "the form written");
                      line.Value("--unit,-u", w->unit, "U", "a unit",
                                 "the unit values are written in (the files' own unless given)");
                      line.Value("-o,--output", w->output, "OUT", "a file name",
                                 "the file to write (standard output when not given)");
                      line.Flag("-y,--yes", w->yes, "replace an existing file without asking");
                      line.Require("--format");
                      return [&line, w] { return Export(line, *w); };
                  },
                  kFileExits});
}

}  // namespace tessera::cli
