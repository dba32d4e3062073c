// tessera-cli "read", "convert" and "print": the Entire Read page without its window.
// They run the page's model with the page's texts; messages of a failure go to stderr
// and end with a non-zero exit code.

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/MeterSession.h"
#include "cli/StatusLine.h"
#include "cli/Terminal.h"
#include "entire_read/EntireReadModel.h"
#include "link/Accuracy.h"
#include "link/Link.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"

#include "cli/PdfOutput.h"
#include "entire_read/EntireReadPrint.h"

namespace tessera::cli {
namespace {

using entire_read::EntireRead;

constexpr const char* kNoAccuracyFile = link::kMsgBadAccuracyFile;
constexpr const char* kReadUsage =
    "read [-o FILE.CSV] [--unit U] [--yes]   download the meter's memory as an Entire Read CSV";
constexpr const char* kConvertUsage =
    "convert IN.CSV --unit U [-o OUT.CSV] [--yes]   rewrite an Entire Read CSV in another unit";
constexpr const char* kPrintUsage =
    "print IN.CSV -o OUT.pdf [--layout rxyz|displayed] [--unit U]   print an Entire Read CSV to PDF";
constexpr const char* kUnitsHelp = "Units: \"Original Unit\" (or original), uT, mT, T, mG, G, A/m.";

// Messages are kept until the command knows where they belong (stderr); questions about an
// existing file are asked on the terminal unless --yes answered them; a bad line of a
// file is skipped (and reported) so that the rest is still converted.
class ConsolePrompter final : public TerminalPrompter {
public:
    int skippedLines = 0;

