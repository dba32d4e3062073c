// Open exports: the times of a survey's rows across its rollover parts (ISO 8601 with
// milliseconds, the offset from UTC where the run's sidecar recorded it and none where it did
// not), O.L. readings as empty fields, and the spreadsheet form in the user's locale.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"
#include "platform/NumberMarks.h"
#include "survey/Export.h"
#include "survey/Sources.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/LogHeaders.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"

namespace {

using namespace tessera;
using tessera::testing::TempDir;

// Two parts: the first (with the run's sidecar, +01:00) crosses midnight at four samples a
// second; the second, a file of the legacy kind without a sidecar, ends with a reading far
// over its range.
std::string WriteSurvey(const TempDir& dir) {
    const std::string first = dir.File("survey.CSV");
    // 1 s a division, 0.25 s a sample
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{2024, 3, 1, 5, 23, 59, 59}, 0);
    const link::LogSample a[] = {
        {0, 1e-6, 2e-6, 0, 0}, {1, 2e-6, 0, 0, 0}, {2, 3e-6, 0, 0, 0}, {3, 4e-6, 0, 0, 0}, {4, 5e-6, 0, 0, 0}};
    logger::WriteLogFile(first, h, a, 4);
    tessera::testing::WriteAll(dir.File("survey.marks.csv"),
                               "# TESSERA logging run\n# utc_offset: +01:00\n# sensor: 8621\nsample,time,text\n");
    h.start = {2024, 3, 2, 6, 0, 0, 1};
    h.periodIndex = 3;  // one sample a second
    const link::LogSample b[] = {{0, 6e-6, 0, 0, 0}, {1, 1.0, 0, 0, 0}};
    logger::WriteLogFile(logger::SurveyPartPath(first, 2), h, b, 1);
    return first;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Export(const survey::Series& series, const survey::RowForm& form, int threads = 1) {
    std::string text;
    EXPECT_TRUE(survey::WriteExport(
        series, survey::FactsOfFiles(series, form.Shown()), form,
        [&text](std::string_view piece) {
            text += piece;
            return true;
        },
        {}, threads));
    return text;
}

TEST(Export, TimesAcrossPartsCarryTheirOwnOffsetOrNone) {
    TempDir dir;
    auto read = survey::ReadFiles({WriteSurvey(dir)});
    ASSERT_TRUE(std::holds_alternative<survey::Series>(read)) << std::get<std::string>(read);
    const auto& series = std::get<survey::Series>(read);
    const auto uT = *survey::UnitNamed("uT");
    const auto lines = Lines(Export(series, survey::RowForm(survey::ExportForm::OpenCsv, series.StoredUnit(), uT)));
    const auto head = std::find(lines.begin(), lines.end(), "time,x,y,z,R");
    ASSERT_NE(head, lines.end());
    const std::vector<std::string> rows(head + 1, lines.end());
    const std::vector<std::string> expected = {
        "2024-03-01T23:59:59.000+01:00,1,2,0,2.236",
        "2024-03-01T23:59:59.250+01:00,2,0,0,2",
        "2024-03-01T23:59:59.500+01:00,3,0,0,3",
        "2024-03-01T23:59:59.750+01:00,4,0,0,4",
        "2024-03-02T00:00:00.000+01:00,5,0,0,5",  // midnight inside a part
        "2024-03-02T00:00:01.000,6,0,0,6",        // the legacy part: no offset
        "2024-03-02T00:00:02.000,,0,0,",          // x over range, and so R
    };
    EXPECT_EQ(rows, expected);
    // The facts: instrument with the sidecar's sensor, both files, the unit written.
    const std::string text = Export(series, survey::RowForm(survey::ExportForm::OpenCsv, series.StoredUnit(), uT));
    for (const char* fact : {"# instrument: TAVIK QM8620, sensor 8621\n", "# unit: uT\n", "# method: fixed interval\n",
                             "# mode: Magnetic Flux Density(10Hz-400kHz)\n"})
        EXPECT_NE(text.find(fact), std::string::npos) << fact << text;
    EXPECT_NE(text.find("# source: " + dir.File("survey-002.CSV") + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("# period: 0.25s[1s/div] (survey.CSV); 1s[20s/div] (survey-002.CSV)\n"), std::string::npos)
        << text;
    // Rows formed by several threads come out in the same order.
    EXPECT_EQ(Export(series, survey::RowForm(survey::ExportForm::OpenCsv, series.StoredUnit(), uT), 3), text);
}

TEST(Export, JsonLinesGiveEverySampleItsObjectAndOverRangeNull) {
    TempDir dir;
    const auto series = std::get<survey::Series>(survey::ReadFiles({WriteSurvey(dir)}));
    const std::string text =
        Export(series, survey::RowForm(survey::ExportForm::Jsonl, series.StoredUnit(), *survey::UnitNamed("nT")));
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), series.Size()) << "no head: each line stands alone";
    EXPECT_EQ(lines.front(),
              R"({"time":"2024-03-01T23:59:59.000+01:00","x":1000,"y":2000,"z":0,"R":2236,"unit":"nT"})");
    EXPECT_EQ(lines.back(), R"({"time":"2024-03-02T00:00:02.000","x":null,"y":0,"z":0,"R":null,"unit":"nT"})");
}

