// tessera-cli config against a virtual meter: applying a setting file sends the sequence and
// shows what the meter reports, a faulty file never reaches the meter, save writes the
// meter's settings, init needs its confirmation, and no meter is a clear failure.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/SettingFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::config {
namespace {

using Strings = std::vector<std::string>;

struct CliRun {
    int exitCode = -1;
    std::string out;  // stdout and stderr together
};

// Runs tessera-cli with the words given (quoted for the shell) and stdin from /dev/null.
CliRun Cli(const Strings& words) {
    std::string command = TESSERA_CLI_PATH;
    for (const std::string& w : words) command += " '" + w + "'";
    command += " </dev/null 2>&1";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class ConfigCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(meter.Start()) << meter.LastError(); }
    testing::VirtualMeter meter;
    testing::TempDir dir;
};

TEST_F(ConfigCli, ApplySendsTheFileAndShowsWhatTheMeterNowReports) {
    testing::WriteAll(dir.File("occ.SET"),
                      "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\r\n1 MODE,Exposure Level(Occupational)\r\n"
                      "2 AXIS,x\r\n3 UNIT,%\r\n4 RANGE,2000%\r\n5 OUTPUT,Monitor\r\n6 APS,OFF\r\n7 BEEP,ON\r\n"
                      "8 SLOW,ON\r\n9 MEM.MODE,ON ");
    const CliRun run = Cli({"config", "apply", dir.File("occ.SET")});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("The QM8620 has been configured with \"New Setting\"."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Exposure Level(Occupational)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("2000%"), std::string::npos) << run.out;

    const Strings log = meter.CommandLog();
    const Strings sequence{"QPID",     "FUNC 0", "MODE 4", "AXIS 0", "RANGE 4", "QPID",
                           "OUTPUT 1", "APS 0",  "BEEP 1", "SLOW 1", "MEM 1",   "SETUP"};
    EXPECT_NE(std::search(log.begin(), log.end(), sequence.begin(), sequence.end()), log.end())
        << ::testing::PrintToString(log);
    EXPECT_EQ(meter.Control("settings").lines,
              Strings{"mode=4 axis=0 unit=3 range=4 output=1 aps=0 beep=1 spare=1 slow=1 mem=1"});
}

TEST_F(ConfigCli, AFaultyFileIsRefusedBeforeTheMeterIsTouched) {
    testing::WriteAll(dir.File("bad.SET"),
                      "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\n1 MODE,Exposure Level(Occupational)\n"
                      "2 AXIS,x\n3 UNIT,T\n");
    CliRun run = Cli({"config", "apply", dir.File("bad.SET")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "\"UNIT\" isn't matched for \"MODE\".\n");
    EXPECT_TRUE(meter.CommandLog().empty());

    run = Cli({"config", "apply", dir.File("none.SET")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "The file \"" + dir.File("none.SET") + "\" was not found.\n");
}

TEST_F(ConfigCli, SaveWritesTheMeterSettingsAndAsksBeforeOverwriting) {
    ASSERT_TRUE(meter.Set("mode", "2"));
    ASSERT_TRUE(meter.Set("unit", "2"));
    ASSERT_TRUE(meter.Set("range", "3"));
    CliRun run = Cli({"config", "save", dir.File("meter.set")});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const std::string text = testing::ReadAll(dir.File("meter.set.SET"));
    const SettingFileResult read = ParseSettingText(text);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(read.settings.mode, '2');
    EXPECT_EQ(read.settings.unit, '2');
    EXPECT_EQ(read.settings.range, 3);
    EXPECT_NE(text.find("4 RANGE,160.0A/m\r\n"), std::string::npos) << text;

    // No answer on the terminal is a No; --yes overwrites.
    testing::WriteAll(dir.File("meter.set.SET"), "keep");
    run = Cli({"config", "save", dir.File("meter.set")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Would you like to overwrite this file?"), std::string::npos);
    EXPECT_EQ(testing::ReadAll(dir.File("meter.set.SET")), "keep");
    run = Cli({"config", "save", dir.File("meter.set"), "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(testing::ReadAll(dir.File("meter.set.SET")), text);
}

TEST_F(ConfigCli, InitNeedsItsConfirmation) {
    ASSERT_TRUE(meter.Set("beep", "0"));
    CliRun run = Cli({"config", "init"});
    EXPECT_EQ(run.exitCode, 1);
    Strings log = meter.CommandLog();
    EXPECT_EQ(std::find(log.begin(), log.end(), "INIT"), log.end());

    run = Cli({"config", "init", "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("The QM8620 has been initialized."), std::string::npos);
    log = meter.CommandLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "INIT"), log.end());
    EXPECT_EQ(meter.Control("settings").lines,
              Strings{"mode=0 axis=3 unit=0 range=0 output=0 aps=1 beep=1 spare=1 slow=0 mem=0"});
}

TEST_F(ConfigCli, EverySubcommandLeavesTheMeterOutOfApplicationMode) {
    for (const Strings& words : {Strings{"config", "show"}, Strings{"config", "save", dir.File("m.SET")},
                                 Strings{"config", "apply", dir.File("m.SET")}, Strings{"config", "init", "--yes"}}) {
        ASSERT_TRUE(meter.ClearCommandLog());
        const CliRun run = Cli(words);
        ASSERT_EQ(run.exitCode, 0) << words[1] << ": " << run.out;
        const Strings log = meter.CommandLog();
        ASSERT_FALSE(log.empty()) << words[1];
        EXPECT_EQ(log.back(), "APP 0") << words[1];
    }
}

TEST_F(ConfigCli, WithoutAMeterOrWithWrongWordsItFailsClearly) {
    ASSERT_TRUE(meter.Unplug());
    CliRun run = Cli({"config", "show"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.out, "Connection failed. Please connect the QM8620 again.\n");
    EXPECT_EQ(Cli({"config"}).exitCode, 2);
    EXPECT_EQ(Cli({"config", "apply"}).exitCode, 2);
    EXPECT_EQ(Cli({"config", "show", "--force"}).exitCode, 2);
}

}  // namespace
}  // namespace tessera::config
