// The page model against a running virtual meter: the exact command sequence the meter
// receives, busy repeats, a rejected command ending the sequence, the read-back, and
// Initialize, taking the meter's settings when the page opens or a meter arrives.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/ConfigModel.h"
#include "config/SettingFile.h"
#include "link/Link.h"
#include "settings/Vocabulary.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::config {
namespace {

using page::Answer;
using settings::MeterSettings;
using Strings = std::vector<std::string>;

class ConfigModelWithMeter : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(meter.Start()) << meter.LastError();
        ASSERT_TRUE(link.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
        ASSERT_TRUE(link.OpenSession());
        ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
        model.onConfigured = [this] { ++configured; };
    }
    void TearDown() override { link.CloseSession(); }

    Strings Column(int column) const {
        Strings out;
        for (int row = 0; row < settings::kRowCount; ++row) out.push_back(model.CellText(row, column));
        return out;
    }
    void Choose(int row, const std::string& text) { ASSERT_TRUE(model.ApplyEdit(row, kColumnNew, text)) << text; }

    // Confirms the question, then runs the sequence the way the page's timer does; the
    // meter's log holds only what the sequence sent.
    ConfigModel::StepResult Configure() {
        prompter.answers.push_back(Answer::Yes);
        if (!model.StartConfigure()) return ConfigModel::StepResult::Idle;
        meter.ClearCommandLog();
        return model.RunConfiguration();
    }
    Strings SentCommands(std::size_t count) {
        Strings log = meter.CommandLog();
        if (log.size() > count) log.resize(count);
        return log;
    }

    testing::VirtualMeter meter;
    link::Link link;
    testing::ScriptedPrompter prompter;
    ConfigModel model{link, prompter};
    int configured = 0;
};

TEST_F(ConfigModelWithMeter, SendsThirteenCommandsInOrderAndReadsBackWhatWasSent) {
    model.TakeStartingSetting();
    Choose(settings::kRowMode, "Magnetic Flux Density(10Hz-2kHz)");
    Choose(settings::kRowAxis, "x");
    Choose(settings::kRowUnit, "G");
    Choose(settings::kRowAutoPowerOff, "OFF");
    Choose(settings::kRowSlow, "ON");
    Choose(settings::kRowMemMode, "ON");
    const MeterSettings sent = model.NewSetting();

    ASSERT_EQ(Configure(), ConfigModel::StepResult::Done) << ::testing::PrintToString(prompter.Messages());
    EXPECT_EQ(SentCommands(13), (Strings{"QPID", "FUNC 0", "MODE 1", "AXIS 0", "RANGE 0", "QPID", "OUTPUT 0", "APS 0",
                                         "BEEP 1", "UNIT 1", "SLOW 1", "MEM 1", "SETUP"}));
    const Strings log = meter.CommandLog();
    for (std::size_t i = 13; i < log.size(); ++i)
        EXPECT_TRUE(log[i] == "QPID" || log[i] == "MEAS?" || log[i] == "MEM?") << log[i];

    EXPECT_EQ(prompter.Questions(), Strings{"Are you sure to change the QM8620 settings?"});
    EXPECT_EQ(prompter.Messages(), Strings{"The QM8620 has been configured with \"New Setting\"."});
    EXPECT_EQ(configured, 1);
    // The meter now reports what was sent; the New Setting and its mark stay as they were.
    EXPECT_EQ(Column(kColumnCurrent), Column(kColumnNew));
    EXPECT_EQ(link.CurrentSettings().range / 10, 1);  // ranging automatically
    EXPECT_TRUE(settings::SameSettings(model.NewSetting(), sent));
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
    EXPECT_FALSE(model.Configuring());
}

