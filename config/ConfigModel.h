#pragma once
// The Configuration page without its widgets: the New Setting and its modified mark,
// the texts of the Current Setting and New Setting columns, the choice lists and edits,
// the configuration command sequence (driven by Step()), Initialize, and saving and
// reading setting files. Every question and message goes through the Prompter.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/MeterPort.h"
#include "link/Status.h"
#include "page/DataState.h"
#include "page/Prompter.h"
#include "settings/MeterSettings.h"

namespace tessera::config {

// Column indexes of the page's table.
inline constexpr int kColumnNumber = 0;
inline constexpr int kColumnItem = 1;
inline constexpr int kColumnCurrent = 2;
inline constexpr int kColumnNew = 3;

// Modified mark values: the data pages' three steps, in the words of this page.
inline constexpr page::DataState kMarkClean = page::DataState::None;
inline constexpr page::DataState kMarkChanged = page::DataState::Unsaved;
inline constexpr page::DataState kMarkSavedFromQuestion = page::DataState::Saved;

inline constexpr std::string_view kBusyWithLogger = link::kMsgBusyWithLogger;
inline constexpr std::string_view kConfigureFailed =
    "You cannot configure the 2000% range or the monitor output of\n"
    "exposure level for QM8620-50. If you use a 8620, connection\n"
    "failure may occur. Please connect the 8620 again.";
inline constexpr std::string_view kConnectionFailed = link::kMsgConnectionFailed;
inline constexpr std::string_view kConfirmConfigure = "Are you sure to change the QM8620 settings?";
inline constexpr std::string_view kConfirmInitialize = "Are you sure to initialize the QM8620 settings?";
inline constexpr std::string_view kConfigured = "The QM8620 has been configured with \"New Setting\".";
inline constexpr std::string_view kInitialized = "The QM8620 has been initialized.";
inline constexpr std::string_view kAskSaveSettings = "Do you want to save the current settings?";
inline constexpr std::string_view kAskOverwrite = "Would you like to overwrite this file?";
std::string FileNotOpenedMessage(const std::string& path);
std::string FileNotCreatedMessage(const std::string& path, const std::string& reason = {});

// The New Setting a page starts with when no meter is known.
settings::MeterSettings DefaultNewSetting();
// The New Setting taken from the meter's current settings (range index -> RangeCode).
settings::MeterSettings NewSettingFromCurrent(const settings::MeterSettings& current);
// The configuration commands for a New Setting, in the order they are sent.
std::vector<std::string> ConfigurationCommands(const settings::MeterSettings& newSetting);

class ConfigModel {
public:
    ConfigModel(link::MeterPort& meter, page::Prompter& prompter);

    // The page opens: the New Setting from the meter (mark 1) or the defaults (mark 0).
    void TakeStartingSetting();
    // A meter has just been connected and its settings read: take them, keep the mark.
    void SettingsFromMeter();

    const settings::MeterSettings& NewSetting() const { return newSetting_; }
    const settings::MeterSettings& CurrentSettings() const { return meter_.CurrentSettings(); }
    page::DataState ModifiedMark() const { return mark_; }
    void SetModifiedMark(page::DataState mark) { mark_ = mark; }
    // The meter buttons are usable only while a meter is known and no sequence runs.
    bool MeterKnown() const { return settings::MeterKnown(meter_.CurrentSettings()); }

    // Texts of the table: column 0 "1".."9", 1 the item, 2 the current settings, 3 the New Setting.
    std::string CellText(int row, int column) const;
    // The choices offered for a cell; only New Setting cells have any.
    std::vector<std::string> Choices(int row, int column) const;
    // Applies a chosen text; true when the New Setting changed (and the mark became 1).
    bool ApplyEdit(int row, int column, std::string_view text);

    // "Configure the QM8620": the checks and the question. True when the command
    // sequence is armed; Step() then sends it.
    bool StartConfigure();
    enum class StepResult { Idle, Running, Done, Failed };
    // One command of the sequence (repeated while the meter or the exchange lock is busy;
    // the link gives up on one that stays busy); after "SETUP" the settings are read back
    // and the closing message is shown.
    StepResult Step();
    bool Configuring() const { return next_ < commands_.size() || readBackPending_; }
    // Runs Step() until the sequence ends; the page's one-shot timer calls this.
    StepResult RunConfiguration();

    // "Initialize the QM8620", confirmation included. True when the meter was initialised.
    bool InitializeMeter();

    // "Setting Save": true when a file was written.
    bool SettingSave();
    // "Setting Read": the save question, the file choice and the read.
    void SettingRead();
    // Reads one setting file into the New Setting with every check and message; the
    // mark becomes 0 once the file was found. True when the New Setting was replaced.
    bool LoadSettingFile(const std::string& path);
    // Writes the New Setting to `path` as given; false (with a message) when it failed.
    bool WriteNewSetting(const std::string& path);

    // Called whenever texts of the table may have changed, before any message that
    // follows, so a view shows the new state while the message is up.
    std::function<void()> onTextsChanged;
    // Called after a configuration read the meter's settings back (the logger page
    // re-reads them).
    std::function<void()> onConfigured;

private:
    bool InitCommandAccepted();
    void TextsChanged();
    void FailConfiguration();

    link::MeterPort& meter_;
    page::Prompter& prompter_;
    settings::MeterSettings newSetting_{};
    page::DataState mark_ = kMarkClean;

    std::vector<std::string> commands_;
    std::size_t next_ = 0;
    bool readBackPending_ = false;
};

}  // namespace tessera::config