#ifndef _WIN32
// Sets a variable of the environment for the test's length.
class Environment {
public:
    Environment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~Environment() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Export, SpreadsheetTakesTheMarksOfTheUsersLocaleAndLeavesTheProgramsAlone) {
    TempDir dir;
    const auto series = std::get<survey::Series>(survey::ReadFiles({WriteSurvey(dir)}));
    const auto uT = *survey::UnitNamed("uT");
    {
        Environment german("LC_ALL", "de_DE.UTF-8");
        const tessera::platform::NumberMarks marks = platform::UserNumberMarks();
        ASSERT_EQ(marks.decimal, ",") << "tools/bootstrap.sh generates de_DE.UTF-8";
        EXPECT_EQ(marks.separator, ";");
        const auto lines =
            Lines(Export(series, survey::RowForm(survey::ExportForm::Spreadsheet, series.StoredUnit(), uT, marks)));
        const auto head = std::find(lines.begin(), lines.end(), "time;x;y;z;R");
        ASSERT_NE(head, lines.end());
        EXPECT_EQ(head[1], "2024-03-01T23:59:59.000+01:00;1;2;0;2,236");
        EXPECT_EQ(lines.back(), "2024-03-02T00:00:02.000;;0;0;");
        // The open CSV keeps its own marks whatever the locale.
        EXPECT_EQ(
            Lines(Export(series, survey::RowForm(survey::ExportForm::OpenCsv, series.StoredUnit(), uT, marks))).back(),
            "2024-03-02T00:00:02.000,,0,0,");
        // Asking the locale changed nothing the program's own readers use.
        EXPECT_EQ(std::strtod("2.5", nullptr), 2.5);
    }
    Environment plain("LC_ALL", "C");
    EXPECT_EQ(platform::UserNumberMarks().decimal, ".");
    EXPECT_EQ(platform::UserNumberMarks().separator, ",");
}
#endif

// A long run hands its full store over and goes on in a new part with its own start: the
// stream goes on with it, every sample once, the new part's timed from that start.
TEST(LiveStreamTest, GoesOnAcrossTheFullStoreOfALongRun) {
    tessera::testing::FakeMeterPort meter;
    tessera::testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    logger::LoggerModel run{meter, prompter, clock};
    clock.millis = 1000;
    clock.now = {2024, 3, 1, 23, 59, 59, 0, 5};
    clock.utcOffsetMinutes = 60;
    meter.current = tessera::testing::MeterRecord('0', 1, '0');
    run.Refresh();
    run.SelectPeriod(0);  // a sample every 0.25 s
    meter.Queue(1e-6, 0, 0);

    std::mutex mutex;  // the stream writes on its own thread
    std::string out;
    survey::LiveStream stream(
        survey::ExportForm::Jsonl,
        [&](std::string_view piece) {
            std::lock_guard lock(mutex);
            out += piece;
            return true;
        },
        "run.CSV");
    int handedOver = 0;
    run.SetStoreFullHandler([&](const logger::LogHeader&, int) {
        stream.FollowFullStore(run);
        ++handedOver;
        clock.now = {2024, 3, 2, 2, 13, 19, 0, 6};  // 32000 samples of 0.25 s later
        return true;
    });
    ASSERT_TRUE(run.Start());
    const int total = link::kLogSlots + 3;
    for (int i = 0; i < total; ++i) {
        if (run.PollCount() > 0) clock.millis += run.CurrentSchedule().pollPeriodMs;
        run.Tick(clock.millis);
        stream.Follow(run);
    }
    ASSERT_TRUE(stream.Finish(std::chrono::seconds(10)));
    EXPECT_EQ(handedOver, 1);
    std::lock_guard lock(mutex);
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(total));
    EXPECT_EQ(lines[0].find("{\"time\":\"2024-03-01T23:59:59.000+01:00\""), 0u) << lines[0];
    EXPECT_EQ(lines[link::kLogSlots - 1].find("{\"time\":\"2024-03-02T02:13:18.750+01:00\""), 0u)
        << lines[link::kLogSlots - 1];
    EXPECT_EQ(lines[link::kLogSlots].find("{\"time\":\"2024-03-02T02:13:19.000+01:00\""), 0u) << lines[link::kLogSlots];
}

}  // namespace
