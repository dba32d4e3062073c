// The real meter's road on Linux, end to end: tessera-cli and the link through the
// transport library, the registry, tessera-usbd and libusb to a QM8620 emulated on a USB
// bus (emulated-qm8620), checked against the same scenario with virtual-qm8620.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/Link.h"
#include "link/Status.h"
#include "tests/support/BackgroundLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace tessera {
namespace {

using testing::VirtualMeter;
using Strings = std::vector<std::string>;

VirtualMeter::Options OverUsb(VirtualMeter::Options o = {}) {
    o.program = TESSERA_EMULATED_METER_PATH;
    o.entry = "usb-1-1";  // the bridge names the entry after the meter's bus and port
    return o;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CliRun {
    int exit = -1;
    std::string out, err;
};

CliRun Cli(const std::string& dir, const std::string& args) {
    const std::string out = dir + "/out.txt", err = dir + "/err.txt";
    const std::string cmd =
        "cd '" + dir + "' && '" + TESSERA_CLI_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(out), Slurp(err)};
}

// A logger CSV without its start time, which differs from run to run.
std::string WithoutStartTime(std::string csv) {
    const auto at = csv.find("6 START TIME,");
    if (at != std::string::npos) csv.erase(at, csv.find('\n', at) - at);
    return csv;
}

struct Scenario {
    std::string identify, memory, config, log;
    int readExit = -1, applyExit = -1, logExit = -1;
    Strings commands;  // what the meter received for identify, read and the configuration
};

// identify, read (the demo memory), config save / apply / show, and a short log: what a
// user does first with a new meter.
Scenario RunScenario(VirtualMeter::Options options) {
    Scenario s;
    options.demoMemory = true;
    VirtualMeter meter(options);
    if (!meter.Start()) {
        ADD_FAILURE() << meter.LastError();
        return s;
    }
    tessera::testing::TempDir dir;
    EXPECT_TRUE(meter.Set("axis", "1") && meter.Set("unit", "1"));
    s.identify = Cli(dir.Path(), "identify").out;
    s.readExit = Cli(dir.Path(), "read -o memory.CSV").exit;
    s.memory = Slurp(dir.Path() + "/memory.CSV");
    EXPECT_EQ(Cli(dir.Path(), "config save wanted.SET").exit, 0);
    EXPECT_TRUE(meter.Set("axis", "3") && meter.Set("unit", "0"));
    s.applyExit = Cli(dir.Path(), "config apply wanted.SET").exit;
    s.config = Cli(dir.Path(), "config show").out;
    s.commands = meter.CommandLog();
    EXPECT_TRUE(meter.SetField(2.5e-6, 1.0e-6, 0.5e-6));
    s.logExit = Cli(dir.Path(), "log --period 1s --method fixed --samples 3 -o live.CSV").exit;
    s.log = WithoutStartTime(Slurp(dir.Path() + "/live.CSV"));
    return s;
}

TEST(UsbdEndToEnd, TheCliThroughTheBridgeGetsWhatTheVirtualMeterGives) {
    const Scenario direct = RunScenario({});
    const Scenario usb = RunScenario(OverUsb());
    ASSERT_NE(direct.identify.find("Model: QM8620"), std::string::npos) << direct.identify;
    EXPECT_EQ(usb.identify, direct.identify);
    EXPECT_EQ(usb.readExit, 0);
    EXPECT_NE(direct.memory.find("\n25,"), std::string::npos) << "all 25 demo records";
    EXPECT_EQ(usb.memory, direct.memory);
    EXPECT_EQ(usb.applyExit, 0);
    EXPECT_NE(direct.config.find("Axis              y"), std::string::npos) << direct.config;
    EXPECT_EQ(usb.config, direct.config);
    EXPECT_EQ(usb.commands, direct.commands) << "the same commands reached the meter";
    EXPECT_EQ(usb.logExit, 0);
    EXPECT_NE(direct.log.find("\n3,0.02500,0.01000,0.005000,0.02739"), std::string::npos)
        << direct.log;  // gauss, as applied
    EXPECT_EQ(usb.log, direct.log);
}

class UsbdBridge : public ::testing::Test {
protected:
    void SetUp() override {
        // Short client reads, so the failures below cost little; the bridge gives up on a
        // command the meter does not take well before a client stops waiting.
        ::setenv("TESSERA_PIPE_TIMEOUT_MS", "1000", 1);
    }
    void TearDown() override { ::unsetenv("TESSERA_PIPE_TIMEOUT_MS"); }

