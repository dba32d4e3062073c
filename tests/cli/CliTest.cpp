// tessera-cli as a user runs it: exit codes, the texts on stdout and stderr, against a
// virtual meter in a private registry (the fixture's environment reaches the child).

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace {

using tessera::testing::VirtualMeter;

struct CliRun {
    int exit = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

CliRun Cli(const std::string& args) {
    const std::string dir = ::testing::TempDir();
    // Per process: ctest runs the cases in parallel.
    const std::string tag = std::to_string(::getpid());
    const std::string out = dir + "/cli-out-" + tag + ".txt", err = dir + "/cli-err-" + tag + ".txt";
    const std::string cmd = std::string("'") + TESSERA_CLI_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int rc = std::system(cmd.c_str());
    CliRun r;
    r.exit = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
}

TEST(Cli, HelpNamesEveryCommandAndUnknownWordsAreUsageErrors) {
    const CliRun help = Cli("--help");
    EXPECT_EQ(help.exit, 0);
    for (const char* c : {"identify", "status", "settings", "serials", "send"})
        EXPECT_NE(help.out.find(std::string("  ") + c), std::string::npos) << c;
    EXPECT_EQ(Cli("send --help").exit, 0);
    EXPECT_NE(Cli("send --help").out.find("Usage: tessera-cli send"), std::string::npos);
    const CliRun helpOfHelp = Cli("help --help");
    EXPECT_EQ(helpOfHelp.exit, 0) << helpOfHelp.err;
    EXPECT_EQ(helpOfHelp.out.rfind("Usage: tessera-cli help [COMMAND]\n", 0), 0u) << helpOfHelp.out;
    const CliRun bad = Cli("frobnicate");
    EXPECT_EQ(bad.exit, 2);
    EXPECT_NE(bad.err.find("unknown command \"frobnicate\""), std::string::npos);
    EXPECT_EQ(Cli("").exit, 2);
    EXPECT_EQ(Cli("identify extra").exit, 2);
    EXPECT_EQ(Cli("send 'THIS COMMAND IS FAR TOO LONG FOR THE METER'").exit, 2);
}

// One parser for every command: its help lists the command's own options, and a wrong word
// is named with the command's usage (exit 2) before anything runs.
TEST(Cli, EveryCommandSaysWhatWasWrongWithItsWords) {
    const CliRun help = Cli("help read");
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.out.rfind("Usage: tessera-cli read [-o FILE.CSV]", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--unit U"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("--layout"), std::string::npos) << "print's option, not read's";
    // Each command's help names the exit statuses it may end with, as the table words them.
    const std::string plot = Cli("plot --help").out;
    EXPECT_NE(plot.find("\nExit status:\n  0 success\n  1 the meter or a file reported a failure"), std::string::npos)
        << plot;
    EXPECT_EQ(plot.find("  4 no meter"), std::string::npos) << "plot never reaches the meter";
    EXPECT_NE(Cli("help log").out.find("\n  7 no sensor attached"), std::string::npos);

    const struct {
        const char* args;
        const char* why;
    } kWrong[] = {
        {"read -o", "tessera-cli: -o needs a file name\nUsage: tessera-cli read "},
        {"convert in.CSV --unit", "tessera-cli: --unit needs a unit\nUsage: tessera-cli convert "},
        {"read --frob", "tessera-cli: unknown option \"--frob\"\nUsage: tessera-cli read "},
        {"print --layout", "tessera-cli: --layout needs rxyz or displayed\n"},
        {"status now", "tessera-cli: unexpected argument \"now\"\nUsage: tessera-cli status "},
        {"recover --output", "tessera-cli: -o needs a folder\n"},
        {"config bogus", "tessera-cli: unknown config action \"bogus\"\nUsage: tessera-cli config "},
        {"config apply", "tessera-cli: config apply needs FILE.SET\n"},
        {"log --period 1s --method fixed", "tessera-cli: log needs -o FILE.CSV\n"},
        {"log --period 1s --method fixed -o x --samples 3 --duration 9",
         "tessera-cli: --duration and --samples cannot be given together\n"},
        {"print in.CSV", "tessera-cli: print needs -o OUT.pdf\n"},
    };
    for (const auto& w : kWrong) {
        const CliRun r = Cli(w.args);
        EXPECT_EQ(r.exit, 2) << w.args;
        EXPECT_EQ(r.err.rfind(w.why, 0), 0u) << w.args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << w.args;
    }
}

TEST(Cli, IdentifyAndSettingsSpeakThePagesWords) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.Set("mode", "4"));
    ASSERT_TRUE(meter.Set("unit", "3"));
    ASSERT_TRUE(meter.Set("range", "2"));
    const CliRun id = Cli("identify");
    EXPECT_EQ(id.exit, 0) << id.err;
    EXPECT_NE(id.out.find("Model: QM8620"), std::string::npos);
    EXPECT_NE(id.out.find("Measurement Mode: Exposure Level(Occupational)"), std::string::npos) << id.out;
    EXPECT_NE(id.out.find("Range: 20.00%"), std::string::npos) << id.out;
    EXPECT_EQ(meter.CommandLog(), (std::vector<std::string>{"FUNC 0", "APP 1", "QPID", "MEAS?", "MEM?", "APP 0"}));

    const CliRun s = Cli("settings");
    EXPECT_EQ(s.exit, 0);
    EXPECT_NE(s.out.find("Beep: ON"), std::string::npos) << s.out;
}

TEST(Cli, FailuresExitNonZeroWithOneLineNamingTheStatus) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.InjectFault("truncate 1 QPID"));
    const CliRun wrong = Cli("identify");
    EXPECT_EQ(wrong.exit, 5);
    EXPECT_NE(wrong.err.find("0xf0000002"), std::string::npos) << wrong.err;

    const CliRun none = Cli("send 'DATA? 1'");
    EXPECT_EQ(none.exit, 1);
    EXPECT_NE(none.out.find("Status: 0x80000033"), std::string::npos);
    EXPECT_NE(none.err.find("0x80000033 no such entry"), std::string::npos);

    ASSERT_TRUE(meter.Unplug());
    const CliRun gone = Cli("status");
    EXPECT_EQ(gone.exit, 4);
    EXPECT_EQ(gone.err, "Connection failed. Please connect the QM8620 again. [0x80000037 no device]\n");
}

