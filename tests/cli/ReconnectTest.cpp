// "log --reconnect" as an unattended survey meets it: the meter unplugged and plugged in
// again, the sensor taken off and put back, a meter that never comes back, a stop while
// waiting, a crash after a gap; and the status line, only on a terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/BackgroundLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace {

using tessera::testing::Polled;
using tessera::testing::ReadAll;
using tessera::testing::TempDir;
using tessera::testing::VirtualMeter;

class Log : public tessera::testing::BackgroundLog {
public:
    Log(const TempDir& dir, const std::vector<std::string>& words, int terminal = -1)
        : BackgroundLog(TESSERA_CLI_PATH, dir, words, terminal) {}
};

// Each case: a running virtual meter and a folder for the survey's files.
class LogReconnect : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(meter.Start()) << meter.LastError(); }
    VirtualMeter meter;
    TempDir dir{"tessera-reconnect"};
};

// A pseudo-terminal for the program's standard output and error; its master, or -1.
int OpenTerminal() {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal >= 0 && (::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0)) {
        ::close(terminal);
        return -1;
    }
    return terminal;
}

std::string StartTimeOf(const std::string& csv) {
    const auto at = csv.find("6 START TIME,");
    return at == std::string::npos ? std::string() : csv.substr(at, csv.find('\r', at) - at);
}

bool NoJournalIn(const std::string& dir) {
    std::error_code ec;
    return std::filesystem::directory_iterator(dir, ec) == std::filesystem::directory_iterator();
}

TEST_F(LogReconnect, UnplugAndSensorRemovalAreOutlivedInTheNextParts) {
    Log log(dir, {"--reconnect"});
    ASSERT_TRUE(Polled(meter, 6));
    ASSERT_TRUE(meter.Unplug());
    ASSERT_TRUE(log.Said("Waiting for the QM8620")) << log.Err();
    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(log.Said(": connection lost. Logging goes on in " + dir.File("survey-002.CSV") + ".\n")) << log.Err();
    ASSERT_TRUE(Polled(meter, 6));
    ASSERT_TRUE(meter.SetSensor('0'));
    ASSERT_TRUE(log.Said("Waiting for a sensor")) << log.Err();
    ASSERT_TRUE(meter.SetSensor('1'));
    ASSERT_TRUE(log.Said(": sensor removed. Logging goes on in " + dir.File("survey-003.CSV") + ".\n")) << log.Err();
    ASSERT_TRUE(Polled(meter, 6));

    EXPECT_EQ(log.End(SIGTERM), 0) << "the run outlived its losses";
    const std::string err = log.Err();
    EXPECT_EQ(err.find('\r'), std::string::npos) << "no status line off a terminal: " << err;
    std::vector<std::string> starts;
    for (const char* part : {"survey.CSV", "survey-002.CSV", "survey-003.CSV"}) {
        const std::string csv = ReadAll(dir.File(part));
        EXPECT_NE(csv.find("NO,x,y,z,R\r\n1,"), std::string::npos) << part << ": " << csv;
        EXPECT_NE(log.Out().find(" samples written to " + dir.File(part) + "\n"), std::string::npos) << log.Out();
        starts.push_back(StartTimeOf(csv));
    }
    EXPECT_NE(starts[0], starts[1]) << "each part has its own start time";
    // Each gap is a mark at the first sample of the part after it.
    EXPECT_TRUE(std::regex_search(
        ReadAll(dir.File("survey-002.marks.csv")),
        std::regex("\n1,[-0-9T:.+]+,Gap from [0-9/]+ [0-9:]+ to [0-9/]+ [0-9:]+: connection lost\\.")))
        << ReadAll(dir.File("survey-002.marks.csv"));
    EXPECT_NE(ReadAll(dir.File("survey-003.marks.csv")).find(": sensor removed."), std::string::npos);
    EXPECT_NE(starts[1], starts[2]);
    EXPECT_TRUE(NoJournalIn(meter.JournalDir())) << "every part is saved";
}

