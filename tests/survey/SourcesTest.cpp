// Series read by the pages' own readers: rollover parts joined in order and timed from
// their own start, the logger's and Entire Read's "O.L.", and files that do not belong
// together refused with the reason.

#include <gtest/gtest.h>

#include "logger/LoggerCsv.h"
#include "logger/Survey.h"
#include "survey/Sources.h"
#include "tests/support/LogHeaders.h"
#include "tests/support/TempDir.h"

namespace tessera::survey {
namespace {

using testing::TempDir;
using testing::WriteAll;

// A logger file of `n` samples at 1 s (20 s/div, slow off) on the fixed 20 uT range; sample
// i has x = first + i µT and a resultant in the file that is wrong on purpose (the reader
// recomputes it from x, y and z).
void WriteLog(const std::string& path, logger::StartTime start, int n, double firstMicro) {
    auto h = tessera::testing::TeslaLogHeader(start, 3);
    std::vector<link::LogSample> samples;
    for (int i = 0; i < n; ++i) samples.push_back({i, (firstMicro + i) * 1e-6, 3e-6, 4e-6, 1.0});
    ASSERT_TRUE(logger::WriteLogFile(path, h, samples.data(), n - 1));
}

TEST(SurveySources, RolloverPartsAreJoinedInOrderEachTimedFromItsOwnStart) {
    TempDir dir;
    const std::string first = dir.File("survey.CSV");
    WriteLog(first, {2024, 3, 1, 5, 0, 0, 0}, 3, 1);
    // The second part began when the first was saved: later than 3 samples after its start.
    WriteLog(logger::SurveyPartPath(first, 2), {2024, 3, 1, 5, 0, 0, 10}, 2, 10);
    WriteLog(logger::SurveyPartPath(first, 3), {2024, 3, 2, 6, 0, 0, 5}, 1, 20);

    // By its first name, and as a shell's glob lists them (the second part first).
    for (const auto& given :
         {std::vector<std::string>{first},
          std::vector<std::string>{logger::SurveyPartPath(first, 2), first, logger::SurveyPartPath(first, 3)}}) {
        auto read = ReadFiles(given);
        ASSERT_TRUE(std::holds_alternative<Series>(read)) << std::get<std::string>(read);
        const Series& s = std::get<Series>(read);
        ASSERT_EQ(s.Size(), 6u);
        ASSERT_EQ(s.Parts().size(), 3u);
        EXPECT_EQ(s.StoredUnit().name, "T");
        EXPECT_NEAR(s.Value(kX, 3), 10e-6, 1e-15);  // part 2 follows part 1
        EXPECT_EQ(IsoLocal(s.TimeOf(2)), "2024-03-01T00:00:02");
        EXPECT_EQ(IsoLocal(s.TimeOf(3)), "2024-03-01T00:00:10");  // its own START TIME
        EXPECT_EQ(IsoLocal(s.TimeOf(5)), "2024-03-02T00:00:05");
        EXPECT_EQ(s.NumberOf(4), 2);                   // NO 2 of the second file
        EXPECT_NEAR(s.Value(kR, 0), 5.099e-6, 1e-15);  // √(1²+3²+4²) µT to four digits, not the file's 1
    }
}

TEST(SurveySources, OverRangeIsWhatTheLoggerReadoutShows) {
    TempDir dir;
    const std::string path = dir.File("ol.CSV");
    // 20 uT range: 20.00 µT is its full scale (no O.L.), 20.01 µT lies above it (O.L.).
    WriteAll(path,
             "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n1 MODE,Magnetic Flux Density(10Hz-400kHz)\r\n"
             "2 UNIT,T\r\n3 RANGE,fixed,20.00uT\r\n4 OUTPUT,OFF\r\n5 SLOW,OFF\r\n"
             "6 START TIME,2024/3/1(FRI),00:00:00\r\n7 SAMPLING PERIOD,1s[20s/div]\r\n"
             "8 SAMPLING METHOD,fixed interval\r\n9 DATA\r\nNO,x,y,z,R\r\n"
             "1,0.00002000,0.000001000,0.000001000,0\r\n2,0.00002001,0.000001000,0.000001000,0\r\n"
             "3,0,0,0,0\r\n4,0.000005000,0.000001000,0.000001000,0");
    auto read = ReadFiles({path});
    ASSERT_TRUE(std::holds_alternative<Series>(read)) << std::get<std::string>(read);
    const Series& s = std::get<Series>(read);
    ASSERT_EQ(s.Size(), 3u);  // the all-zero line is no sample
    EXPECT_FALSE(s.Over(kX, 0));
    EXPECT_TRUE(s.Over(kX, 1));
    EXPECT_TRUE(s.Over(kR, 1));
    EXPECT_FALSE(s.Over(kY, 1));
    ASSERT_EQ(s.notes.size(), 1u);
    EXPECT_NE(s.notes[0].find("data line 3"), std::string::npos) << s.notes[0];
}

constexpr const char* kEntireReadHeader =
    "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
    "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n";

TEST(SurveySources, EntireReadRecordsKeepTheirNumbersAndOneKindOfReading) {
    TempDir dir;
    const std::string path = dir.File("memory.CSV");
    WriteAll(path,
             std::string(kEntireReadHeader) +
                 "1,Magnetic Flux Density(10Hz-400kHz),R,uT,2.000uT,1.000,1.000,1.000,1.732,OFF,OFF,8621,1.9,1.5\r\n"
                 "2,Exposure Level(General Public),R,%,20.00%,1.00,1.00,1.00,1.73,OFF,OFF,8621,2,1\r\n"
                 "3,Magnetic Flux Density(10Hz-400kHz),R,mG,20.00mG,O.L.,1.00,1.00,O.L.,OFF,OFF,8621,O.L.,O.L.\r\n"
                 "4,Magnetic Flux Density(10Hz-400kHz),R,uT,2.000uT,0.100,0.200,0.200,0.300,OFF,OFF,8621,0.4,0.2\r\n");
    auto read = ReadFiles({path});
    ASSERT_TRUE(std::holds_alternative<Series>(read)) << std::get<std::string>(read);
    const Series& s = std::get<Series>(read);
    EXPECT_FALSE(s.Timed());
    ASSERT_EQ(s.Size(), 3u);  // the exposure record is of another kind
    EXPECT_EQ(s.StoredUnit().name, "T");
    EXPECT_EQ(s.NumberOf(1), 3);
    EXPECT_EQ(s.NumberOf(2), 4);
    EXPECT_TRUE(s.Over(kR, 1));
    EXPECT_TRUE(s.Over(kX, 1));
    EXPECT_FALSE(s.Over(kY, 1));
    // 1.00 mG in tesla, and R as the file has it: the page's own (single-precision) factors.
    EXPECT_NEAR(s.Value(kY, 1), 1e-7, 1e-13);
    EXPECT_NEAR(s.Value(kR, 2), 3e-7, 1e-13);
    ASSERT_FALSE(s.notes.empty());
    EXPECT_NE(s.notes[0].find("exposure level"), std::string::npos);
}

TEST(SurveySources, FilesThatDoNotBelongTogetherAreRefusedWithTheReason) {
    TempDir dir;
    const std::string log = dir.File("log.CSV"), memory = dir.File("memory.CSV"), other = dir.File("other.CSV");
    WriteLog(log, {2024, 3, 1, 5, 0, 0, 0}, 2, 1);
    WriteAll(memory,
             std::string(kEntireReadHeader) +
                 "1,Magnetic Flux Density(10Hz-400kHz),R,uT,2.000uT,1.000,1.000,1.000,1.732,OFF,OFF,8621,1.9,1.5\r\n");
    WriteAll(other, "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n1 MODE,Nonsense\r\n");
    auto mixed = ReadFiles({log, memory});
    ASSERT_TRUE(std::holds_alternative<std::string>(mixed));
    EXPECT_NE(std::get<std::string>(mixed).find("cannot be evaluated together"), std::string::npos);
    auto bad = ReadFiles({log, other});
    ASSERT_TRUE(std::holds_alternative<std::string>(bad));
    EXPECT_EQ(std::get<std::string>(bad),
              "\"" + other + "\": An unidentifiable information about \"MODE\" in this file.");
    auto missing = ReadFiles({dir.File("none.CSV")});
    EXPECT_NE(std::get<std::string>(missing).find("was not found"), std::string::npos);
}

}  // namespace
}  // namespace tessera::survey