// One exit status per kind of event, whichever command meets it: a lost meter is 4 in "log"
// as in "read", a removed sensor 7, a meter that stays busy 6 (it is there), and a skipped
// line of a file 1 in "plot" as in "convert" and "print".
TEST(Cli, EveryCommandEndsWithTheStatusOfWhatHappened) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir("tessera-cli-exit");
    const std::string log = "log --period 1s --method fixed --samples 40 -o ";

    // The session, the page's refresh and Start take eleven commands; one poll follows.
    ASSERT_TRUE(meter.InjectFault("unplug-after 14"));
    const CliRun lost = Cli(log + "'" + dir.File("lost.CSV") + "'");
    EXPECT_EQ(lost.exit, 4) << lost.err;
    EXPECT_NE(lost.err.find("Connection failed. Please connect the QM8620 again."), std::string::npos) << lost.err;
    ASSERT_TRUE(meter.Plug());

    ASSERT_TRUE(meter.RemoveSensorAfter(4));
    const CliRun removed = Cli(log + "'" + dir.File("removed.CSV") + "'");
    EXPECT_EQ(removed.exit, 7) << removed.err;
    EXPECT_NE(removed.err.find("The sensor was removed."), std::string::npos) << removed.err;
    ASSERT_TRUE(meter.SetSensor('1'));

    ASSERT_TRUE(meter.InjectFault("busy always MEAS?"));
    const CliRun busy = Cli("status");
    EXPECT_EQ(busy.exit, 6);
    EXPECT_EQ(busy.err, "The QM8620 is busy. [0x80000039 busy]\n");
    ASSERT_TRUE(meter.ClearFaults());

    // A data line without values, after the samples of the last run.
    tessera::testing::WriteAll(dir.File("bad.CSV"),
                               tessera::testing::ReadAll(dir.File("removed.CSV")) + "\r\n9,0,0,0,0");
    const CliRun plot = Cli("plot '" + dir.File("bad.CSV") + "' -o '" + dir.File("bad.pdf") + "'");
    EXPECT_EQ(plot.exit, 1);
    EXPECT_NE(plot.err.find("The line is skipped."), std::string::npos) << plot.err;
}

TEST(Cli, SendShowsTheReplyWithItsLineEnd) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.AddRecord("1,0,1,2,5.000E-01,2.500E-01,0.000E+00,1,2,0,0,1,1"));
    const CliRun r = Cli("send 'DATA? 1'");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("Reply: \"1,0,1,2,5.000E-01,2.500E-01,0.000E+00,1,2,0,0,1,1\\r\\n\" (51 bytes)"),
              std::string::npos)
        << r.out;
}

