// The page model with no meter attached: the starting New Setting, edits and the mark,
// the refusals of the meter operations, and the save and read procedures with every
// question, message and mark change.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/ConfigModel.h"
#include "config/SettingFile.h"
#include "settings/Vocabulary.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"

namespace tessera::config {
namespace {

using page::Answer;
using settings::MeterSettings;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;
using Strings = std::vector<std::string>;

const std::string kExposureFile =
    "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\r\n"
    "1 MODE,Exposure Level(Occupational)\r\n"
    "2 AXIS,z\r\n"
    "3 UNIT,%\r\n"
    "4 RANGE,2.000%\r\n"
    "5 OUTPUT,Resultant Effective Value\r\n"
    "6 APS,OFF\r\n"
    "7 BEEP,OFF\r\n"
    "8 SLOW,ON\r\n"
    "9 MEM.MODE,ON";

class ConfigModelNoMeter : public ::testing::Test {
protected:
    Strings Column(int column) const {
        Strings out;
        for (int row = 0; row < settings::kRowCount; ++row) out.push_back(model.CellText(row, column));
        return out;
    }
    // Puts the model in the state "edited, not saved".
    void Edit() {
        ASSERT_TRUE(model.ApplyEdit(settings::kRowAxis, kColumnNew, "x"));
        ASSERT_EQ(model.ModifiedMark(), kMarkChanged);
    }

    void SetUp() override { meter.Disconnect(); }

    testing::FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    ConfigModel model{meter, prompter};
    TempDir dir{"tessera Prüfung Ω"};  // a name the ANSI code page of Windows cannot hold
};

TEST_F(ConfigModelNoMeter, StartsWithTheDefaultNewSettingEmptyCurrentColumnAndMarkZero) {
    model.TakeStartingSetting();
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);
    EXPECT_FALSE(model.MeterKnown());
    EXPECT_EQ(Column(kColumnNumber), (Strings{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(Column(kColumnItem), (Strings{"Measurement Mode", "Axis", "Unit", "Range", "Output", "Auto Power Off",
                                            "Beep", "Slow", "MEM.MODE"}));
    EXPECT_EQ(Column(kColumnCurrent), Strings(9, ""));
    EXPECT_EQ(Column(kColumnNew),
              (Strings{"Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "OFF", "ON", "ON", "OFF", "OFF"}));
    EXPECT_EQ(model.NewSetting().spare, '1');
}

TEST_F(ConfigModelNoMeter, ChoosingTheShownTextOrNothingLeavesTheMark) {
    model.TakeStartingSetting();
    for (int row = 0; row < settings::kRowCount; ++row)
        EXPECT_FALSE(model.ApplyEdit(row, kColumnNew, model.CellText(row, kColumnNew))) << row;
    EXPECT_FALSE(model.ApplyEdit(settings::kRowAxis, kColumnNew, ""));
    EXPECT_FALSE(model.ApplyEdit(settings::kRowAxis, kColumnCurrent, "x"));
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);
    EXPECT_TRUE(model.ApplyEdit(settings::kRowBeep, kColumnNew, "OFF"));
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
    EXPECT_EQ(model.CellText(settings::kRowBeep, kColumnNew), "OFF");
    EXPECT_TRUE(model.Choices(settings::kRowBeep, kColumnCurrent).empty());
}

TEST_F(ConfigModelNoMeter, MeterOperationsWithoutAMeterOrWhileLogging) {
    EXPECT_FALSE(model.StartConfigure());
    EXPECT_EQ(prompter.Questions(), Strings{});
    EXPECT_EQ(prompter.Messages(), Strings{std::string(kConfigureFailed)});
    EXPECT_FALSE(model.Configuring());
    EXPECT_EQ(model.Step(), ConfigModel::StepResult::Idle);

    prompter.events.clear();
    prompter.answers = {Answer::No};
    EXPECT_FALSE(model.InitializeMeter());
    EXPECT_EQ(prompter.Questions(), Strings{std::string(kConfirmInitialize)});
    EXPECT_TRUE(prompter.Messages().empty());

    prompter.events.clear();
    prompter.answers = {Answer::Yes};
    EXPECT_FALSE(model.InitializeMeter());
    EXPECT_EQ(prompter.Messages(), Strings{std::string(kConnectionFailed)});

    prompter.events.clear();
    meter.heldByLogger = true;
    EXPECT_FALSE(model.StartConfigure());
    EXPECT_FALSE(model.InitializeMeter());
    EXPECT_EQ(prompter.Questions(), Strings{});
    EXPECT_EQ(prompter.Messages(), (Strings{"The QM8620 is busy with \"Effective Value Logger\".",
                                            "The QM8620 is busy with \"Effective Value Logger\"."}));
}

TEST_F(ConfigModelNoMeter, SaveAppendsTheExtensionWritesTheColumnAndClearsTheMark) {
    model.TakeStartingSetting();
    Edit();
    prompter.files = {dir.File("lab.set")};
    EXPECT_TRUE(model.SettingSave());
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);
    EXPECT_EQ(ReadAll(dir.File("lab.set.SET")), SettingFileText(model.NewSetting()));
    EXPECT_FALSE(std::filesystem::exists(testing::Utf8ToPath(dir.File("lab.set"))));
    ASSERT_EQ(prompter.events.size(), 1u);
    EXPECT_EQ(prompter.events[0].kind, testing::ScriptedPrompter::Event::SaveFile);
    EXPECT_EQ(prompter.events[0].text, "8620 Setting File(*.SET)");
}

TEST_F(ConfigModelNoMeter, SaveCancelledOrOverwriteDeclinedWritesNothing) {
    model.TakeStartingSetting();
    Edit();
    EXPECT_FALSE(model.SettingSave());  // dialog cancelled
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);

    WriteAll(dir.File("old.SET"), "keep me");
    prompter.files = {dir.File("old.SET")};
    prompter.answers = {Answer::No};
    EXPECT_FALSE(model.SettingSave());
    EXPECT_EQ(ReadAll(dir.File("old.SET")), "keep me");
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
    EXPECT_EQ(prompter.Questions(), Strings{"Would you like to overwrite this file?"});

    prompter.files = {dir.File("old.SET")};
    prompter.answers = {Answer::Yes};
    EXPECT_TRUE(model.SettingSave());
    EXPECT_EQ(ReadAll(dir.File("old.SET")), SettingFileText(model.NewSetting()));
}

TEST_F(ConfigModelNoMeter, SaveThatCannotCreateTheFileIsReportedNotCountedAsSaved) {
    model.TakeStartingSetting();
    Edit();
    const std::string path = dir.File("missing-folder/lab.SET");
    prompter.files = {path};
    EXPECT_FALSE(model.SettingSave());
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
    EXPECT_EQ(prompter.Messages(), Strings{"The file \"" + path + "\" could not be created."});

#if !defined(_WIN32)
    // A disk that fills up while writing leaves the old file whole.
    WriteAll(dir.File("old.SET"), kExposureFile);
    prompter.files = {dir.File("old.SET")};
    prompter.answers = {Answer::Yes};
    {
        const tessera::testing::FileSizeLimit fullDisk(64);
        EXPECT_FALSE(model.SettingSave());
    }
    EXPECT_EQ(ReadAll(dir.File("old.SET")), kExposureFile);
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
#endif
}

TEST_F(ConfigModelNoMeter, ReadReplacesTheNewSettingAndLeavesMarkZero) {
    model.TakeStartingSetting();
    WriteAll(dir.File("exposure.SET"), kExposureFile);
    prompter.files = {dir.File("exposure.SET")};
    model.SettingRead();
    EXPECT_TRUE(prompter.Messages().empty());
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);
    EXPECT_EQ(Column(kColumnNew), (Strings{"Exposure Level(Occupational)", "z", "%", "", "Resultant Effective Value",
                                           "OFF", "OFF", "ON", "ON"}));
    // The never-offered lowest range travels to the meter as it came.
    const Strings commands = ConfigurationCommands(model.NewSetting());
    EXPECT_EQ(commands[4], "RANGE 1");
    EXPECT_EQ(commands.size(), 12u);
}

TEST_F(ConfigModelNoMeter, ReadAsksToSaveUnsavedEditsAndHonoursEveryAnswer) {
    model.TakeStartingSetting();
    Edit();
    const MeterSettings edited = model.NewSetting();
    WriteAll(dir.File("exposure.SET"), kExposureFile);

    // Cancel: nothing else happens.
    prompter.answers = {Answer::Cancel};
    prompter.files = {dir.File("exposure.SET")};
    model.SettingRead();
    EXPECT_EQ(prompter.events.size(), 1u);
    EXPECT_EQ(prompter.Questions(), Strings{"Do you want to save the current settings?"});
    EXPECT_TRUE(settings::SameSettings(model.NewSetting(), edited));
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);

    // Yes, but the save dialog is cancelled: the read stops too.
    prompter.events.clear();
    prompter.files.clear();
    prompter.answers = {Answer::Yes};
    model.SettingRead();
    EXPECT_EQ(prompter.events.size(), 2u);
    EXPECT_EQ(prompter.events[1].kind, testing::ScriptedPrompter::Event::SaveFile);
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);

