// tessera-cli "log" and "plot": the Effective Value Logger without its window. "log" runs
// the page's model with the page's poll schedule against the meter and writes the logger
// CSV; Ctrl-C (and SIGTERM, SIGHUP) stops the run like the Stop button and still writes what
// was taken. "plot" renders the logger printout of a saved log into a PDF.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/MeterSession.h"
#include "cli/Terminal.h"
#include "link/Link.h"
#include "logger/Journal.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"
#include "platform/Clock.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "platform/StopRequest.h"

#include "cli/PdfOutput.h"
#include "logger/GraphPainter.h"

namespace tessera::cli {
namespace {

using logger::LoggerModel;

constexpr const char* kLogUsage =
    "log --period P --method fixed|average|maximum [--duration D | --samples N] -o FILE.CSV [--yes]   "
    "log the meter's effective values (P: 1s 5s 10s 20s 1min 2min 5min 10min 20min 1h per division, or 0-9; "
    "D: seconds, or with s/min/h; every 32000 samples the run goes on in FILE-002.CSV, FILE-003.CSV, ...)";
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
    std::string lastMessage;

    page::Answer AskYesNo(const page::Question& question) override {
        if (question.topic == page::Topic::SkipBadLine) {
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
        lastMessage = message;
        std::cerr << message << '\n';
    }
};

// The output file is settled before the first sample, so a run is never taken for nothing:
// a file that cannot be written, an Entire Read file, or an existing file the user does not
// want replaced ends the command at once. False (with the message written) when so.
bool OutputUsable(ConsolePrompter& prompter) {
    const std::string name = page::WithExtension(prompter.savePath, page::kCsvExtension);
    if (platform::FileExists(name)) {
        const auto first = logger::FirstLine(name);
        if (first && first->find(page::kEntireReadBannerKey) != std::string::npos) {
            std::cerr << logger::kMsgEntireReadFileOnSave << '\n';
            return false;
        }
        if (prompter.AskYesNo({page::Topic::Overwrite, logger::kQuestionOverwrite}) != page::Answer::Yes) {
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
    static const char* kNames[logger::kPeriods] = {"1s", "5s", "10s", "20s", "1min", "2min", "5min", "10min", "20min", "1h"};
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

int Log(const std::vector<std::string>& args) {
    std::optional<int> period, method;
    std::optional<long long> duration, samples;
    ConsolePrompter prompter;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        auto value = [&]() -> std::string { return hasValue ? args[++i] : std::string(); };
        if (a == "--period" && hasValue) {
            period = ParsePeriod(value());
            if (!period) return std::cerr << "Unknown period \"" << args[i] << "\".\n", kUsageError;
        } else if (a == "--method" && hasValue) {
            method = ParseMethod(value());
            if (!method) return std::cerr << "Unknown method \"" << args[i] << "\".\n", kUsageError;
        } else if (a == "--duration" && hasValue) {
            duration = ParseDuration(value());
            if (!duration) return std::cerr << "Unknown duration \"" << args[i] << "\".\n", kUsageError;
        } else if (a == "--samples" && hasValue) {
            char* end = nullptr;
            const std::string v = value();
            const long long n = std::strtoll(v.c_str(), &end, 10);
            if (*end != '\0' || n <= 0) return std::cerr << "Unknown sample count \"" << v << "\".\n", kUsageError;
            samples = n;
        } else if ((a == "-o" || a == "--output") && hasValue) {
            prompter.savePath = value();
        } else if (a == "--yes" || a == "-y") {
            prompter.assumeYes = true;
        } else {
            std::cerr << "usage: tessera-cli " << kLogUsage << '\n';
            return kUsageError;
        }
    }
    if (!period || !method || prompter.savePath.empty() || (duration && samples)) {
        std::cerr << "usage: tessera-cli " << kLogUsage << '\n';
        return kUsageError;
    }

    if (!OutputUsable(prompter)) return kFailed;
    link::Link& link = link::TheLink();
    if (const int rc = OpenMeter(link)) return rc;

    platform::Clock& clock = platform::DefaultClock();
    LoggerModel model(link, prompter, clock);
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
    survey.onPartSaved = [](const std::string& path, int n) { std::cout << n << " samples written to " << path << '\n'; };
    if (!model.Start()) return prompter.lastMessage == logger::kMsgNoSensor ? kNoSensor : kNoMeter;

    interrupted = 0;
    platform::StopOnRequest(&interrupted);  // kept until the end: a second signal must not cut the saving short
    const int informedBefore = prompter.informed;
    const auto began = std::chrono::steady_clock::now();
    bool journalWarned = false;
    while (model.Running()) {
        const bool timeUp = duration && std::chrono::steady_clock::now() - began >= std::chrono::seconds(*duration);
        const bool enough = samples && survey.SamplesSaved() + model.SampleCount() >= *samples;
        if (interrupted || timeUp || enough) {
            model.Stop();
            break;
        }
        const std::uint32_t wait = model.MillisUntilNextPoll(clock.Millis());
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::uint32_t>(wait, 100)));
        else model.Tick(clock.Millis());
        model.TakeDrawRequests();  // nothing draws them here; they must not pile up
        if (!journal.Problem().empty() && !journalWarned) {
            journalWarned = true;
            std::cerr << journal.Problem() << " The run goes on without it.\n";
        }
    }
    const bool stoppedByFailure = prompter.informed > informedBefore;

    if (!model.HasData()) {
        if (survey.PartsSaved() > 0) return stoppedByFailure ? kFailed : kOk;  // the last part had no sample yet
        std::cerr << logger::kMsgNoDataToSave << '\n';
        return kFailed;
    }
    prompter.savePath = survey.CurrentPath();
    if (!model.SaveCsv()) {
        if (journal.Active()) {
            std::cerr << "The samples are kept; \"tessera-cli recover\" brings them back.\n";
        }
        return kFailed;
    }
    std::cout << model.SampleCount() + 1 << " samples written to " << prompter.savePath << '\n';
    // The limit stop is a full log, not a failure; a lost sensor or meter is.
    return stoppedByFailure && model.SampleCount() + 1 < logger::kSampleLimit ? kFailed : kOk;
}

int Plot(const std::vector<std::string>& args) {
    std::string input, output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size()) output = args[++i];
        else if (input.empty() && args[i].rfind("-", 0) != 0) input = args[i];
        else return std::cerr << "usage: tessera-cli " << kPlotUsage << '\n', kUsageError;
    }
    if (input.empty() || output.empty()) {
        std::cerr << "usage: tessera-cli " << kPlotUsage << '\n';
        return kUsageError;
    }
    const auto app = GuiApplicationForPrinting();
    link::AbsentMeter noMeter;  // "plot" needs the model, never the meter
    ConsolePrompter prompter;
    LoggerModel model(noMeter, prompter, platform::DefaultClock());
    if (!platform::FileExists(input)) {
        std::cerr << page::FileNotFoundMessage(input) << '\n';
        return kFailed;
    }
    if (!model.ReadFile(input)) return kFailed;
    {
        QPdfWriter writer(QString::fromStdString(output));
        SetUpPdf(writer, QString::fromLatin1(logger::kPrintDocumentName));
        writer.setPageOrientation(QPageLayout::Landscape);
        logger::PaintPrintout(writer, model);
    }
    if (!platform::FileExists(output)) return FileNotWritten(output);
    return kOk;
}

const RegisterCommand logCommand("log", kLogUsage, Log);
const RegisterCommand plotCommand("plot", kPlotUsage, Plot);

}  // namespace
}  // namespace tessera::cli