TEST(Cli, SerialsListsTheInstrumentsOfTheUsbTree) {
    namespace fs = std::filesystem;
    const std::string root = ::testing::TempDir() + "/cli-sysfs-" + std::to_string(::getpid());
    fs::remove_all(root);
    const std::string devices = root + "/bus/usb/devices";
    auto attr = [&](const std::string& dev, const std::string& name, const std::string& v) {
        fs::create_directories(devices + "/" + dev);
        std::ofstream(devices + "/" + dev + "/" + name) << v << "\n";
    };
    attr("usb1", "maxchild", "1");
    attr("usb1", "bDeviceClass", "09");
    attr("usb1", "idVendor", "1d6b");
    attr("usb1", "idProduct", "0002");
    // A meter of the vendor the installed udev rule hands to the user: the program must
    // recognise the same one.
    const std::string rule = Slurp(TESSERA_UDEV_RULE);
    const auto vendor = rule.find("ATTR{idVendor}==\"");
    ASSERT_NE(vendor, std::string::npos) << rule;
    attr("1-1", "idVendor", rule.substr(vendor + 17, 4));
    attr("1-1", "idProduct", "3000");
    attr("1-1", "serial", "862012345");
    ::setenv("TESSERA_SYSFS_ROOT", root.c_str(), 1);
    const CliRun r = Cli("serials");
    ::unsetenv("TESSERA_SYSFS_ROOT");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "Instruments: 1\nSerials: 862012345\n");
    fs::remove_all(root);
}

// Two meters in one registry, each with its serial number: "meters" lists both, each of two
// logging runs at once takes the meter it names and keeps its own file, and a meter named
// but absent is no meter, named in the message.
TEST(Cli, MetersListsTheMetersAndMeterChoosesOneForEachRun) {
    VirtualMeter first(VirtualMeter::Named("qm8620-a", "QM8620111"));
    ASSERT_TRUE(first.Start()) << first.LastError();
    VirtualMeter::Options b = VirtualMeter::Named("qm8620-b", "QM8620222", first.DeviceRoot());
    b.extraArgs.insert(b.extraArgs.end(), {"--field", "0.000002,0,0"});
    VirtualMeter second(b);
    ASSERT_TRUE(second.Start()) << second.LastError();

    const CliRun list = Cli("meters");
    EXPECT_EQ(list.exit, 0) << list.err;
    EXPECT_EQ(list.out, "Meters: 2\nQM8620111  QM8620  " + first.EntryPath() + "\nQM8620222  QM8620  " +
                            second.EntryPath() + "\n");

    ASSERT_TRUE(first.ClearCommandLog() && second.ClearCommandLog());
    tessera::testing::TempDir dir;
    const std::string log = std::string("'") + TESSERA_CLI_PATH + "' --meter ";
    const std::string both =
        "cd '" + dir.Path() + "' || exit 1; (" + log +
        "QM8620111 log --period 1s --method fixed --samples 6 -o a.CSV >a.out 2>&1; echo $? >a.rc) & (" + log +
        "QM8620222 log --period 1s --method fixed --samples 6 -o b.CSV >b.out 2>&1; echo $? >b.rc) & wait";
    ASSERT_EQ(std::system(("sh -c \"" + both + "\"").c_str()), 0);
    EXPECT_EQ(Slurp(dir.File("a.rc")), "0\n") << Slurp(dir.File("a.out"));
    EXPECT_EQ(Slurp(dir.File("b.rc")), "0\n") << Slurp(dir.File("b.out"));
    const std::string fileA = Slurp(dir.File("a.CSV")), fileB = Slurp(dir.File("b.CSV"));
    EXPECT_NE(fileA.find("\n6,"), std::string::npos) << fileA;
    EXPECT_NE(fileB.find("\n6,0.000002"), std::string::npos) << "the second meter's fixed field: " << fileB;
    EXPECT_EQ(fileA.find("0.000002"), std::string::npos) << "the first run read the first meter only";
    const auto measured = [](const std::vector<std::string>& commands) {
        return std::count(commands.begin(), commands.end(), "MEAS?");
    };
    EXPECT_GE(measured(first.CommandLog()), 6);
    EXPECT_GE(measured(second.CommandLog()), 6);

    const CliRun absent = Cli("--meter QM8620999 identify");
    EXPECT_EQ(absent.exit, 4);
    EXPECT_NE(absent.err.find("No meter with the serial number QM8620999 is connected"), std::string::npos)
        << absent.err;
    EXPECT_EQ(Cli("--meter").exit, 2);
}

