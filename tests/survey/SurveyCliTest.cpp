// tessera-cli stats and references as scripts use them: the json names, csv's unrounded
// numbers, per-hour groups over joined parts, and the exit statuses.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "logger/LoggerCsv.h"
#include "logger/RunMarks.h"
#include "logger/Survey.h"
#include "tests/support/LogHeaders.h"
#include "tests/support/TempDir.h"

namespace {

using tessera::testing::ReadAll;
using tessera::testing::TempDir;

struct CliRun {
    int exit = -1;
    std::string out, err;
};

CliRun Cli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
    const std::string cmd = std::string("'") + TESSERA_CLI_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadAll(out), ReadAll(err)};
}

// Two rollover parts around midnight: 23:59:58 and :59 in the first, 00:00:00 in the second.
std::string WriteSurvey(const TempDir& dir) {
    using namespace tessera;
    const std::string first = dir.File("survey.CSV");
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{2024, 3, 1, 5, 23, 59, 58}, 3);  // one sample a second
    const link::LogSample a[] = {{0, 1e-6, 0, 0, 1e-6}, {1, 3e-6, 0, 0, 3e-6}};
    logger::WriteLogFile(first, h, a, 1);
    h.start = {2024, 3, 2, 6, 0, 0, 0};
    const link::LogSample b[] = {{0, 2e-6, 0, 0, 2e-6}};
    logger::WriteLogFile(logger::SurveyPartPath(first, 2), h, b, 0);
    return first;
}

TEST(SurveyCli, JsonCarriesTheNamesScriptsRelyOn) {
    TempDir dir;
    const std::string file = WriteSurvey(dir);
    const CliRun r = Cli(
        dir,
        "stats '" + file +
            "' --unit uT --threshold 1.5uT --threshold 2500nT --reference icnirp2010-public --frequency 60 --by hour "
            "--format json");
    ASSERT_EQ(r.exit, 0) << r.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    for (const char* key :
         {"samples", "left_out", "from", "to", "quantity", "unit", "min", "max", "mean", "geometric_mean",
          "geometric_mean_left_out", "median", "p95", "hi5", "above", "reference", "by"})
        EXPECT_TRUE(o.contains(QLatin1String(key))) << key << "\n" << r.out;
    EXPECT_EQ(o["samples"].toInt(), 3);
    EXPECT_EQ(o["unit"].toString(), "uT");
    EXPECT_EQ(o["from"].toString(), "2024-03-01T23:59:58");
    EXPECT_EQ(o["to"].toString(), "2024-03-02T00:00:00");
    const QJsonObject max = o["max"].toObject();
    EXPECT_DOUBLE_EQ(max["value"].toDouble(), 3.0);
    EXPECT_EQ(max["time"].toString(), "2024-03-01T23:59:59");
    EXPECT_EQ(max["sample"].toInt(), 2);
    EXPECT_DOUBLE_EQ(o["median"].toDouble(), 2.0);
    const QJsonArray above = o["above"].toArray();  // --threshold given twice: both, in order
    ASSERT_EQ(above.size(), 2);
    EXPECT_DOUBLE_EQ(above[0].toObject()["threshold"].toDouble(), 1.5);
    EXPECT_NEAR(above[0].toObject()["percent"].toDouble(), 200.0 / 3, 1e-9);
    EXPECT_NEAR(above[1].toObject()["threshold"].toDouble(), 2.5, 1e-12);
    EXPECT_NEAR(above[1].toObject()["percent"].toDouble(), 100.0 / 3, 1e-9);
    const QJsonObject ref = o["reference"].toObject();
    for (const char* key : {"name", "frequency_hz", "limit", "max_percent", "mean_percent", "percent_above"})
        EXPECT_TRUE(ref.contains(QLatin1String(key))) << key;
    EXPECT_DOUBLE_EQ(ref["limit"].toDouble(), 200.0);
    EXPECT_DOUBLE_EQ(ref["frequency_hz"].toDouble(), 60.0);
    EXPECT_DOUBLE_EQ(ref["max_percent"].toDouble(), 1.5);
    const QJsonArray by = o["by"].toArray();
    ASSERT_EQ(by.size(), 2);
    EXPECT_EQ(by[0].toObject()["hour"].toInt(), 0);
    EXPECT_EQ(by[1].toObject()["samples"].toInt(), 2);
    EXPECT_TRUE(by[1].toObject()["reference"].isObject());
}

TEST(SurveyCli, CsvAndTextAndWhatGoesWrong) {
    TempDir dir;
    const std::string file = WriteSurvey(dir);
    const CliRun csv = Cli(dir, "stats '" + file + "' --from 2024-03-01T23:59:59 --format csv");
    ASSERT_EQ(csv.exit, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("scope,from,to,duration_s,samples,left_out,quantity,unit,min,", 0), 0u) << csv.out;
    EXPECT_NE(csv.out.find("\r\nall,2024-03-01T23:59:59,2024-03-02T00:00:00,2,2,0,R,T,2e-06,"), std::string::npos)
        << csv.out;

    const CliRun text = Cli(dir, "stats '" + file + "' --unit nT");
    ASSERT_EQ(text.exit, 0) << text.err;
    EXPECT_NE(text.out.find("survey.CSV and 1 further part: 3 samples"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("3000 nT"), std::string::npos) << text.out;

    EXPECT_EQ(Cli(dir, "stats '" + file + "' --quantity w").exit, 2);
    EXPECT_EQ(Cli(dir, "stats '" + file + "' --reference nonsense").exit, 2);
    EXPECT_EQ(Cli(dir, "stats '" + file + "' --unit %").exit, 2);
    const CliRun missing = Cli(dir, "stats '" + dir.File("none.CSV") + "'");
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.err.find("was not found"), std::string::npos);

    const CliRun refs = Cli(dir, "references");
    ASSERT_EQ(refs.exit, 0) << refs.err;
    EXPECT_NE(refs.out.find("icnirp2010-public\n  ICNIRP 2010, general public\n  50 Hz: 200.0 uT"), std::string::npos)
        << refs.out;
}

}  // namespace

