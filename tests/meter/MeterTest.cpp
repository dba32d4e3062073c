// The virtual meter's model: what it answers, how settings travel from the setting
// commands to "SETUP", and the faults tests rely on.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "link/Decode.h"
#include "meter/FieldModel.h"
#include "meter/Meter.h"
#include "meter/MeterRequests.h"
#include "meter/MeterSetup.h"
#include "meter/Server.h"

namespace tessera::meter {
namespace {

std::string Reply(Meter& m, std::string_view command) {
    Response r = m.Handle(command);
    EXPECT_EQ(r.kind, Response::Kind::Reply) << command;
    return r.bytes;
}

settings::MeterSettings Decoded(const std::string& reply) {
    settings::MeterSettings s{};
    link::DecodeReply(reply, s, false);
    return s;
}

TEST(MeterReplies, IdentificationStatusAndDataHaveTheLinksShapes) {
    Meter m;
    m.SetMemory(
        {"0,3,0,10,1.234E-06,5.678E-07,9.100E-08,0,1,1,1,1,0", "3,3,3,12,1.520E+02,8.200E+01,3.300E+01,0,2,1,1,1,1"});
    EXPECT_EQ(Reply(m, "QPID"), "8620\r\n");
    EXPECT_EQ(Reply(m, "FUNC 0"), "0\r\n");
    EXPECT_EQ(Reply(m, "APP 1"), "0\r\n");
    EXPECT_EQ(Reply(m, "LOG 1"), "0\r\n");
    EXPECT_TRUE(m.Logging());
    EXPECT_EQ(Reply(m, "DATA? 2"), "3,3,3,12,1.520E+02,8.200E+01,3.300E+01,0,2,1,1,1,1\r\n");
    // Past the end, before the start and nonsense: the three-byte status replies.
    EXPECT_EQ(Reply(m, "DATA? 3"), "3\r\n");
    EXPECT_EQ(Reply(m, "DATA? 0"), "3\r\n");
    EXPECT_EQ(Reply(m, "DATA? x"), "2\r\n");
    EXPECT_EQ(Reply(m, "HELLO"), "1\r\n");
    EXPECT_EQ(Reply(m, "MCLR"), "0\r\n");
    EXPECT_EQ(Reply(m, "DATA? 1"), "3\r\n");
}

TEST(MeterReplies, MemoryModeReplyIsNeverMistakenForAStatus) {
    Meter m;
    for (char mem : {'0', '1'}) {
        Settings s;
        s.memMode = mem;
        m.SetSettings(s);
        const std::string r = Reply(m, "MEM?");
        EXPECT_NE(r.size(), 3u) << "a three-byte reply reads as a status";
        EXPECT_EQ(r[0], mem);
        EXPECT_EQ(r.substr(r.size() - 2), "\r\n");
    }
}

TEST(MeterReplies, MeasurementDecodesToTheCurrentSettings) {
    Meter m;
    Settings s;
    s.mode = '1';
    s.axis = '2';
    s.unit = '1';
    s.range = 3;  // fixed: reply range index 2
    s.output = '2';
    s.beep = '0';
    s.slow = '1';
    m.SetSettings(s);
    m.SetSensor('2');
    m.SetFixedField(Field{1.0e-4, 2.0e-5, 3.0e-6});
    const std::string r = Reply(m, "MEAS?");
    ASSERT_EQ(r.substr(r.size() - 2), "\r\n");
    const auto d = Decoded(r);
    EXPECT_EQ(d.mode, '1');
    EXPECT_EQ(d.axis, '2');
    EXPECT_EQ(d.unit, '1');
    EXPECT_EQ(d.range, 2);
    EXPECT_DOUBLE_EQ(d.value1, 1.0);  // 100 uT = 1 G
    EXPECT_DOUBLE_EQ(d.value2, 0.2);
    EXPECT_DOUBLE_EQ(d.value3, 0.03);
    EXPECT_EQ(d.output, '2');
    EXPECT_EQ(d.sensor, '2');
    EXPECT_EQ(d.autoPowerOff, '1');
    EXPECT_EQ(d.beep, '0');
    EXPECT_EQ(d.spare, '1');
    EXPECT_EQ(d.slow, '1');
    EXPECT_EQ(link::SplitReply(r)[4], "1.000E+00");
}

TEST(MeterSettings, SettingCommandsWaitForSetupAndInitRestoresTheFactoryState) {
    Meter m;
    for (const char* c : {"MODE 4", "AXIS 0", "UNIT 1", "RANGE 2", "OUTPUT 1", "APS 0", "BEEP 0", "SLOW 1", "MEM 1"})
        EXPECT_EQ(Reply(m, c), "0\r\n") << c;
    EXPECT_EQ(m.Current(), FactorySettings()) << "nothing applies before SETUP";
    EXPECT_EQ(Reply(m, "SETUP"), "0\r\n");
    Settings want{'4', '0', '3', 2, '1', '0', '0', '1', '1', '1'};  // exposure mode: unit '%'
    EXPECT_EQ(m.Current(), want);
    EXPECT_EQ(Reply(m, "MEM?")[0], '1');

    // Back to flux density with the percent unit left over: the meter measures in T.
    Reply(m, "MODE 0");
    Reply(m, "SETUP");
    EXPECT_EQ(m.Current().unit, '0');

    EXPECT_EQ(Reply(m, "INIT"), "0\r\n");
    EXPECT_EQ(m.Current(), FactorySettings());
    EXPECT_EQ(m.Pending(), FactorySettings());
}

TEST(MeterSettings, OutOfRangeParametersAreRefusedAndChangeNothing) {
    Meter m;
    for (const char* c : {"MODE 5", "AXIS 4", "RANGE 5", "RANGE 10", "OUTPUT 3", "APS 2", "MODE", "MODE 00", "FUNC 1"})
        EXPECT_EQ(Reply(m, c), std::string(1, c == std::string("MODE") ? '1' : '2') + "\r\n") << c;
    Reply(m, "SETUP");
    EXPECT_EQ(m.Current(), FactorySettings());
}

TEST(MeterSettings, RangeNumbersMapToReplyIndexesAutoAboveTen) {
    Meter m;
    m.SetFixedField(Field{1.5e-5, 1.0e-6, 1.0e-6});  // needs the 20 uT range
    EXPECT_EQ(Decoded(Reply(m, "MEAS?")).range, 11) << "AUTO reports 10 + the range in use";
    Reply(m, "RANGE 1");
    Reply(m, "SETUP");
    EXPECT_EQ(Decoded(Reply(m, "MEAS?")).range, 0);
    Reply(m, "RANGE 4");
    Reply(m, "SETUP");
    EXPECT_EQ(Decoded(Reply(m, "MEAS?")).range, 3);
}

TEST(FieldModel, IsDeterministicPerSeedAndCrossesEveryRangeAndOverRange) {
    EXPECT_EQ(FieldAt(7, 123).x, FieldAt(7, 123).x);
    EXPECT_NE(FieldAt(7, 123).x, FieldAt(8, 123).x);

    Meter a(42), b(42);
    std::set<int> ranges;
    bool overRange = false;
    for (std::uint64_t i = 0; i < kSweepPolls; ++i) {
        const std::string r = Reply(a, "MEAS?");
        ASSERT_EQ(r, Reply(b, "MEAS?")) << "poll " << i;
        const auto d = Decoded(r);
        ASSERT_GE(d.value1, 0.0);
        ASSERT_GE(d.value2, 0.0);
        ASSERT_GE(d.value3, 0.0);
        ranges.insert(d.range);
        if (std::max({d.value1, d.value2, d.value3}) > 2e-3) overRange = true;
    }
    EXPECT_EQ(ranges, (std::set<int>{10, 11, 12, 13}));
    EXPECT_TRUE(overRange) << "the sweep must pass the top range";
}

TEST(FieldModel, UnitsAndAutoRangeFollowTheFullScales) {
    EXPECT_DOUBLE_EQ(InUnit(1e-4, '1', '0'), 1.0);
    EXPECT_NEAR(InUnit(1.256637e-6, '2', '0'), 1.0, 1e-12);
    // Exactly full scale is still in range; above it moves up.
    EXPECT_EQ(AutoRangeIndex(Field{2e-6, 0, 0}, '0', false), 0);
    EXPECT_EQ(AutoRangeIndex(Field{0, 2.0001e-6, 0}, '0', false), 1);
    EXPECT_EQ(AutoRangeIndex(Field{0, 0, 5e-3}, '0', false), 3);
    EXPECT_EQ(AutoRangeIndex(Field{0.5, 0, 0}, '3', true), 1) << "no 2% range in the exposure modes";
    EXPECT_EQ(FormatValue(1.234e-6), "1.234E-06");
    EXPECT_EQ(FormatValue(0.0), "0.000E+00");
}

TEST(MeterSensor, RemovalAfterNMeasurementsReportsNoSensorAndZeroValues) {
    Meter m;
    m.SetFixedField(Field{1e-6, 1e-6, 1e-6});
    m.RemoveSensorAfter(2);
    EXPECT_EQ(Decoded(Reply(m, "MEAS?")).sensor, '1');
    EXPECT_EQ(Decoded(Reply(m, "MEAS?")).sensor, '1');
    const auto gone = Decoded(Reply(m, "MEAS?"));
    EXPECT_EQ(gone.sensor, '0');
    EXPECT_EQ(gone.value1 + gone.value2 + gone.value3, 0.0);
}

TEST(MeterFaults, BusyAndStatusFaultsHitOnlyTheirCommandsAndRunOut) {
    Meter m;
    m.SetMemory({"0,3,0,10,1.234E-06,5.678E-07,9.100E-08,0,1,1,1,1,0"});
    Fault f;
    ASSERT_FALSE(ParseFault("busy 2 DATA?", f));
    m.AddFault(f);
    ASSERT_FALSE(ParseFault("status 7 1 OUTPUT", f));
    m.AddFault(f);
    EXPECT_EQ(Reply(m, "QPID"), "8620\r\n");
    EXPECT_EQ(Reply(m, "DATA? 1"), "9\r\n");
    EXPECT_EQ(Reply(m, "DATA? 1"), "9\r\n");
    EXPECT_EQ(Reply(m, "DATA? 1").substr(0, 2), "0,");
    EXPECT_EQ(Reply(m, "MODE 1"), "0\r\n");
    EXPECT_EQ(Reply(m, "OUTPUT 1"), "7\r\n");
    EXPECT_EQ(Reply(m, "OUTPUT 1"), "0\r\n");
    // Every command is logged, the faulted ones included, exactly as received.
    EXPECT_EQ(m.CommandLog(),
              (std::vector<std::string>{"QPID", "DATA? 1", "DATA? 1", "DATA? 1", "MODE 1", "OUTPUT 1", "OUTPUT 1"}));
}

TEST(MeterCommandLog, KeepsOnlyTheLatestCommands) {
    Meter m;
    for (int i = 0; i < static_cast<int>(kDefaultCommandLogSize) + 5; ++i) m.Handle("MEAS?");
    m.Handle("QPID");
    const auto full = m.CommandLog();
    EXPECT_EQ(full.size(), kDefaultCommandLogSize);
    EXPECT_EQ(full.back(), "QPID");
    m.SetCommandLogSize(2);
    m.Handle("MEM?");
    EXPECT_EQ(m.CommandLog(), (std::vector<std::string>{"QPID", "MEM?"}));
    m.SetCommandLogSize(0);
    m.Handle("QPID");
    EXPECT_TRUE(m.CommandLog().empty());
}

TEST(MeterFaults, SilenceTruncationOverlengthAndUnplug) {
    Meter m;
    Fault f;
    ASSERT_FALSE(ParseFault("silence 1", f));
    m.AddFault(f);
    EXPECT_EQ(m.Handle("QPID").kind, Response::Kind::Silence);

    ASSERT_FALSE(ParseFault("truncate 1 QPID", f));
    m.AddFault(f);
    const std::string cut = Reply(m, "QPID");
    EXPECT_LT(cut.size(), 6u);
    EXPECT_NE(cut.size(), 3u) << "a truncated reply must not read as a status";

    ASSERT_FALSE(ParseFault("overlong 1", f));
    m.AddFault(f);
    const std::string longReply = Reply(m, "MEAS?");
    EXPECT_GT(longReply.size(), 300u);
    EXPECT_EQ(longReply.substr(longReply.size() - 2), "\r\n");

    ASSERT_FALSE(ParseFault("delay 250", f));
    m.AddFault(f);
    EXPECT_EQ(m.Handle("QPID").delayMs, 250);
    m.ClearFaults();
    EXPECT_EQ(m.Handle("QPID").delayMs, 0);

    m.UnplugAfter(1);
    EXPECT_EQ(Reply(m, "QPID"), "8620\r\n");
    EXPECT_EQ(m.Handle("QPID").kind, Response::Kind::Unplug);
    EXPECT_EQ(Reply(m, "QPID"), "8620\r\n") << "unplug-after fires once";

    EXPECT_TRUE(ParseFault("status", f).has_value());
    EXPECT_TRUE(ParseFault("jam 3", f).has_value());
}

TEST(MeterMemory, FilesSkipCommentsAndNameTheFirstBadLine) {
    auto ok = ParseMemory("# header\n\n0,3,0,10,1E-06,2E-06,3E-06,0,1,1,1,1,0\r\n  1,0,1,2,0.5,0.25,0,1,2,0,0,1,1  \n");
    EXPECT_TRUE(ok.error.empty()) << ok.error;
    ASSERT_EQ(ok.records.size(), 2u);
    EXPECT_EQ(ok.records[1], "1,0,1,2,0.5,0.25,0,1,2,0,0,1,1");

    auto bad = ParseMemory("0,3,0,10,1E-06,2E-06,3E-06,0,1,1,1,1,0\n0,3,0,10,abc,2E-06,3E-06,0,1,1,1,1,0\n");
    EXPECT_TRUE(bad.records.empty());
    EXPECT_NE(bad.error.find("line 2"), std::string::npos) << bad.error;
    EXPECT_TRUE(ParseMemory("0,3,0,10,1E-06,2E-06\n").records.empty());
    EXPECT_TRUE(ParseMemory("7,3,0,10,1E-06,2E-06,3E-06,0,1,1,1,1,0\n").records.empty());
}

TEST(MeterMemory, DemoMemoryCoversModesUnitsRangesAndOverRangeAndMatchesTheShippedFile) {
    std::ifstream file(TESSERA_DEMO_MEMORY_FILE);
    ASSERT_TRUE(file) << TESSERA_DEMO_MEMORY_FILE;
    std::stringstream text;
    text << file.rdbuf();
    const auto parsed = ParseMemory(text.str());
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.records, DemoMemory());