// Per loss the run waits as long as it was told; then it ends with the status of what is
// still missing, the samples before the loss saved.
TEST_F(LogReconnect, ATimeoutEndsTheRunWithTheStatusOfWhatIsMissing) {
    struct Case {
        std::function<bool()> lose, restore;
        int exit;
        std::string said;
    } cases[] = {
        {[&] { return meter.Unplug(); }, [&] { return meter.Plug(); }, 4,
         ": connection lost.\nThe QM8620 did not come back within 1 s; the logging run ends.\n"},
        {[&] { return meter.SetSensor('0'); }, [&] { return meter.SetSensor('1'); }, 7,
         ": sensor removed.\nNo sensor was attached within 1 s; the logging run ends.\n"},
    };
    for (const Case& c : cases) {
        TempDir caseDir("tessera-reconnect");
        Log log(caseDir, {"--reconnect-timeout", "1"});
        ASSERT_TRUE(Polled(meter, 6));
        ASSERT_TRUE(c.lose());
        EXPECT_EQ(log.End(), c.exit) << log.Err();
        EXPECT_NE(log.Err().find(c.said), std::string::npos) << log.Err();
        EXPECT_NE(ReadAll(caseDir.File("survey.CSV")).find("NO,x,y,z,R\r\n1,"), std::string::npos);
        ASSERT_TRUE(c.restore());
    }
}

// A stop while the run waits ends it as a stop does at any other time: the samples before the
// loss were saved, the gap is said, and the status is success.
TEST_F(LogReconnect, StopWhileWaitingEndsTheRunCleanly) {
    Log log(dir, {"--reconnect"});
    ASSERT_TRUE(Polled(meter, 6));
    ASSERT_TRUE(meter.Unplug());
    ASSERT_TRUE(log.Said("Waiting for the QM8620")) << log.Err();
    EXPECT_EQ(log.End(SIGTERM), 0) << log.Err();
    EXPECT_TRUE(std::regex_search(log.Err(), std::regex("\nGap from [0-9/]+ [0-9:]+ to [0-9/]+ [0-9:]+: connection "
                                                        "lost\\.\n$")))
        << log.Err();
    EXPECT_NE(ReadAll(dir.File("survey.CSV")).find("NO,x,y,z,R\r\n1,"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("survey-002.CSV")));
    EXPECT_TRUE(NoJournalIn(meter.JournalDir()));
}

// The journal of the part after a gap keeps the gap: a crash then leaves both to "recover".
TEST_F(LogReconnect, CrashAfterAGapLeavesTheGapWithTheRun) {
    Log log(dir, {"--reconnect"});
    ASSERT_TRUE(Polled(meter, 6));
    ASSERT_TRUE(meter.Unplug());
    ASSERT_TRUE(log.Said("Waiting for the QM8620")) << log.Err();
    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(log.Said("Logging goes on in")) << log.Err();
    ASSERT_TRUE(Polled(meter, 6));
    log.End(SIGKILL);

    const std::string said = log.Err();
    const std::string gap = said.substr(said.find("Gap from "), said.find(" Logging goes on") - said.find("Gap from "));
    const int rc =
        std::system(("'" + std::string(TESSERA_CLI_PATH) + "' recover >'" + dir.File("recover.txt") + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 0);
    EXPECT_NE(ReadAll(dir.File("recover.txt")).find(" samples  1s/div  Fixed Interval  "), std::string::npos)
        << ReadAll(dir.File("recover.txt"));
    EXPECT_NE(ReadAll(dir.File("recover.txt")).find("\n  " + gap + "\n"), std::string::npos)
        << ReadAll(dir.File("recover.txt")) << " lacks " << gap;
}

// On a terminal the run keeps one line up to date, and takes it away before its last words.
TEST_F(LogReconnect, StatusLineOnATerminal) {
    const int terminal = OpenTerminal();
    ASSERT_GE(terminal, 0);
    Log log(dir, {"--samples", "6"}, terminal);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);  // until it ends
    ::close(terminal);
    EXPECT_EQ(log.End(), 0) << shown;
    // Which sample a redraw shows (at most one each 250 ms) depends on the machine's pace.
    EXPECT_TRUE(std::regex_search(shown, std::regex("\r[2-6] samples  00:00:0[0-9]  R [0-9.]+E-[0-9] T  part 1"))) << shown;
    EXPECT_TRUE(std::regex_search(shown, std::regex("\r +\r6 samples written to "))) << shown;

    // A stream on the same terminal shows the run itself: no status line among its lines.
    const int streamed = OpenTerminal();
    ASSERT_GE(streamed, 0);
    Log streaming(dir, {"--samples", "6", "--yes", "--stream", "jsonl"}, streamed);
    shown.clear();
    for (ssize_t n; (n = ::read(streamed, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
    ::close(streamed);
    EXPECT_EQ(streaming.End(), 0) << shown;
    EXPECT_EQ(shown.find(" part 1"), std::string::npos) << shown;
    std::ptrdiff_t samples = 0;
    for (std::size_t at = 0; (at = shown.find("{\"time\"", at)) != std::string::npos; ++at, ++samples)
        EXPECT_TRUE(at == 0 || shown[at - 1] == '\n') << shown;
    EXPECT_EQ(samples, 6) << shown;
}

}  // namespace