namespace {

TEST(SurveyCli, RecordsHaveNoTimeAndExposureLevelsNoReference) {
    TempDir dir;
    const std::string memory = dir.File("memory.CSV");
    tessera::testing::WriteAll(memory,
                               "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
                               "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n"
                               "1,Exposure Level(General Public),R,%,20.00%,1.00,2.00,2.00,3.00,OFF,OFF,8621,3,2\r\n"
                               "2,Exposure Level(General Public),R,%,20.00%,4.00,0.00,3.00,5.00,OFF,OFF,8621,5,4\r\n");
    const CliRun json = Cli(dir, "stats '" + memory + "' --reference icnirp2010-public --format json");
    ASSERT_EQ(json.exit, 0) << json.err;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(o["unit"].toString(), "%");
    EXPECT_TRUE(o["from"].isNull());
    EXPECT_TRUE(o["max"].toObject()["time"].isNull());
    EXPECT_DOUBLE_EQ(o["max"].toObject()["value"].toDouble(), 5.0);
    EXPECT_TRUE(o["reference"].toObject()["limit"].isNull());
    EXPECT_TRUE(o["reference"].toObject()["not_applicable"].toString().contains("exposure"));
    EXPECT_EQ(Cli(dir, "stats '" + memory + "' --by day").exit, 2);
    EXPECT_EQ(Cli(dir, "stats '" + memory + "' --from 22:00").exit, 2);

    // Every line of the csv form has as many fields as its head, also with a reference name
    // that holds a comma and per-hour groups.
    const std::string log = WriteSurvey(dir);
    const CliRun csv =
        Cli(dir, "stats '" + log + "' --threshold 1uT --reference icnirp2010-public --by hour --format csv");
    ASSERT_EQ(csv.exit, 0) << csv.err;
    auto fields = [](const std::string& line) {
        int n = 1;
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) ++n;
        }
        return n;
    };
    std::size_t pos = 0;
    int lines = 0, head = -1;
    while (pos < csv.out.size()) {
        const auto eol = csv.out.find("\r\n", pos);
        ASSERT_NE(eol, std::string::npos);
        const std::string line = csv.out.substr(pos, eol - pos);
        if (head < 0) head = fields(line);
        EXPECT_EQ(fields(line), head) << line;
        ++lines;
        pos = eol + 2;
    }
    EXPECT_EQ(lines, 4);  // the head, all, hour 0, hour 23
}

// Marks as --from/--to: each part's sidecar speaks of its own samples, so a mark of the
// second part lands after the first part's samples; a mark's text that is no time is a name.
TEST(SurveyCli, FromAndToTakeTheTextOfAMark) {
    TempDir dir;
    const std::string file = WriteSurvey(dir);
    tessera::logger::RunMarks first, second;
    first.marks = {{1, {}, "heater on"}};   // 23:59:59, the first part's NO 2
    second.marks = {{0, {}, "heater on"}};  // 00:00:00, the second part's NO 1: a later mark of the same text
    ASSERT_TRUE(tessera::logger::WriteMarksFile(file, first, 1));
    ASSERT_TRUE(tessera::logger::WriteMarksFile(tessera::logger::SurveyPartPath(file, 2), second, 0));

    CliRun r = Cli(dir, "stats '" + file + "' --from 'heater on' --format json");
    ASSERT_EQ(r.exit, 0) << r.err;
    QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(o["samples"].toInt(), 2);
    EXPECT_EQ(o["from"].toString(), "2024-03-01T23:59:59");
    // --to looks for the first mark after --from: the first part's after 23:59:58, the second
    // part's after the first part's own mark (one heater cycle, not one sample).
    r = Cli(dir, "stats '" + file + "' --from 23:59:58 --to 'heater on' --format json");
    ASSERT_EQ(r.exit, 0) << r.err;
    o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(o["samples"].toInt(), 2);
    EXPECT_EQ(o["to"].toString(), "2024-03-01T23:59:59");
    r = Cli(dir, "stats '" + file + "' --from 'heater on' --to 'heater on' --format json");
    ASSERT_EQ(r.exit, 0) << r.err;
    o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    EXPECT_EQ(o["samples"].toInt(), 2);
    EXPECT_EQ(o["to"].toString(), "2024-03-02T00:00:00");

    r = Cli(dir, "stats '" + file + "' --from 'door opened'");
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("\"door opened\""), std::string::npos) << r.err;
}

}  // namespace