    // Yes and saved: the edits are in the file and the chosen file is read.
    prompter.events.clear();
    prompter.answers = {Answer::Yes};
    prompter.files = {dir.File("edited"), dir.File("exposure.SET")};
    model.SettingRead();
    EXPECT_EQ(ParseSettingText(ReadAll(dir.File("edited.SET"))).settings.axis, '0');
    EXPECT_EQ(model.NewSetting().mode, '4');
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);

    // No: the edits are dropped for the file.
    Edit();
    prompter.answers = {Answer::No};
    prompter.files = {dir.File("exposure.SET")};
    model.SettingRead();
    EXPECT_EQ(model.NewSetting().axis, '2');
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);
}

TEST_F(ConfigModelNoMeter, AFaultyFileLeavesTheNewSettingButClearsTheMarkOnceFound) {
    model.TakeStartingSetting();
    Edit();
    const MeterSettings edited = model.NewSetting();

    // Not found: reported before the mark is touched.
    const std::string missing = dir.File("none.SET");
    prompter.answers = {Answer::No};
    prompter.files = {missing};
    model.SettingRead();
    EXPECT_EQ(prompter.Messages(), Strings{"The file \"" + missing + "\" was not found."});
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);

    // Found but refused: the mark is 0 whatever the file holds.
    std::string mismatch = kExposureFile;
    mismatch.replace(mismatch.find("3 UNIT,%"), 8, "3 UNIT,T");
    WriteAll(dir.File("mismatch.SET"), mismatch);
    prompter.events.clear();
    prompter.answers = {Answer::Yes};
    prompter.files = {dir.File("saved"), dir.File("mismatch.SET")};
    model.SettingRead();
    EXPECT_EQ(prompter.Messages(), Strings{"\"UNIT\" isn't matched for \"MODE\"."});
    EXPECT_TRUE(settings::SameSettings(model.NewSetting(), edited));
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);

    // A folder is found but cannot be read as a file.
    prompter.events.clear();
    prompter.files = {dir.Path()};
    model.SettingRead();
    EXPECT_EQ(prompter.Messages(), Strings{"The file \"" + dir.Path() + "\" could not be opened."});
    EXPECT_TRUE(settings::SameSettings(model.NewSetting(), edited));
}

}  // namespace
}  // namespace tessera::config