    bool Open(VirtualMeter& meter) {
        if (!meter.Start()) {
            ADD_FAILURE() << meter.LastError();
            return false;
        }
        return link.BindTransportPath(VirtualMeter::BulklinkPath()) && link.OpenSession();
    }
    link::Status Ask(const std::string& command, std::string* text = nullptr) {
        link::Reply reply;
        const link::Status s = link.Exchange(command, reply);
        if (text) *text = std::string(reply.Text());
        return s;
    }

    link::Link link{"DeviceChangeEvent-usbd"};
};

// A high-speed meter sends up to 512 bytes in one packet; the registry carries 64-byte
// messages, so a long reply must arrive whole, not as its first 64 bytes.
TEST_F(UsbdBridge, PacketsLongerThanSixtyFourBytesArriveWhole) {
    std::string direct, usb;
    {
        VirtualMeter meter;
        ASSERT_TRUE(Open(meter));
        ASSERT_TRUE(meter.InjectFault("overlong 1 MEAS?"));
        EXPECT_EQ(Ask("MEAS?", &direct), link::kStatusTooLong);
        link.CloseSession();
    }
    VirtualMeter::Options o = OverUsb();
    o.extraArgs = {"--max-packet", "512"};
    VirtualMeter meter(o);
    ASSERT_TRUE(Open(meter));
    std::string text;
    EXPECT_EQ(Ask("QPID", &text), link::kStatusOk);
    EXPECT_EQ(text, "8620\r\n");
    ASSERT_TRUE(meter.InjectFault("overlong 1 MEAS?"));
    EXPECT_EQ(Ask("MEAS?", &usb), link::kStatusTooLong);
    EXPECT_EQ(usb, direct);
    EXPECT_EQ(usb.size(), 300u);
}

// A halted endpoint costs the exchange it hit; the bridge clears it and the next works.
TEST_F(UsbdBridge, AStalledEndpointFailsOneExchangeAndIsCleared) {
    VirtualMeter meter(OverUsb());
    ASSERT_TRUE(Open(meter));
    for (const char* pipe : {"1", "0"}) {
        ASSERT_TRUE(meter.Control(std::string("stall ") + pipe).ok);
        EXPECT_EQ(Ask("QPID"), link::kStatusNoDevice) << "pipe " << pipe;
        std::string text;
        EXPECT_EQ(Ask("QPID", &text), link::kStatusOk) << "pipe " << pipe;
        EXPECT_EQ(text, "8620\r\n");
    }
}

// A meter that does not take a command (it NAKs) or whose endpoint has gone: the client's
// exchange fails within its own timeout, and once the meter is well again so does nothing.
TEST_F(UsbdBridge, AnEndpointThatNaksOrVanishesIsABoundedFailure) {
    VirtualMeter::Options o = OverUsb();
    o.extraArgs = {"--bridge-arg", "--write-timeout", "--bridge-arg", "100"};
    VirtualMeter meter(o);
    ASSERT_TRUE(Open(meter));
    ASSERT_TRUE(meter.Control("nak 0").ok);
    EXPECT_EQ(Ask("QPID"), link::kStatusNoDevice);
    ASSERT_TRUE(meter.Control("restore 0").ok);
    ASSERT_TRUE(meter.ClearCommandLog());
    EXPECT_EQ(Ask("MEM?"), link::kStatusOk);
    EXPECT_EQ(meter.CommandLog(), Strings{"MEM?"}) << "the refused command was dropped, not sent late";

    ASSERT_TRUE(meter.Control("vanish 1").ok);
    EXPECT_EQ(Ask("QPID"), link::kStatusNoDevice);
    ASSERT_TRUE(meter.Control("restore 1").ok);
    std::string text;
    EXPECT_EQ(Ask("QPID", &text), link::kStatusOk);
    EXPECT_EQ(text, "8620\r\n");
}

// Two programs that share no exchange lock, as two users' programs do not, ask the meter at
// the same time: each reads the answers to its own commands and never the other's.
TEST_F(UsbdBridge, ProgramsThatShareNoLockNeverTakeEachOthersAnswers) {
    VirtualMeter meter(OverUsb());
    ASSERT_TRUE(Open(meter));
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        link::Link mine("DeviceChangeEvent-other-user");
        char byte = 0;
        if (!mine.BindTransportPath(VirtualMeter::BulklinkPath()) || !mine.OpenSession() ||
            ::read(go[0], &byte, 1) != 1)
            ::_exit(2);
        int wrong = 0;
        for (int i = 0; i < 40; ++i) {
            link::Reply reply;
            if (mine.Exchange("MEM?", reply) != link::kStatusOk || reply.Text() != "0,00\r\n") ++wrong;
        }
        ::_exit(wrong == 0 ? 0 : 1);
    }
    ASSERT_EQ(::write(go[1], "x", 1), 1);
    int wrong = 0;
    for (int i = 0; i < 40; ++i) {
        std::string text;
        if (Ask("QPID", &text) != link::kStatusOk || text != "8620\r\n") ++wrong;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    ::close(go[0]);
    ::close(go[1]);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program took an answer not its own";
}

// Unplugged, the entry goes at once, whether or not a program has the meter open, and a
// session's exchanges fail; plugged in again (at a new USB address) the same entry comes
// back and a new session works.
TEST_F(UsbdBridge, UnplugWithdrawsTheEntryAndReplugServesItAgain) {
    VirtualMeter meter(OverUsb());
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    EXPECT_TRUE(meter.Unplug()) << meter.LastError();
    ASSERT_TRUE(meter.Plug()) << meter.LastError();
    ASSERT_TRUE(link.BindTransportPath(VirtualMeter::BulklinkPath()));
    ASSERT_TRUE(link.OpenSession());
    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
    ASSERT_TRUE(meter.Unplug()) << meter.LastError();
    EXPECT_EQ(link.RefreshSettings(), link::kStatusNoDevice);
    link.CloseSession();
    EXPECT_FALSE(link.OpenSession()) << "nothing to open while the cable is out";
    ASSERT_TRUE(meter.Plug()) << meter.LastError();
    ASSERT_TRUE(link.OpenSession());
    EXPECT_EQ(link.RefreshSettings(), link::kStatusOk);
    EXPECT_EQ(meter.StatusValue("bridge"), "running");
    EXPECT_EQ(Slurp(meter.EntryPath() + "/identity"), "serial QM8620001\r\nmodel QM8620\r\n")
        << "the entry shows the meter's USB serial number";
}

// A survey with --reconnect outlives the cable pulled and put back through the real driver:
// the meter comes back under a new USB address, the run under its own next part.
TEST(UsbdEndToEnd, ReconnectingLogOutlivesUnplugAndReplug) {
    VirtualMeter meter(OverUsb());
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    tessera::testing::TempDir dir;
    testing::BackgroundLog log(TESSERA_CLI_PATH, dir, {"--reconnect"});
    ASSERT_TRUE(testing::Polled(meter, 6));
    ASSERT_TRUE(meter.Unplug()) << meter.LastError();
    ASSERT_TRUE(log.Said("Waiting for the QM8620")) << log.Err();
    ASSERT_TRUE(meter.Plug()) << meter.LastError();
    ASSERT_TRUE(log.Said(": connection lost. Logging goes on in " + dir.File("survey-002.CSV"))) << log.Err();
    ASSERT_TRUE(testing::Polled(meter, 6));
    EXPECT_EQ(log.End(SIGTERM), 0) << log.Err();
    EXPECT_NE(Slurp(dir.File("survey.CSV")).find("NO,x,y,z,R\r\n1,"), std::string::npos);
    EXPECT_NE(Slurp(dir.File("survey-002.CSV")).find("NO,x,y,z,R\r\n1,"), std::string::npos);
}

}  // namespace
}  // namespace tessera