    page::Answer AskYesNo(const page::Question& question) override {
        if (question.topic == page::Topic::SkipBadLine) {
            messages.push_back(question.text);
            ++skippedLines;
            return page::Answer::Yes;
        }
        return TerminalPrompter::AskYesNo(question);
    }
    void Flush() { TerminalPrompter::Flush(std::cerr); }
};

struct Options {
    std::string file;  // the word that is not an option
    std::string output;
    std::string unitText;
    std::optional<int> unit;
    std::string layout;
    bool yes = false;
};

// Declares the options a command of this page takes.
enum Takes : unsigned { kOutput = 1, kUnit = 2, kLayout = 4, kYes = 8, kFile = 16 };

// `output` names the file -o writes as the usage does ("OUT.pdf").
void Declare(CommandLine& line, Options& o, unsigned takes, const std::string& output) {
    if (takes & kFile) line.Word("IN.CSV", o.file, "the Entire Read CSV file to read");
    if (takes & kOutput) line.Value("-o,--output", o.output, output, "a file name", "the file to write");
    if (takes & kUnit)
        line.Value("--unit,-u", o.unitText, "U", "a unit", "the unit the values are shown in (see Units)");
    if (takes & kLayout)
        line.Value("--layout", o.layout, "rxyz|displayed", "rxyz or displayed",
                   "the table's columns: Rxyz (the default) or the displayed value");
    if (takes & kYes) line.Flag("-y,--yes", o.yes, "replace an existing file without asking");
}

// The unit asked for, if any; false (after the usage message) when it names none.
bool TakeUnit(const CommandLine& line, Options& o) {
    if (!line.Given("--unit")) return true;
    o.unit = entire_read::DisplayUnitFromText(o.unitText);
    if (o.unit) return true;
    line.UsageError("unknown unit \"" + o.unitText + "\"");
    return false;
}

bool LoadAccuracy() {
    if (link::LoadAccuracyTable() == link::kStatusOk) return true;
    std::cerr << kNoAccuracyFile << '\n';
    return false;
}

void ApplyUnit(EntireRead& model, const Options& o) {
    if (!o.unit) return;
    model.SetUnitSelection(*o.unit);
    model.UnitChange();
}

// Writes the shown records to -o (with the page's ".CSV" rule) or to standard output.
int WriteOut(EntireRead& model, ConsolePrompter& prompter, const Options& o) {
    if (o.output.empty()) {
        const std::string text = model.CsvText();
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return std::ferror(stdout) ? kFailed : kOk;
    }
    prompter.assumeYes = o.yes;
    prompter.savePath = o.output;
    if (!model.SaveCsv()) {
        if (prompter.messages.empty()) prompter.messages.push_back("Nothing was saved.");
        return kFailed;
    }
    std::cout << page::WithExtension(o.output, page::kCsvExtension) << '\n';
    return kOk;
}

int Read(const CommandLine& line, Options& o) {
    if (!TakeUnit(line, o)) return kUsageError;
    if (!LoadAccuracy()) return kFailed;
    link::Link& link = link::TheLink();
    if (const int rc = OpenMeter(link)) return rc;
    WatchedMeter meter(link);
    ConsolePrompter prompter;
    EntireRead model(meter, prompter);
    model.Read();
    if (!model.Downloading()) {  // the page said why
        prompter.Flush();
        return AfterPageMessage(meter.Failure());
    }
    {
        StatusLine status;  // gone before the records are written, perhaps to the same terminal
        while (model.Step()) status.Show(std::to_string(model.RecordCount()) + " records read");
    }
    const link::Status end = model.DownloadEnd();
    if (model.RecordCount() == 0) {  // "No data was found in the QM8620.", a lost meter, or another answer
        prompter.Flush();
        return AfterPageMessage(end);
    }
    // A download cut short still delivers what arrived; the message and the exit code
    // say it is not the whole memory (the page ends quietly on answers other than a lost
    // meter; a script is told all the same).
    std::vector<std::string> downloadMessages;
    downloadMessages.swap(prompter.messages);
    if (end != link::kStatusOk && end != link::kStatusNoDevice && end != link::kStatusBusy)
        downloadMessages.push_back("The download ended after " + std::to_string(model.RecordCount()) + " records: [" +
                                   StatusHex(end) + " " + StatusName(end) + "]");
    ApplyUnit(model, o);
    const int rc = WriteOut(model, prompter, o);
    for (const auto& m : downloadMessages) std::cerr << m << '\n';
    prompter.Flush();
    return rc != kOk ? rc : ExitFor(end);
}

// Reads IN.CSV into the model and shows it in the unit asked for; kOk, or the exit code
// with the messages written (`nothing` when the file holds no record: the page's message
// for what the command was to do with them).
int ReadFile(EntireRead& model, ConsolePrompter& prompter, const Options& o, std::string_view nothing) {
    if (!model.ReadCsvFile(o.file)) {
        prompter.Flush();
        return kFailed;
    }
    if (model.RecordCount() == 0) {
        prompter.messages.push_back(std::string(nothing));
        prompter.Flush();
        return kFailed;
    }
    ApplyUnit(model, o);
    return kOk;
}

int Convert(const CommandLine& line, Options& o) {
    if (!TakeUnit(line, o)) return kUsageError;
    if (!LoadAccuracy()) return kFailed;
    link::Link& link = link::TheLink();
    ConsolePrompter prompter;
    EntireRead model(link, prompter);
    if (const int rc = ReadFile(model, prompter, o, entire_read::kNothingToSave)) return rc;
    int rc = WriteOut(model, prompter, o);
    if (rc == kOk && prompter.skippedLines > 0) rc = kFailed;  // written, but not every line
    prompter.Flush();
    return rc;
}

int Print(const CommandLine& line, Options& o) {
    if (!TakeUnit(line, o)) return kUsageError;
    if (!o.layout.empty() && o.layout != "rxyz" && o.layout != "displayed")
        return line.UsageError("unknown layout \"" + o.layout + "\"");
    if (!LoadAccuracy()) return kFailed;
    link::Link& link = link::TheLink();
    ConsolePrompter prompter;
    EntireRead model(link, prompter);
    if (const int rc = ReadFile(model, prompter, o, entire_read::kNothingToPrint)) return rc;
    if (o.layout == "displayed") model.ShowDisplayedValue();
    const auto job = model.PrintData();
    if (!job) {
        prompter.Flush();
        return kFailed;
    }
    if (const auto target = platform::ResolveSaveTarget(o.output); !target.refusal.empty()) {
        prompter.Flush();
        return FileNotWritten(o.output, target.refusal);
    }
    const auto app = GuiApplicationForPrinting();
    const bool printed = WritePdf(o.output, QString::fromLatin1(entire_read::kPrintDocumentName),
                                  [&](QPdfWriter& writer) { return entire_read::PrintTo(writer, *job); });
    prompter.Flush();
    if (!printed) return FileNotWritten(o.output);
    std::cout << o.output << '\n';
    return prompter.skippedLines > 0 ? kFailed : kOk;
}

}  // namespace

void AddEntireReadCommands(Registry& registry) {
    // A command of this page: its options declared, then run with them.
    struct Page {
        const char* name;
        const char* usage;
        unsigned takes;
        const char* output;
        std::vector<std::string> required;
        int (*run)(const CommandLine&, Options&);
        std::vector<int> exits;
    };
    const Page pages[] = {
        {"read", kReadUsage, kOutput | kUnit | kYes, "FILE.CSV", {}, Read, kMeterExits},
        {"convert", kConvertUsage, kFile | kOutput | kUnit | kYes, "OUT.CSV", {"--unit"}, Convert, kFileExits},
        {"print", kPrintUsage, kFile | kOutput | kUnit | kLayout, "OUT.pdf", {"-o"}, Print, kFileExits},
    };
    for (const Page& page : pages) {
        registry.Add({page.name, page.usage, kUnitsHelp,
                      [page](CommandLine& line) -> CommandRun {
                          auto o = std::make_shared<Options>();
                          Declare(line, *o, page.takes, page.output);
                          for (const std::string& r : page.required) line.Require(r);
                          const auto run = page.run;
                          return [&line, o, run] { return run(line, *o); };
                      },
                      page.exits});
    }
}

}  // namespace tessera::cli