// Every command asks its questions the same way: "[y/N]" on stderr, only y or yes (any case
// of the first letter) is a yes, and no answer at all is a no.
TEST(Cli, QuestionsOnTheTerminalNeedAYes) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir("tessera-cli");
    const std::string file = dir.File("kept.SET");
    tessera::testing::WriteAll(file, "keep");
    auto saveAnswering = [&](const std::string& answer) {
        tessera::testing::WriteAll(dir.File("answer"), answer);
        return Cli("config save '" + file + "' <'" + dir.File("answer") + "'");
    };
    for (const char* refusal : {"n\n", "\n", "", "yep\n"}) {
        const CliRun no = saveAnswering(refusal);
        EXPECT_EQ(no.exit, 1) << '"' << refusal << '"';
        EXPECT_NE(no.err.find("Would you like to overwrite this file? [y/N] "), std::string::npos) << no.err;
        EXPECT_EQ(tessera::testing::ReadAll(file), "keep");
    }
    for (const char* consent : {"y\n", "Yes\n"}) {
        tessera::testing::WriteAll(file, "keep");
        const CliRun yes = saveAnswering(consent);
        EXPECT_EQ(yes.exit, 0) << '"' << consent << '"' << yes.err;
        EXPECT_NE(tessera::testing::ReadAll(file).find("RANGE"), std::string::npos);
    }
}

// A log run stopped the way a session or a service manager stops a program (SIGTERM, SIGHUP)
// ends like Ctrl-C: the samples are written and the meter is told to stop logging.
TEST(Cli, LogStoppedByTermOrHangupWritesTheSamplesAndStopsTheMeter) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir("tessera-cli-log");
    for (int sig : {SIGTERM, SIGHUP}) {
        ASSERT_TRUE(meter.ClearCommandLog());
        const std::string file = dir.File("run" + std::to_string(sig) + ".CSV");
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (!::freopen("/dev/null", "w", stdout)) ::_exit(126);
            ::execl(TESSERA_CLI_PATH, TESSERA_CLI_PATH, "log", "--period", "1s", "--method", "fixed", "--duration",
                    "60", "-o", file.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Logging, with a few polls taken.
        bool polled = false;
        for (int i = 0; i < 200 && !polled; ++i) {
            const auto log = meter.CommandLog();
            polled =
                std::count(log.begin(), log.end(), "LOG 1") == 1 && std::count(log.begin(), log.end(), "MEAS?") >= 4;
            if (!polled) ::usleep(50000);
        }
        ASSERT_TRUE(polled);
        ASSERT_EQ(::kill(pid, sig), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << sig << " ended the process unhandled";
        EXPECT_EQ(WEXITSTATUS(status), 0) << sig;
        const std::string csv = Slurp(file);
        EXPECT_NE(csv.find("NO,x,y,z,R\r\n1,"), std::string::npos) << "signal " << sig << ": " << csv;
        const auto log = meter.CommandLog();
        ASSERT_FALSE(log.empty());
        EXPECT_NE(std::find(log.begin(), log.end(), "LOG 0"), log.end()) << sig;
        EXPECT_EQ(meter.StatusValue("logging"), "0") << sig;
    }
}

// With --marks each line on standard input marks the present sample, beside the file; an
// empty line marks nothing, and the end of the input ends the marks, not the run.
TEST(Cli, LogMarksTakeEachLineOfStandardInput) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir("tessera-cli-marks");
    tessera::testing::WriteAll(dir.File("typed.txt"), "heater on\n\ndoor opened\n");
    const CliRun r = Cli("log --period 1s --method fixed --samples 3 --marks -o '" + dir.File("night.CSV") + "' < '" +
                         dir.File("typed.txt") + "'");
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::string marks = Slurp(dir.File("night.marks.csv"));
    EXPECT_NE(marks.find(",heater on"), std::string::npos) << marks;
    EXPECT_NE(marks.find(",door opened"), std::string::npos) << marks;
    std::size_t said = 0;
    for (std::size_t at = 0; (at = r.err.find("Mark at sample", at)) != std::string::npos; ++at) ++said;
    EXPECT_EQ(said, 2u) << r.err;
    EXPECT_NE(Slurp(dir.File("night.CSV")).find("\r\n3,"), std::string::npos) << "the run outlived its input";
}

