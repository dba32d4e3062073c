// tessera-cli "config": the Configuration page without its window. The sub-commands run
// the page's model with the page's texts; questions are answered on the terminal (or by
// --yes), messages of a failure go to stderr and end with a non-zero exit code.

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/MeterSession.h"
#include "cli/Terminal.h"
#include "config/ConfigModel.h"
#include "config/SettingFile.h"
#include "link/Link.h"
#include "settings/Vocabulary.h"

namespace tessera::cli {
namespace {

constexpr const char* kConfigUsage =
    "config show | save FILE.SET [--yes] | apply FILE.SET | init [--yes]   Configuration page and setting files";

struct Options {
    std::vector<std::string> words;
    bool yes = false;
};

// Reaches the meter and reads its settings; kOk or the exit code.
int Connect(link::Link& link) {
    if (const int rc = OpenMeter(link)) return rc;
    if (const link::Status s = link.RefreshSettings(); s != link::kStatusOk) {
        std::cerr << config::kConnectionFailed << '\n';
        return AfterPageMessage(s);
    }
    return kOk;
}

// The words after the action: exactly the setting file (`file`) or nothing; kOk, or the
// usage error said.
int TakeWords(const CommandLine& line, const Options& o, bool file) {
    const std::size_t wanted = file ? 2 : 1;
    if (o.words.size() < wanted) return line.UsageError("config " + o.words[0] + " needs FILE.SET");
    if (o.words.size() > wanted) return line.UsageError("unexpected argument \"" + o.words[wanted] + "\"");
    return kOk;
}

// Messages of a failure go to stderr, the others to stdout.
void Flush(TerminalPrompter& prompter, bool failed) { prompter.Flush(failed ? std::cerr : std::cout); }

void PrintCurrentSettings(const config::ConfigModel& model) {
    std::printf("%-4s%-18s%s\n", "No.", "Item", "Current Setting");
    for (int row = 0; row < settings::kRowCount; ++row)
        std::printf("%-4s%-18s%s\n", model.CellText(row, config::kColumnNumber).c_str(),
                    model.CellText(row, config::kColumnItem).c_str(),
                    model.CellText(row, config::kColumnCurrent).c_str());
}

int Show(const CommandLine& line, const Options& o) {
    if (const int rc = TakeWords(line, o, false)) return rc;
    link::Link& link = link::TheLink();
    if (const int rc = Connect(link)) return rc;
    TerminalPrompter prompter;
    config::ConfigModel model(link, prompter);
    PrintCurrentSettings(model);
    return kOk;
}

int Save(const CommandLine& line, const Options& o) {
    if (const int rc = TakeWords(line, o, true)) return rc;
    link::Link& link = link::TheLink();
    if (const int rc = Connect(link)) return rc;
    TerminalPrompter prompter;
    prompter.assumeYes = o.yes;
    prompter.savePath = o.words[1];
    config::ConfigModel model(link, prompter);
    model.SettingsFromMeter();
    if (!model.SettingSave()) {
        if (prompter.messages.empty()) prompter.messages.push_back("Nothing was saved.");
        Flush(prompter, true);
        return kFailed;
    }
    std::cout << config::WithSetExtension(o.words[1]) << '\n';
    return kOk;
}

int Apply(const CommandLine& line, const Options& o) {
    if (const int rc = TakeWords(line, o, true)) return rc;
    link::Link& link = link::TheLink();
    TerminalPrompter prompter;
    // The command line is the confirmation.
    prompter.assumeYes = true;
    WatchedMeter meter(link);
    config::ConfigModel model(meter, prompter);
    // The file is checked before the meter is touched.
    if (!model.LoadSettingFile(o.words[1])) {
        Flush(prompter, true);
        return kFailed;
    }
    if (const int rc = Connect(link)) return rc;
    if (!model.StartConfigure() || model.RunConfiguration() != config::ConfigModel::StepResult::Done) {
        Flush(prompter, true);
        return AfterPageMessage(meter.Failure());
    }
    Flush(prompter, false);
    PrintCurrentSettings(model);
    return kOk;
}

int Init(const CommandLine& line, const Options& o) {
    if (const int rc = TakeWords(line, o, false)) return rc;
    link::Link& link = link::TheLink();
    if (const int rc = Connect(link)) return rc;
    TerminalPrompter prompter;
    prompter.assumeYes = o.yes;
    WatchedMeter meter(link);
    config::ConfigModel model(meter, prompter);
    if (!model.InitializeMeter()) {
        if (prompter.messages.empty()) prompter.messages.push_back("The QM8620 was not initialized.");
        Flush(prompter, true);
        return AfterPageMessage(meter.Failure());
    }
    Flush(prompter, false);
    PrintCurrentSettings(model);
    return kOk;
}

int Config(const CommandLine& line, const Options& o) {
    if (o.words.empty()) return line.UsageError("config needs show, save, apply or init");
    const std::string& what = o.words[0];
    if (what == "show") return Show(line, o);
    if (what == "save") return Save(line, o);
    if (what == "apply") return Apply(line, o);
    if (what == "init") return Init(line, o);
    return line.UsageError("unknown config action \"" + what + "\"");
}

}  // namespace

void AddConfigCommands(Registry& registry) {
    registry.Add({"config", kConfigUsage, "",
                  [](CommandLine& line) -> CommandRun {
                      auto o = std::make_shared<Options>();
                      line.Words("show|save|apply|init", o->words,
                                 "what to do, and the setting file for save and apply");
                      line.Flag("-y,--yes", o->yes, "save: replace an existing file; init: without asking");
                      return [&line, o] { return Config(line, *o); };
                  },
                  kMeterExits});
}

}  // namespace tessera::cli
