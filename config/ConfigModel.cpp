#include "config/ConfigModel.h"

#include <fstream>

#include "config/SettingFile.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "settings/Vocabulary.h"

namespace tessera::config {

using settings::MeterSettings;

std::string FileNotOpenedMessage(const std::string& path) { return "The file \"" + path + "\" could not be opened."; }
std::string FileNotCreatedMessage(const std::string& path, const std::string& reason) {
    std::string message = "The file \"" + path + "\" could not be created.";
    if (!reason.empty()) message += " " + reason;
    return message;
}

MeterSettings DefaultNewSetting() {
    MeterSettings s{};
    s.mode = '0';
    s.axis = '3';
    s.unit = '0';
    s.range = settings::kRangeAuto;
    s.output = '0';
    s.autoPowerOff = '1';
    s.beep = '1';
    s.spare = '1';
    s.slow = '0';
    s.memMode = '0';
    return s;
}

MeterSettings NewSettingFromCurrent(const MeterSettings& current) {
    MeterSettings s = current;
    s.range = settings::RangeCodeFromIndex(current.range);
    return s;
}

std::vector<std::string> ConfigurationCommands(const MeterSettings& s) {
    auto withCode = [](const char* command, char code) { return std::string(command) + ' ' + code; };
    std::vector<std::string> commands;
    commands.push_back("QPID");
    commands.push_back("FUNC 0");
    commands.push_back(withCode("MODE", s.mode));
    commands.push_back(withCode("AXIS", s.axis));
    commands.push_back("RANGE " + std::to_string(settings::RangeCommandNumber(s.range)));
    commands.push_back("QPID");
    commands.push_back(withCode("OUTPUT", s.output));
    commands.push_back(withCode("APS", s.autoPowerOff));
    commands.push_back(withCode("BEEP", s.beep));
    // The meter derives '%' from the exposure mode; it has no unit command for it.
    if (s.unit != '3') commands.push_back(withCode("UNIT", s.unit));
    commands.push_back(withCode("SLOW", s.slow));
    commands.push_back(withCode("MEM", s.memMode));
    commands.push_back("SETUP");
    return commands;
}

ConfigModel::ConfigModel(link::MeterPort& meter, page::Prompter& prompter)
    : meter_(meter), prompter_(prompter), newSetting_(DefaultNewSetting()) {}

void ConfigModel::TakeStartingSetting() {
    if (MeterKnown()) {
        newSetting_ = NewSettingFromCurrent(meter_.CurrentSettings());
        mark_ = kMarkChanged;
    } else {
        newSetting_ = DefaultNewSetting();
        mark_ = kMarkClean;
    }
    TextsChanged();
}

void ConfigModel::SettingsFromMeter() {
    newSetting_ = NewSettingFromCurrent(meter_.CurrentSettings());
    TextsChanged();
}

void ConfigModel::TextsChanged() {
    if (onTextsChanged) onTextsChanged();
}

std::string ConfigModel::CellText(int row, int column) const {
    if (row < 0 || row >= settings::kRowCount) return {};
    switch (column) {
        case kColumnNumber: return std::to_string(row + 1);
        case kColumnItem: return std::string(settings::RowItemText(row));
        case kColumnCurrent: return settings::SettingText(row, meter_.CurrentSettings(), settings::Column::Current);
        case kColumnNew: return NewSettingText(row, newSetting_);
        default: return {};
    }
}

std::vector<std::string> ConfigModel::Choices(int row, int column) const {
    if (column != kColumnNew || row < 0 || row >= settings::kRowCount) return {};
    return settings::ChoiceList(row, newSetting_);
}

bool ConfigModel::ApplyEdit(int row, int column, std::string_view text) {
    if (column != kColumnNew || row < 0 || row >= settings::kRowCount || text.empty()) return false;
    const MeterSettings copy = settings::ApplyChoice(newSetting_, row, text);
    if (settings::SameSettings(copy, newSetting_)) return false;
    newSetting_ = copy;
    mark_ = kMarkChanged;
    TextsChanged();
    return true;
}

bool ConfigModel::StartConfigure() {
    if (Configuring()) return false;
    if (meter_.HeldByLogger()) {
        prompter_.Inform(std::string(kBusyWithLogger));
        return false;
    }
    if (meter_.RefreshSettings() != link::kStatusOk) {
        TextsChanged();
        prompter_.Inform(std::string(kConfigureFailed));
        return false;
    }
    TextsChanged();
    if (prompter_.AskYesNo({page::Topic::ConfirmMeter, std::string(kConfirmConfigure)}) != page::Answer::Yes)
        return false;
    commands_ = ConfigurationCommands(newSetting_);
    next_ = 0;
    readBackPending_ = false;
    return true;
}

void ConfigModel::FailConfiguration() {
    commands_.clear();
    next_ = 0;
    readBackPending_ = false;
    TextsChanged();
    prompter_.Inform(std::string(kConfigureFailed));
}

ConfigModel::StepResult ConfigModel::Step() {
    if (next_ < commands_.size()) {
        const link::Status status = meter_.Command(commands_[next_], link::MeterPort::Repeat::WhileBusy);
        if (status != link::kStatusOk) {
            FailConfiguration();
            return StepResult::Failed;
        }
        if (++next_ == commands_.size()) {
            commands_.clear();
            next_ = 0;
            readBackPending_ = true;
        }
        return StepResult::Running;
    }
    if (!readBackPending_) return StepResult::Idle;

    readBackPending_ = false;
    if (meter_.RefreshSettings() != link::kStatusOk) {
        TextsChanged();
        prompter_.Inform(std::string(kConfigureFailed));
        return StepResult::Failed;
    }
    if (onConfigured) onConfigured();
    TextsChanged();
    prompter_.Inform(std::string(kConfigured));
    return StepResult::Done;
}

ConfigModel::StepResult ConfigModel::RunConfiguration() {
    StepResult result = Step();
    while (result == StepResult::Running) result = Step();
    return result;
}

bool ConfigModel::InitCommandAccepted() {
    return meter_.Command("INIT", link::MeterPort::Repeat::WhileBusy) == link::kStatusOk;
}

bool ConfigModel::InitializeMeter() {
    if (Configuring()) return false;
    if (meter_.HeldByLogger()) {
        prompter_.Inform(std::string(kBusyWithLogger));
        return false;
    }
    if (prompter_.AskYesNo({page::Topic::ConfirmMeter, std::string(kConfirmInitialize)}) != page::Answer::Yes)
        return false;
    if (meter_.RefreshSettings() != link::kStatusOk || !InitCommandAccepted() ||
        meter_.RefreshSettings() != link::kStatusOk) {
        TextsChanged();
        prompter_.Inform(std::string(kConnectionFailed));
        return false;
    }
    newSetting_ = NewSettingFromCurrent(meter_.CurrentSettings());
    TextsChanged();
    prompter_.Inform(std::string(kInitialized));
    return true;
}

bool ConfigModel::WriteNewSetting(const std::string& path) {
    if (!WriteSettingFile(path, newSetting_)) {
        prompter_.Inform(FileNotCreatedMessage(path));
        return false;
    }
    return true;
}

bool ConfigModel::SettingSave() {
    const page::FileFilter filter{std::string(kSettingFileFilterText), std::string(kSettingFilePattern)};
    std::string path = prompter_.ChooseSaveFile(filter);
    if (path.empty()) return false;
    path = WithSetExtension(std::move(path));
    const platform::SaveTarget target = platform::ResolveSaveTarget(path);
    if (!target.refusal.empty()) {
        prompter_.Inform(FileNotCreatedMessage(path, target.refusal));
        return false;
    }
    if (target.exists &&
        prompter_.AskYesNo({page::Topic::Overwrite, std::string(kAskOverwrite), target.path}) != page::Answer::Yes)
        return false;
    if (!WriteNewSetting(target.path)) return false;
    mark_ = kMarkClean;
    return true;
}

void ConfigModel::SettingRead() {
    if (mark_ == kMarkChanged) {
        switch (prompter_.AskYesNoCancel({page::Topic::SaveShownData, std::string(kAskSaveSettings)})) {
            case page::Answer::Yes:
                if (!SettingSave()) return;
                mark_ = kMarkSavedFromQuestion;
                break;
            case page::Answer::Cancel: return;
            case page::Answer::No: break;
        }
    }
    const page::FileFilter filter{std::string(kSettingFileFilterText), std::string(kSettingFilePattern)};
    const std::string path = prompter_.ChooseOpenFile(filter);
    if (path.empty()) return;
    LoadSettingFile(path);
}

bool ConfigModel::LoadSettingFile(const std::string& path) {
    if (!platform::FileExists(path)) {
        prompter_.Inform(FileNotFoundMessage(path));
        return false;
    }
    mark_ = kMarkClean;
    std::ifstream in;
    if (!platform::IsDirectory(path)) in = platform::OpenInput(path);
    if (!in.is_open()) {
        prompter_.Inform(FileNotOpenedMessage(path));
        return false;
    }
    const SettingFileResult result = ParseSettingFile(in);
    if (!result.ok) {
        prompter_.Inform(result.message);
        return false;
    }
    newSetting_ = result.settings;
    TextsChanged();
    return true;
}

}  // namespace tessera::config