// Where the log cannot be written is found out before the run, not after it; and a meter
// without a sensor has its own exit code.
TEST(Cli, LogRefusesAnUnwritablePathAndAMissingSensorBeforeLogging) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir("tessera-cli-log");
    const std::string unwritable = dir.File("no-such-folder/live.CSV");
    const CliRun r = Cli("log --period 1s --method fixed --samples 2 -o '" + unwritable + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find(unwritable), std::string::npos) << r.err;
    auto log = meter.CommandLog();
    EXPECT_EQ(std::find(log.begin(), log.end(), "LOG 1"), log.end()) << "no sample was taken for nothing";

    ASSERT_TRUE(meter.SetSensor('0'));
    const CliRun noSensor = Cli("log --period 1s --method fixed --samples 2 -o '" + dir.File("live.CSV") + "'");
    EXPECT_EQ(noSensor.exit, 7);
    EXPECT_EQ(noSensor.err, "No sensor is attached.\n");
    EXPECT_NE(Cli("help").out.find("7 no sensor"), std::string::npos);
}

// A killed "log" loses nothing it had journalled: "recover" lists the run, writes it as a
// logger file and then has nothing more to recover.
TEST(Cli, KilledLogRunIsRecoveredIntoALoggerFile) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir("tessera-cli");
    const pid_t log = ::fork();
    ASSERT_GE(log, 0);
    if (log == 0) {
        if (!::freopen("/dev/null", "w", stdout)) ::_exit(126);
        ::execl(TESSERA_CLI_PATH, TESSERA_CLI_PATH, "log", "--period", "1s", "--method", "fixed", "-o",
                dir.File("live").c_str(), nullptr);
        ::_exit(127);
    }
    // Wait until the journal holds eight samples, then kill without warning.
    std::size_t journalled = 0;
    for (int i = 0; i < 600 && journalled < 8; ++i) {
        ::usleep(50000);
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(meter.JournalDir(), ec)) {
            std::istringstream lines(Slurp(e.path().string()));
            std::size_t n = 0;
            for (std::string line; std::getline(lines, line);) n += line.rfind("S ", 0) == 0;
            journalled = n;
        }
    }
    ::kill(log, SIGKILL);
    ::waitpid(log, nullptr, 0);
    ASSERT_GE(journalled, 8u);

    const CliRun list = Cli("recover");
    EXPECT_EQ(list.exit, 0) << list.err;
    EXPECT_NE(list.out.find("Fixed Interval  " + meter.JournalDir() + "/run-"), std::string::npos) << list.out;
    const CliRun saved = Cli("recover -o '" + dir.File("back") + "'");
    ASSERT_EQ(saved.exit, 0) << saved.err;
    const std::string file = saved.out.substr(saved.out.find(dir.File("back")));
    std::istringstream csv(Slurp(file.substr(0, file.find('\n'))));
    std::vector<std::string> lines;
    for (std::string line; std::getline(csv, line);) lines.push_back(line);
    ASSERT_GT(lines.size(), 11u);
    EXPECT_EQ(lines[0], "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r");
    EXPECT_EQ(lines[7], "7 SAMPLING PERIOD,0.25s[1s/div]\r");
    EXPECT_GE(lines.size() - 11, journalled);
    EXPECT_EQ(Cli("recover").out, "No logging run is waiting to be recovered.\n");
}

// A file-size limit (ulimit -f) stands in for a full disk that also sends SIGXFSZ: the run
// ends with its message and exit status, never killed by the signal, and says what the
// journal kept.
TEST(Cli, LogPastAFileSizeLimitSaysWhatIsKeptInsteadOfDying) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.SetField(1.0e-6, 2.0e-6, 3.0e-6));
    tessera::testing::TempDir dir("tessera-cli");
    const std::string err = dir.File("err.txt");
    const pid_t log = ::fork();
    ASSERT_GE(log, 0);
    if (log == 0) {
        const rlimit limit{500, 500};  // the journal's header and a few samples; never the CSV
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0 || !::freopen("/dev/null", "r", stdin) ||
            !::freopen("/dev/null", "w", stdout) || !::freopen(err.c_str(), "w", stderr))
            ::_exit(126);
        ::execl(TESSERA_CLI_PATH, TESSERA_CLI_PATH, "log", "--period", "1s", "--method", "fixed", "--samples", "10",
                "-o", dir.File("live").c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(log, &status, 0), log);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string said = Slurp(err);
    EXPECT_NE(said.find("The file \"" + dir.File("live.CSV") + "\" could not be written.\nOnly "), std::string::npos)
        << said;
    EXPECT_NE(said.find(" of 10 samples are kept in the logging journal.\n"), std::string::npos) << said;
}

}  // namespace
