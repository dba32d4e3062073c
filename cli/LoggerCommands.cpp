// tessera-cli "log" and "plot": the Effective Value Logger without its window. "log" runs
// the page's model with the page's poll schedule against the meter and writes the logger
// CSV; Ctrl-C (and SIGTERM, SIGHUP) stops the run like the Stop button and still writes what
// was taken. With --reconnect a lost meter or sensor does not end it (cli/Reconnect.h). On a
// terminal a status line says how the run is going. "plot" renders the logger printout of a
// saved log into a PDF.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/LogStatus.h"
#include "cli/MeterSession.h"
#include "cli/Reconnect.h"
#include "cli/Terminal.h"
#include "link/Link.h"
#include "logger/Journal.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/StopRequest.h"
#include "survey/Export.h"

#include "cli/PdfOutput.h"
#include "logger/GraphPainter.h"

namespace tessera::cli {
namespace {

using logger::LoggerModel;

constexpr const char* kLogUsage =
    "log --period P --method fixed|average|maximum [--duration D | --samples N] [--reconnect [--reconnect-timeout "
    "D]] -o FILE.CSV [--yes]   "
    "log the meter's effective values (P: 1s 5s 10s 20s 1min 2min 5min 10min 20min 1h per division, or 0-9; "
    "D: seconds, or with s/min/h; every 32000 samples the run goes on in FILE-002.CSV, FILE-003.CSV, ...)";
constexpr const char* kLogNotes =
    "--reconnect: a lost meter or a removed sensor does not end the run. The samples so far are written as the "
    "next file, the meter is looked for every 5 s (TESSERA_RECONNECT_INTERVAL_MS), and the run goes on in the "
    "file after it with its own start time. Each gap is said on stderr (\"Gap from ... to ...: why.\") and kept "
    "in the journal. --reconnect-timeout D (implies --reconnect) ends the run when the meter is not back within D "
    "of a loss, with the status of what is missing.\n"
    "--marks: each line on standard input is a mark at the sample being taken then (\"heater on\"),\n"
    "journalled with the run and saved beside each file as FILE.marks.csv; the end of the input\n"
    "ends the marks, not the run. Example: tessera-cli log --period 10s --method average -o run.CSV --marks";
constexpr const char* kPlotUsage = "plot FILE.CSV -o OUT.pdf   print a saved logger CSV to PDF";

// Ctrl-C, and the way sessions and service managers stop a program, all stop the run like
// the Stop button: the samples are still written.
volatile std::sig_atomic_t interrupted = 0;

// Messages go to stderr as they come (a run is long); an existing output file is replaced
// only with --yes or a "y" on the terminal; a data line without values is skipped (and
// reported) while reading.
class ConsolePrompter final : public TerminalPrompter {
public:
    int informed = 0;
    int skippedLines = 0;

