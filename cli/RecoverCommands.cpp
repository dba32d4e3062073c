// tessera-cli "recover": the logging runs that were never saved (the window or "log" was
// killed, crashed or lost its power) are listed; with -o each is written as a logger CSV,
// after which its journal goes. Journals that cannot be read are set aside, never deleted,
// and listed too. The gaps a long survey outlived before the run are listed below it.

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/ExitCodes.h"
#include "cli/Terminal.h"
#include "logger/Journal.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/LoggerTables.h"
#include "platform/Paths.h"

namespace tessera::cli {
namespace {

constexpr const char* kRecoverUsage =
    "recover [-o DIR] [--yes]   list the logging runs that were not saved; with -o write each as a logger "
    "CSV into DIR";

std::string Skipped(const logger::JournalContents& run) {
    if (run.skippedLines == 0) return {};
    return " (" + std::to_string(run.skippedLines) +
           (run.skippedLines == 1 ? " damaged line skipped)" : " damaged lines skipped)");
}

std::string Describe(const logger::JournalContents& run) {
    const int samples = logger::LastValidSlot(run) + 1;
    const auto& h = run.header;
    return logger::RunStartText(h.start) + "  " + std::to_string(samples) + (samples == 1 ? " sample" : " samples") +
           Skipped(run) + "  " + logger::PeriodShortText(h.settings.slow == '1' ? '1' : '0', h.periodIndex) + " " +
           logger::MethodText(h.method);
}

// The gaps of a long survey that went on after a lost meter or sensor, one a line below its run.
void ListGaps(const logger::JournalContents& run) {
    for (const auto& gap : run.gaps) std::cout << "  " << logger::GapText(gap) << '\n';
}

void ListSetAside() {
    for (const std::string& path : logger::SetAsideJournals()) std::cout << "could not be read, kept  " << path << '\n';
}

int Recover(const std::string& directory, bool assumeYes) {
    auto scan = logger::ClaimUnfinishedRuns();
    if (!scan.problem.empty()) {
        std::cerr << "The logging journals are not looked at: " << scan.problem << ".\n";
        return kFailed;
    }
    for (const auto& kept : scan.setAside) std::cerr << logger::SetAsideMessage(kept) << '\n';
    auto& runs = scan.runs;
    if (runs.empty()) std::cout << "No logging run is waiting to be recovered.\n";
    if (directory.empty() || runs.empty()) {
        for (const auto& run : runs) {
            std::cout << Describe(run.contents) << "  " << run.file.Path() << '\n';
            ListGaps(run.contents);
        }
        ListSetAside();
        return kOk;
    }

    std::error_code ec;
    std::filesystem::create_directories(platform::FsPath(directory), ec);
    int rc = kOk;
    for (auto& run : runs) {
        // The journal's name without its extension: "run-20120503-090507".
        std::string stem = run.file.Path().substr(run.file.Path().find_last_of("/\\") + 1);
        stem.resize(stem.size() - std::string(logger::kJournalExtension).size());
        const std::string path = directory + "/" + stem + ".CSV";
        if (platform::FileExists(path) && AskOnTerminal(logger::kQuestionOverwrite, assumeYes) != page::Answer::Yes) {
            std::cerr << "The run from " << logger::RunStartText(run.contents.header.start) << " was not written: \""
                      << path << "\" exists.\n";
            rc = kFailed;
            continue;
        }
        const auto samples = logger::RecoveredSamples(run.contents);
        // The marks set during the run go beside it, as a save from the page puts them.
        std::string sidecarProblem;
        if (!logger::SaveJournalledRun(run.file, path, logger::RecoveredLogHeader(run.contents), samples.data(),
                                       static_cast<int>(samples.size()) - 1, logger::RecoveredMarks(run.contents),
                                       &sidecarProblem)) {
            if (sidecarProblem.empty()) rc = FileNotWritten(path);
            else {
                std::cerr << sidecarProblem << '\n';
                rc = kFailed;
            }
            continue;
        }
        run.file.Remove();  // saved: the run is finished now
        std::cout << samples.size() << " samples written to " << path << Skipped(run.contents) << '\n';
        ListGaps(run.contents);
    }
    ListSetAside();
    return rc;
}

}  // namespace

void AddRecoverCommands(Registry& registry) {
    registry.Add({"recover", kRecoverUsage, "",
                  [](CommandLine& line) -> CommandRun {
                      auto directory = std::make_shared<std::string>();
                      auto yes = std::make_shared<bool>(false);
                      line.Value("-o,--output", *directory, "DIR", "a folder",
                                 "write each run as a logger CSV into this folder");
                      line.Flag("-y,--yes", *yes, "replace existing files without asking");
                      return [directory, yes] { return Recover(*directory, *yes); };
                  },
                  kFileExits});
}

}  // namespace tessera::cli