    std::set<char> modes, units;
    std::set<int> rangeIndexes;
    bool overRange = false;
    for (const auto& line : DemoMemory()) {
        const auto d = Decoded(line + "\r\n");
        modes.insert(d.mode);
        units.insert(d.unit);
        rangeIndexes.insert(d.range % 10);
        const double full = FullScale(d.unit, d.range % 10);
        if (d.value1 > full || d.value2 > full || d.value3 > full) overRange = true;
    }
    EXPECT_EQ(modes.size(), 5u);
    EXPECT_EQ(units.size(), 4u);
    EXPECT_EQ(rangeIndexes.size(), 4u);
    EXPECT_TRUE(overRange);
    EXPECT_GE(DemoMemory().size(), 20u);
}

TEST(MeterControl, RequestsAreCheckedBeforeTheyChangeAnything) {
    Meter m;
    Server server(m, {"/nonexistent", "e", "", ""});
    EXPECT_EQ(server.Control("set mode 9").back().rfind("error", 0), 0u);
    EXPECT_EQ(server.Control("memory add 1,2,3").back().rfind("error", 0), 0u);
    EXPECT_EQ(server.Control("field -1 0 0").back().rfind("error", 0), 0u);
    EXPECT_EQ(server.Control("fault jam").back().rfind("error", 0), 0u);
    EXPECT_EQ(server.Control("bogus").back().rfind("error", 0), 0u);
    EXPECT_TRUE(m.Memory().empty());
    EXPECT_EQ(m.Current(), FactorySettings());

    EXPECT_EQ(server.Control("set range 0").back(), "ok");
    EXPECT_EQ(server.Control("memory add 0,3,0,10,1E-06,2E-06,3E-06,0,1,1,1,1,0").back(), "ok");
    EXPECT_EQ(m.Memory().size(), 1u);
    // Logged commands travel as one printable line each.
    EXPECT_EQ(EscapeForLine(std::string("A\r\n\\\0", 5)), "A\\x0d\\x0a\\\\\\x00");
}

// The options every program carrying a meter shares: each value is checked where it is taken,
// and the set-up refuses a memory file or fault it cannot use, with the exit code to end with.
TEST(MeterSetup, OptionsAreCheckedAndSetTheMeterUp) {
    MeterSetup setup;
    std::string why;
    auto take = [&](const std::string& name, const std::string& value) {
        why.clear();
        return TakeMeterOption(
            name, [&] { return value; }, setup, why);
    };
    EXPECT_FALSE(take("--root", "/tmp")) << "not the meter's";
    for (const auto& [name, value] :
         {std::pair{"--sensor", "7"}, {"--field", "1,2"}, {"--field", "-1,0,0"}, {"--command-log", "-1"}}) {
        EXPECT_TRUE(take(name, value));
        EXPECT_FALSE(why.empty()) << name << " " << value;
    }
    for (const auto& [name, value] : {std::pair{"--sensor", "2"},
                                      {"--field", "1e-6,0,2e-6"},
                                      {"--command-log", "3"},
                                      {"--demo", ""},
                                      {"--fault", "busy 2 DATA?"}}) {
        EXPECT_TRUE(take(name, value));
        EXPECT_TRUE(why.empty()) << name << " " << value << ": " << why;
    }
    Meter m;
    std::string error;
    ASSERT_EQ(SetUpMeter(m, setup, error), 0) << error;
    EXPECT_EQ(m.Sensor(), '2');
    EXPECT_EQ(m.Memory().size(), DemoMemory().size());
    EXPECT_EQ(m.Handle("DATA? 1").bytes.size(), 3u) << "the injected busy answer";

    setup.faults = {"jam"};
    EXPECT_EQ(SetUpMeter(m, setup, error), 2);
    EXPECT_NE(error.find("--fault jam"), std::string::npos) << error;
    setup.faults.clear();
    setup.memoryFile = "/nonexistent/memory.txt";
    EXPECT_EQ(SetUpMeter(m, setup, error), 1);
    EXPECT_EQ(error, "cannot read /nonexistent/memory.txt");
}

}  // namespace
}  // namespace tessera::meter
