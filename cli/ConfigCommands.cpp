// tessera-cli "config": the Configuration page without its window. The sub-commands run
// the page's model with the page's texts; questions are answered on the terminal (or by
// --yes), messages of a failure go to stderr and end with a non-zero exit code.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "config/ConfigModel.h"  // with the Prompter interface (header only)
#include "config/SettingFile.h"
#include "link/Link.h"
#include "settings/Vocabulary.h"

namespace tessera::cli {
namespace {

constexpr const char* kNoTransport = "You need the DLL -- 'Bulklink.dll'.";
constexpr const char* kConfigUsage =
    "config show | save FILE.SET [--yes] | apply FILE.SET | init [--yes]   Configuration page and setting files";

// The exit codes tessera-cli's commands share.
enum Exit { kOk = 0, kFailed = 1, kUsageError = 2, kNoLibrary = 3, kNoMeter = 4 };

// Questions on the terminal, file dialogs answered by the command line, messages kept so
// the command can send them to stdout or stderr once it knows how things went.
class ConsolePrompter final : public ui::Prompter {
public:
    bool assumeYes = false;
    std::string openPath;
    std::string savePath;
    std::vector<std::string> messages;

    ui::Answer AskYesNo(const std::string& question) override { return Ask(question); }
    ui::Answer AskYesNoCancel(const std::string& question) override { return Ask(question); }
    void Inform(const std::string& message) override { messages.push_back(message); }
    std::string ChooseOpenFile(const ui::FileFilter&) override { return openPath; }
    std::string ChooseSaveFile(const ui::FileFilter&) override { return savePath; }
    bool ChoosePrinter(QPrinter&) override { return false; }

    void Flush(bool failed) {
        for (const std::string& m : messages) (failed ? std::cerr : std::cout) << m << '\n';
        messages.clear();
    }

private:
    ui::Answer Ask(const std::string& question) {
        if (assumeYes) return ui::Answer::Yes;
        std::cerr << question << " [y/N] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) {
            std::cerr << '\n';
            return ui::Answer::No;
        }
        return (line == "y" || line == "Y" || line == "yes" || line == "Yes") ? ui::Answer::Yes : ui::Answer::No;
    }
};

struct Options {
    std::vector<std::string> words;
    bool yes = false;
    bool bad = false;
};

Options Parse(const std::vector<std::string>& args) {
    Options o;
    for (const std::string& a : args) {
        if (a == "--yes" || a == "-y") o.yes = true;
        else if (!a.empty() && a[0] == '-') o.bad = true;
        else o.words.push_back(a);
    }
    return o;
}

int Usage() {
    std::cerr << "Usage: tessera-cli " << kConfigUsage << '\n';
    return kUsageError;
}

// Binds the transport, opens the session and reads the meter's settings; kOk or the exit code.
int Connect(link::Link& link) {
    if (!link.Bound() && !link.BindTransport()) {
        std::cerr << kNoTransport << '\n';
        return kNoLibrary;
    }
    if ((!link.SessionOpen() && !link.OpenSession()) || link.RefreshSettings() != link::kStatusOk) {
        std::cerr << config::kConnectionFailed << '\n';
        return kNoMeter;
    }
    return kOk;
}

void PrintCurrentSettings(const config::ConfigModel& model) {
    std::printf("%-4s%-18s%s\n", "No.", "Item", "Current Setting");
    for (int row = 0; row < settings::kRowCount; ++row)
        std::printf("%-4s%-18s%s\n", model.CellText(row, config::kColumnNumber).c_str(),
                    model.CellText(row, config::kColumnItem).c_str(),
                    model.CellText(row, config::kColumnCurrent).c_str());
}

int Show(const Options& o) {
    if (o.words.size() != 1) return Usage();
    link::Link& link = link::TheLink();
    if (const int rc = Connect(link)) return rc;
    ConsolePrompter prompter;
    config::ConfigModel model(link, prompter);
    PrintCurrentSettings(model);
    return kOk;
}

int Save(const Options& o) {
    if (o.words.size() != 2) return Usage();
    link::Link& link = link::TheLink();
    if (const int rc = Connect(link)) return rc;
    ConsolePrompter prompter;
    prompter.assumeYes = o.yes;
    prompter.savePath = o.words[1];
    config::ConfigModel model(link, prompter);
    model.SettingsFromMeter();
    if (!model.SettingSave()) {
        if (prompter.messages.empty()) prompter.messages.push_back("Nothing was saved.");
        prompter.Flush(true);
        return kFailed;
    }
    std::cout << config::WithSetExtension(o.words[1]) << '\n';
    return kOk;
}

int Apply(const Options& o) {
    if (o.words.size() != 2) return Usage();
    link::Link& link = link::TheLink();
    ConsolePrompter prompter;
    // The command line is the confirmation.
    prompter.assumeYes = true;
    config::ConfigModel model(link, prompter);
    // The file is checked before the meter is touched.
    if (!model.LoadSettingFile(o.words[1])) {
        prompter.Flush(true);
        return kFailed;
    }
    if (const int rc = Connect(link)) return rc;
    if (!model.StartConfigure() || model.RunConfiguration() != config::ConfigModel::StepResult::Done) {
        prompter.Flush(true);
        return kFailed;
    }
    prompter.Flush(false);
    PrintCurrentSettings(model);
    return kOk;
}

int Init(const Options& o) {
    if (o.words.size() != 1) return Usage();
    link::Link& link = link::TheLink();
    if (const int rc = Connect(link)) return rc;
    ConsolePrompter prompter;
    prompter.assumeYes = o.yes;
    config::ConfigModel model(link, prompter);
    if (!model.Initialize()) {
        if (prompter.messages.empty()) prompter.messages.push_back("The QM8620 was not initialized.");
        prompter.Flush(true);
        return kFailed;
    }
    prompter.Flush(false);
    PrintCurrentSettings(model);
    return kOk;
}

int Config(const std::vector<std::string>& args) {
    const Options o = Parse(args);
    if (o.bad || o.words.empty()) return Usage();
    const std::string& what = o.words[0];
    if (what == "show") return Show(o);
    if (what == "save") return Save(o);
    if (what == "apply") return Apply(o);
    if (what == "init") return Init(o);
    return Usage();
}

const RegisterCommand kConfigCommand("config", kConfigUsage, Config);

}  // namespace
}  // namespace tessera::cli