    page::Answer AskYesNo(const page::Question& question) override {
        if (question.topic == page::Topic::SkipBadLine) {
            ++skippedLines;
            std::cerr << question.text.substr(0, question.text.find('\n')) << " The line is skipped.\n";
            return page::Answer::Yes;
        }
        return TerminalPrompter::AskYesNo(question);
    }
    page::Answer AskYesNoCancel(const page::Question& question) override {
        return AskYesNo(question) == page::Answer::Yes ? page::Answer::Yes : page::Answer::Cancel;
    }
    void Inform(const std::string& message) override {
        ++informed;
        std::cerr << message << '\n';
    }
};

// The output file is settled before the first sample, so a run is never taken for nothing:
// a file that cannot be written, an Entire Read file, or an existing file the user does not
// want replaced ends the command at once. False (with the message written) when so.
bool OutputUsable(ConsolePrompter& prompter) {
    const std::string name = page::WithExtension(prompter.savePath, page::kCsvExtension);
    const platform::SaveTarget target = platform::ResolveSaveTarget(name);
    if (!target.refusal.empty()) {
        std::cerr << page::FileNotWrittenMessage(name, target.refusal) << '\n';
        return false;
    }
    if (target.exists) {
        const auto first = logger::FirstLine(target.path);
        if (first && first->find(page::kEntireReadBannerKey) != std::string::npos) {
            std::cerr << logger::kMsgEntireReadFileOnSave << '\n';
            return false;
        }
        if (prompter.AskYesNo({page::Topic::Overwrite, logger::kQuestionOverwrite, target.path}) != page::Answer::Yes) {
            std::cerr << "Nothing was logged.\n";
            return false;
        }
        prompter.assumeYes = true;  // asked and answered; the save at the end asks again
    }
    std::string why;
    if (!platform::CanReplaceFile(name, &why)) {
        std::cerr << "The file \"" << name << "\" could not be written (" << why << ").\n";
        return false;
    }
    return true;
}

std::optional<int> ParsePeriod(std::string text) {
    if (const auto slash = text.find("/div"); slash != std::string::npos) text.resize(slash);
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
    static const char* kNames[logger::kPeriods] = {"1s",   "5s",   "10s",   "20s",   "1min",
                                                   "2min", "5min", "10min", "20min", "1h"};
    for (int i = 0; i < logger::kPeriods; ++i) {
        if (text == kNames[i]) return i;
    }
    return std::nullopt;
}

std::optional<int> ParseMethod(const std::string& text) {
    if (text == "fixed" || text == "fixed interval" || text == "0") return logger::kFixedInterval;
    if (text == "average" || text == "1") return logger::kAverage;
    if (text == "maximum" || text == "max" || text == "2") return logger::kMaximum;
    return std::nullopt;
}

// Seconds: "90", "90s", "10min", "2h".
std::optional<long long> ParseDuration(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !(value > 0)) return std::nullopt;
    const std::string unit(end);
    double factor = 0;
    if (unit.empty() || unit == "s") factor = 1;
    else if (unit == "m" || unit == "min") factor = 60;
    else if (unit == "h") factor = 3600;
    else return std::nullopt;
    return static_cast<long long>(value * factor);
}

// The words of "log" as given; Log() checks them.
struct LogWords {
    std::string period, method, duration, samples, output, reconnectTimeout;
    bool yes = false, reconnect = false;
    std::string stream;  // each sample on standard output as it comes: "jsonl" or "csv"
    bool streamStops = false;
    bool marks = false;
};

// Lines of standard input, read on a thread of their own so that a person typing (or a
// script writing) never holds up the polls. The thread is left behind when the run ends: it
// may be waiting for a line that never comes, and what it shares lives as long as it does.
class MarkLines {
public:
    void Start() {
        auto shared = shared_;
        std::thread([shared] {
            std::string line;
            while (std::getline(std::cin, line)) {
                std::lock_guard lock(shared->mutex);
                shared->lines.push_back(line);
            }
        }).detach();
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(shared_->mutex);
        return std::exchange(shared_->lines, {});
    }

private:
    struct Shared {
        std::mutex mutex;
        std::vector<std::string> lines;
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

void DeclareLog(CommandLine& line, LogWords& w) {
    line.Value("--period", w.period, "P", "a time base", "the time base, per division (see the usage)");
    line.Value("--method", w.method, "fixed|average|maximum", "a sampling method", "how polls make a sample");
    line.Value("--duration", w.duration, "D", "a duration", "stop after this long (seconds, or with s, min or h)");
    line.Value("--samples", w.samples, "N", "a sample count", "stop after this many samples");
    line.Value("-o,--output", w.output, "FILE.CSV", "a file name", "the logger CSV file to write");
    line.Flag("-y,--yes", w.yes, "replace existing files without asking");
    line.Value("--stream", w.stream, "jsonl|csv", "jsonl or csv",
               "write each sample to standard output as it comes (other messages go to standard error)");
    line.Flag("--stream-stops", w.streamStops, "end the run when the stream's reader goes away");
    line.Flag("--marks", w.marks, "each line on standard input is a mark at the present sample");
    line.Flag("--reconnect", w.reconnect, "a lost meter or sensor does not end the run (see the notes)");
    line.Value("--reconnect-timeout", w.reconnectTimeout, "D", "a duration",
               "end the run when the meter is not back this long after a loss");
    for (const char* needed : {"--period", "--method", "-o"}) line.Require(needed);
    line.Exclude("--duration", "--samples");
}

int Log(const CommandLine& line, const LogWords& w) {
    std::optional<int> period, method;
    std::optional<long long> duration, samples, reconnectTimeout;
    ConsolePrompter prompter;
    if (line.Given("--period")) {
        period = ParsePeriod(w.period);
        if (!period) return std::cerr << "Unknown period \"" << w.period << "\".\n", kUsageError;
    }
    if (line.Given("--method")) {
        method = ParseMethod(w.method);
        if (!method) return std::cerr << "Unknown method \"" << w.method << "\".\n", kUsageError;
    }
    if (line.Given("--duration")) {
        duration = ParseDuration(w.duration);
        if (!duration) return std::cerr << "Unknown duration \"" << w.duration << "\".\n", kUsageError;
    }
    if (line.Given("--reconnect-timeout")) {
        reconnectTimeout = ParseDuration(w.reconnectTimeout);
        if (!reconnectTimeout) return std::cerr << "Unknown duration \"" << w.reconnectTimeout << "\".\n", kUsageError;
    }
    if (line.Given("--samples")) {
        char* end = nullptr;
        const long long n = std::strtoll(w.samples.c_str(), &end, 10);
        if (w.samples.empty() || *end != '\0' || n <= 0)
            return std::cerr << "Unknown sample count \"" << w.samples << "\".\n", kUsageError;
        samples = n;
    }
    prompter.savePath = w.output;
    prompter.assumeYes = w.yes;
    if (prompter.savePath.empty()) return line.UsageError("-o needs a file name");
    std::optional<survey::ExportForm> streamForm;
    if (line.Given("--stream")) {
        streamForm = survey::ExportFormNamed(w.stream);
        if (!streamForm || w.stream == "spreadsheet" || w.stream == "open-csv")
            return line.UsageError("--stream is jsonl or csv, not \"" + w.stream + "\"");
    }
    if (w.streamStops && !streamForm) return line.UsageError("--stream-stops needs --stream");
    // With a stream, standard output carries the samples only; what "log" says goes to stderr.
    std::ostream& say = streamForm ? std::cerr : std::cout;

    if (!OutputUsable(prompter)) return kFailed;
    link::Link& link = link::TheLink();
    if (const int rc = OpenMeter(link)) return rc;

    platform::Clock& clock = platform::DefaultClock();
    WatchedMeter meter(link);
    LoggerModel model(meter, prompter, clock);
    model.Refresh();
    model.SelectPeriod(*period);
    if (model.PeriodIndex() != *period) {
        std::cerr << "This period cannot be chosen while the meter's slow response is on.\n";
        return kUsageError;
    }
    model.SelectMethod(*method);
    if (model.SamplingMethod() != *method) {
        std::cerr << "\"" << logger::MethodText(*method) << "\" needs more than one poll per sample; "
                  << "choose a longer period.\n";
        return kUsageError;
    }
    // Crash safety and long surveys: every sample goes to the journal as it is taken, and
    // every full store to the next file NAME.CSV, NAME-002.CSV, ...
    logger::RunJournal journal;
    model.SetJournal(&journal);
    logger::SurveyFiles survey(prompter.savePath, prompter.assumeYes, prompter);
    survey.Attach(model);
    survey.onPartSaved = [&say](const std::string& path, int n) { say << n << " samples written to " << path << '\n'; };
    std::unique_ptr<survey::LiveStream> stream;
    if (streamForm) {
        platform::SurviveClosedPipe();  // a reader that goes away ends the stream, not the run
        stream = std::make_unique<survey::LiveStream>(
            *streamForm,
            [](std::string_view piece) {
                return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size() && std::fflush(stdout) == 0;
            },
            page::WithExtension(prompter.savePath, page::kCsvExtension));
        // The last samples of a full store go out before the store is handed over and cleared.
        model.SetStoreFullHandler([&](const logger::LogHeader& header, int lastSlot) {
            stream->FollowFullStore(model);
            return survey.SaveFullStore(header, lastSlot, model.Journal(), model.Marks());
        });
    }
    // What stopped the run, or kept it from starting, after the page said so: the meter lost
    // or busy (its first failing answer), a sensor that is missing, or another failure.
    auto failure = [&meter]() -> int {
        if (meter.Failure() != link::kStatusOk) return AfterPageMessage(meter.Failure());
        return meter.SensorMissing() ? kNoSensor : kFailed;
    };
    if (!model.Start()) return failure();

    interrupted = 0;
    platform::StopOnRequest(&interrupted);  // kept until the end: a second signal must not cut the saving short
    platform::SurviveFileSizeLimit();
    int informedBefore = prompter.informed;
    const auto began = std::chrono::steady_clock::now();
    bool streamEnded = false;  // --stream-stops and the stream's reader went away
    auto stopWanted = [&] {
        const bool timeUp = duration && std::chrono::steady_clock::now() - began >= std::chrono::seconds(*duration);
        const bool enough = samples && SamplesTaken(model, survey) >= *samples;
        return interrupted || timeUp || enough || streamEnded;
    };
    std::optional<Reconnection> reconnection;
    if (w.reconnect || reconnectTimeout) {
        Reconnection::Options options;
        if (reconnectTimeout) options.timeout = std::chrono::seconds(*reconnectTimeout);
        options.interval = ReconnectInterval();
        reconnection.emplace(link, meter, model, survey, clock, options);
    }
    // A stream on the terminal shows the run sample by sample; a status line there would be
    // drawn between its lines (from the stream's own writing thread, too).
    std::optional<LogStatus> status;
    if (!(streamForm && platform::StandardOutputIsTerminal())) status.emplace(model, survey);
    auto reconnections = [&reconnection] { return reconnection ? reconnection->Count() : 0; };
    bool journalWarned = false, streamWarned = false;
    MarkLines markLines;
    if (w.marks) markLines.Start();
    for (;;) {
        while (model.Running()) {
            for (const std::string& text : markLines.Take()) {
                if (logger::MarkText(text).empty()) continue;  // an empty line marks nothing
                if (model.Mark(text))
                    std::cerr << "Mark at sample " << SamplesTaken(model, survey) + 1 << ": " << logger::MarkText(text)
                              << '\n';
            }
            if (stopWanted()) {
                model.Stop();
                break;
            }
            const std::uint32_t wait = model.MillisUntilNextPoll(clock.Millis());
            if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::uint32_t>(wait, 100)));
            else model.Tick(clock.Millis());
            model.TakeDrawRequests();  // nothing draws them here; they must not pile up
            if (stream) {
                stream->Follow(model);
                if (stream->ReaderGone() && !streamWarned) {
                    streamWarned = true;
                    if (w.streamStops) {
                        std::cerr << "The stream's reader went away; the run stops.\n";
                        streamEnded = true;
                        model.Stop();
                        break;
                    }
                    std::cerr << "The stream's reader went away; the run goes on.\n";
                }
            }
            if (reconnection) reconnection->AfterTick();
            if (!journal.Problem().empty() && !journalWarned) {
                journalWarned = true;
                std::cerr << journal.Problem() << " The run goes on.\n";
            }
            if (status) status->Running(reconnections());
        }
        // A loss the survey outlives: its samples are kept, and the run goes on once the meter is back.
        const auto loss = reconnection && !stopWanted() ? reconnection->Loss() : std::nullopt;
        if (!loss) break;
        const auto outcome = reconnection->Outlive(*loss, stopWanted, [&](const logger::JournalGap& gap) {
            if (status) status->Waiting(gap, reconnections());
        });
        if (outcome == Reconnection::Result::NotKept || outcome == Reconnection::Result::TimedOut) break;
        informedBefore = prompter.informed;  // outlived: that loss is no reason for a failing status
        if (outcome == Reconnection::Result::Stopped) break;
        journalWarned = false;
    }
    const bool stoppedByFailure = prompter.informed > informedBefore;
    if (stream) stream->Follow(model);  // the samples completed before the run ended