TEST_F(ConfigModelWithMeter, PercentSendsTwelveCommandsAndTheLowestRangeAsRangeOne) {
    testing::TempDir dir;
    testing::WriteAll(dir.File("low.SET"),
                      "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\n1 MODE,Exposure Level(General Public)\n"
                      "2 AXIS,y\n3 UNIT,%\n4 RANGE,2.000%\n5 OUTPUT,OFF\n6 APS,ON\n7 BEEP,OFF\n8 SLOW,OFF\n"
                      "9 MEM.MODE,OFF");
    ASSERT_TRUE(model.LoadSettingFile(dir.File("low.SET"))) << ::testing::PrintToString(prompter.Messages());

    ASSERT_EQ(Configure(), ConfigModel::StepResult::Done) << ::testing::PrintToString(prompter.Messages());
    EXPECT_EQ(SentCommands(12), (Strings{"QPID", "FUNC 0", "MODE 3", "AXIS 1", "RANGE 1", "QPID", "OUTPUT 0", "APS 1",
                                         "BEEP 0", "SLOW 0", "MEM 0", "SETUP"}));
    EXPECT_EQ(link.CurrentSettings().unit, '3');
    EXPECT_EQ(link.CurrentSettings().range, 0);  // reply range index of code 1
    EXPECT_EQ(NewSettingFromCurrent(link.CurrentSettings()).range, 1);

    // The variant-only choices go out as their plain codes.
    Choose(settings::kRowOutput, "Monitor (only for 8620)");
    Choose(settings::kRowRange, "2000% (only for 8620)");
    prompter.events.clear();
    ASSERT_EQ(Configure(), ConfigModel::StepResult::Done);
    const Strings log = SentCommands(12);
    EXPECT_EQ(log[4], "RANGE 4");
    EXPECT_EQ(log[6], "OUTPUT 1");
    EXPECT_EQ(model.CellText(settings::kRowRange, kColumnCurrent), "2000%");
    EXPECT_EQ(model.CellText(settings::kRowOutput, kColumnCurrent), "Monitor");
}

TEST_F(ConfigModelWithMeter, ARejectedOutputEndsTheSequenceBeforeAps) {
    model.TakeStartingSetting();
    Choose(settings::kRowMode, "Exposure Level(Occupational)");
    Choose(settings::kRowOutput, "Monitor (only for 8620)");
    const MeterSettings edited = model.NewSetting();
    ASSERT_TRUE(meter.InjectFault("status 2 1 OUTPUT")) << meter.LastError();

    EXPECT_EQ(Configure(), ConfigModel::StepResult::Failed);
    EXPECT_EQ(meter.CommandLog(), (Strings{"QPID", "FUNC 0", "MODE 4", "AXIS 3", "RANGE 2", "QPID", "OUTPUT 1"}));
    EXPECT_EQ(prompter.Messages(),
              Strings{"You cannot configure the 2000% range or the monitor output of\nexposure level for QM8620-50. "
                      "If you use a 8620, connection\nfailure may occur. Please connect the 8620 again."});
    EXPECT_EQ(configured, 0);
    EXPECT_TRUE(settings::SameSettings(model.NewSetting(), edited));
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
    EXPECT_FALSE(model.Configuring());
    EXPECT_EQ(model.Step(), ConfigModel::StepResult::Idle);
}

TEST_F(ConfigModelWithMeter, BusyAnswersRepeatTheSameCommand) {
    model.TakeStartingSetting();
    ASSERT_TRUE(meter.InjectFault("busy 3 AXIS")) << meter.LastError();
    ASSERT_EQ(Configure(), ConfigModel::StepResult::Done);
    EXPECT_EQ(SentCommands(16), (Strings{"QPID", "FUNC 0", "MODE 0", "AXIS 3", "AXIS 3", "AXIS 3", "AXIS 3", "RANGE 0",
                                         "QPID", "OUTPUT 0", "APS 1", "BEEP 1", "UNIT 0", "SLOW 0", "MEM 0", "SETUP"}));
}