namespace tessera::survey {
namespace {

TEST(SurveySources, PartsAreFoundUpToTheFirstMissingAndFilesOfOneFamilyAreJoinedInOneUnit) {
    TempDir dir;
    const std::string first = dir.File("run.CSV");
    WriteLog(first, {2024, 3, 1, 5, 0, 0, 0}, 2, 1);
    WriteLog(logger::SurveyPartPath(first, 2), {2024, 3, 1, 5, 0, 1, 0}, 2, 3);
    WriteLog(logger::SurveyPartPath(first, 4), {2024, 3, 1, 5, 0, 3, 0}, 2, 5);  // after a gap: not this run's
    const auto files = WithRolloverParts({first, logger::SurveyPartPath(first, 2)});
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1], logger::SurveyPartPath(first, 2));

    // The same field logged in A/m joins a tesla file in tesla (B = µ0·H), and says so.
    const std::string hfile = dir.File("h.CSV");
    testing::WriteAll(hfile,
                      "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n1 MODE,Magnetic Flux Density(10Hz-400kHz)\r\n"
                      "2 UNIT,A/m\r\n3 RANGE,fixed,16.00A/m\r\n4 OUTPUT,OFF\r\n5 SLOW,OFF\r\n"
                      "6 START TIME,2024/3/2(SAT),00:00:00\r\n7 SAMPLING PERIOD,1s[20s/div]\r\n"
                      "8 SAMPLING METHOD,fixed interval\r\n9 DATA\r\nNO,x,y,z,R\r\n1,1.000,0,0,1.000");
    auto read = ReadFiles({first, hfile});
    ASSERT_TRUE(std::holds_alternative<Series>(read)) << std::get<std::string>(read);
    const Series& s = std::get<Series>(read);
    ASSERT_EQ(s.Size(), 5u);
    EXPECT_EQ(s.StoredUnit().name, "T");
    EXPECT_NEAR(s.Value(kX, 4), 4e-7 * 3.14159265358979, 1e-15);
    EXPECT_NE(s.notes.back().find("values in A/m were converted into T"), std::string::npos) << s.notes.back();
}

}  // namespace
}  // namespace tessera::survey