    if (model.DataState() != page::DataState::Unsaved) {
        if (survey.PartsSaved() > 0) return stoppedByFailure ? failure() : kOk;  // the last part had no sample yet
        std::cerr << logger::kMsgNoDataToSave << '\n';
        return stoppedByFailure ? failure() : kFailed;
    }
    prompter.savePath = survey.CurrentPath();
    if (!model.SaveCsv()) {
        // The page's message said what the journal keeps. The samples are still in memory:
        // another file (another disk) may take them, if the person at the terminal names one.
        prompter.assumeYes = w.yes;     // a file named now is asked about before it is replaced
        while (!w.marks && std::cin) {  // with --marks the input is the marks'
            std::cerr << "Another file for the samples (empty: none): " << std::flush;
            std::string other;
            if (!std::getline(std::cin, other)) std::cerr << '\n';  // what follows starts on a line of its own
            if (other.empty()) break;
            prompter.savePath = page::WithExtension(other, page::kCsvExtension);
            if (model.SaveCsv()) {
                say << model.SampleCount() + 1 << " samples written to " << prompter.savePath << '\n';
                return kFailed;  // not where the command was told to write them
            }
        }
        if (journal.SamplesKept() > 0) std::cerr << "\"tessera-cli recover\" brings back what the journal keeps.\n";
        return kFailed;
    }
    say << model.SampleCount() + 1 << " samples written to " << prompter.savePath << '\n';
    if (stream && !stream->Finish(std::chrono::seconds(2)) && !stream->ReaderGone())
        std::cerr << "The stream's reader did not take its last samples.\n";
    if (stream && stream->LeftOut() > 0)
        std::cerr << stream->LeftOut() << " samples were left out of the stream: its reader fell too far behind.\n";
    // The limit stop is a full log, not a failure; a lost sensor or meter is.
    return stoppedByFailure && model.SampleCount() + 1 < logger::kSampleLimit ? failure() : kOk;
}

int Plot(const CommandLine& line, const std::string& input, const std::string& output) {
    if (output.empty()) return line.UsageError("-o needs a file name");
    const auto app = GuiApplicationForPrinting();
    link::AbsentMeter noMeter;  // "plot" needs the model, never the meter
    ConsolePrompter prompter;
    LoggerModel model(noMeter, prompter, platform::DefaultClock());
    if (!platform::FileExists(input)) {
        std::cerr << page::FileNotFoundMessage(input) << '\n';
        return kFailed;
    }
    if (!model.ReadFile(input)) return kFailed;
    if (const auto target = platform::ResolveSaveTarget(output); !target.refusal.empty())
        return FileNotWritten(output, target.refusal);
    const bool printed = WritePdf(output, QString::fromLatin1(logger::kPrintDocumentName), [&](QPdfWriter& writer) {
        writer.setPageOrientation(QPageLayout::Landscape);
        logger::PaintPrintout(writer, model);
        return true;
    });
    if (!printed) return FileNotWritten(output);
    return prompter.skippedLines > 0 ? kFailed : kOk;  // printed, but not every line
}

}  // namespace

void AddLoggerCommands(Registry& registry) {
    registry.Add({"log", kLogUsage, kLogNotes,
                  [](CommandLine& line) -> CommandRun {
                      auto words = std::make_shared<LogWords>();
                      DeclareLog(line, *words);
                      return [&line, words] { return Log(line, *words); };
                  },
                  kLoggingExits});
    registry.Add({"plot", kPlotUsage, "",
                  [](CommandLine& line) -> CommandRun {
                      auto input = std::make_shared<std::string>();
                      auto output = std::make_shared<std::string>();
                      line.Word("FILE.CSV", *input, "the logger CSV file to print");
                      line.Value("-o,--output", *output, "OUT.pdf", "a file name", "the PDF file to write");
                      line.Require("-o");
                      return [&line, input, output] { return Plot(line, *input, *output); };
                  },
                  kFileExits});
}

}  // namespace tessera::cli