TEST_F(ConfigModelWithMeter, AMeterPulledMidwayEndsWithTheMessageAndNoMeterKnown) {
    model.TakeStartingSetting();
    prompter.answers.push_back(Answer::Yes);
    ASSERT_TRUE(model.StartConfigure());
    ASSERT_TRUE(meter.InjectFault("unplug-after 3")) << meter.LastError();
    EXPECT_EQ(model.RunConfiguration(), ConfigModel::StepResult::Failed);
    EXPECT_EQ(prompter.Messages(), Strings{std::string(kConfigureFailed)});

    // The next Configure finds no meter and says so before asking anything.
    prompter.events.clear();
    EXPECT_FALSE(model.StartConfigure());
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_FALSE(model.MeterKnown());
    EXPECT_EQ(Column(kColumnCurrent), Strings(9, ""));
}

TEST_F(ConfigModelWithMeter, OpeningThePageTakesTheMeterSettingsAndMarksThemUnsaved) {
    ASSERT_TRUE(meter.Set("mode", "3"));
    ASSERT_TRUE(meter.Set("range", "2"));
    ASSERT_TRUE(meter.Set("output", "1"));
    ASSERT_TRUE(meter.Set("beep", "0"));
    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);

    model.TakeStartingSetting();
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
    EXPECT_TRUE(model.MeterKnown());
    EXPECT_EQ(Column(kColumnNew), (Strings{"Exposure Level(General Public)", "R", "%", "20.00%",
                                           "Monitor (only for 8620)", "ON", "OFF", "OFF", "OFF"}));
    EXPECT_EQ(model.CellText(settings::kRowOutput, kColumnCurrent), "Monitor");
    EXPECT_EQ(model.NewSetting().range, 2);

    // A meter arriving later replaces the New Setting but leaves the mark alone.
    model.SetModifiedMark(kMarkClean);
    ASSERT_TRUE(meter.Set("axis", "1"));
    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
    model.SettingsFromMeter();
    EXPECT_EQ(model.CellText(settings::kRowAxis, kColumnNew), "y");
    EXPECT_EQ(model.ModifiedMark(), kMarkClean);
}

TEST_F(ConfigModelWithMeter, InitializeReplacesUnsavedEditsWithWhatTheMeterReportsAndKeepsTheMark) {
    ASSERT_TRUE(meter.Set("mode", "4"));
    ASSERT_TRUE(meter.Set("slow", "1"));
    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
    model.TakeStartingSetting();
    Choose(settings::kRowAxis, "z");

    // Declined: nothing is sent.
    meter.ClearCommandLog();
    prompter.answers = {Answer::No};
    EXPECT_FALSE(model.InitializeMeter());
    EXPECT_TRUE(meter.CommandLog().empty());
    EXPECT_EQ(model.NewSetting().axis, '2');

    prompter.events.clear();
    prompter.answers = {Answer::Yes};
    EXPECT_TRUE(model.InitializeMeter());
    const Strings log = meter.CommandLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "INIT"), log.end());
    EXPECT_EQ(prompter.Questions(), Strings{"Are you sure to initialize the QM8620 settings?"});
    EXPECT_EQ(prompter.Messages(), Strings{"The QM8620 has been initialized."});
    EXPECT_EQ(Column(kColumnNew),
              (Strings{"Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "OFF", "ON", "ON", "OFF", "OFF"}));
    EXPECT_EQ(Column(kColumnCurrent), Column(kColumnNew));
    EXPECT_EQ(model.ModifiedMark(), kMarkChanged);
}

TEST_F(ConfigModelWithMeter, ARejectedInitLeavesTheNewSetting) {
    model.TakeStartingSetting();
    Choose(settings::kRowAxis, "z");
    ASSERT_TRUE(meter.InjectFault("status 2 1 INIT")) << meter.LastError();
    prompter.answers = {Answer::Yes};
    EXPECT_FALSE(model.InitializeMeter());
    EXPECT_EQ(prompter.Messages(), Strings{"Connection failed. Please connect the QM8620 again."});
    EXPECT_EQ(model.NewSetting().axis, '2');
}

}  // namespace
}  // namespace tessera::config
