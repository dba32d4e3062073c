// The logger CSV file: the example lines byte for byte, save and read back through the page
// model, every header check with its message, the period/method/slow rules, data-line
// errors and blanks, the division layout after reading, and the saving refusals.

#include <gtest/gtest.h>

#include "LoggerTestSupport.h"
#include "logger/LoggerCsv.h"
#include "tests/support/CommaLocale.h"
#include "tests/support/ScriptedPrompter.h"

namespace tessera::logger {
namespace {

using test::FakeMeterPort;
using test::MeterRecord;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

std::string Header(const std::string& slow = "OFF", const std::string& period = "0.5s[10s/div]",
                   const std::string& method = "fixed interval", const std::string& range = "fixed,2.000uT") {
    // clang-format off
    return "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n"
           "1 MODE,Magnetic Flux Density(10Hz-400kHz)\r\n"
           "2 UNIT,T\r\n"
           "3 RANGE," + range + "\r\n"
           "4 OUTPUT,OFF\r\n"
           "5 SLOW," + slow + "\r\n"
           "6 START TIME,2012/5/3(THU),09:05:07\r\n"
           "7 SAMPLING PERIOD," + period + "\r\n"
           "8 SAMPLING METHOD," + method + "\r\n"
           "9 DATA\r\n"
           "NO,x,y,z,R";
    // clang-format on
}

std::string DataLines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "\r\n" + std::to_string(i) + ",0.000001000,0.000000" + std::to_string(100 + i % 900) +
                ",0.0000002000,0.000001";
    }
    return text;
}

TEST(LoggerCsvFormat, ExampleLinesByteForByte) {
    LogHeader header;
    header.record = MeterRecord('0', 0);
    header.start = {2012, 5, 3, 4, 9, 5, 7};
    header.periodIndex = 2;
    header.method = kAverage;
    link::LogSample slots[2] = {{0, 1.23e-7, 4.56e-7, 7.89e-7, Resultant(1.23e-7, 4.56e-7, 7.89e-7)},
                                {1, 1.24e-7, 4.57e-7, 7.88e-7, Resultant(1.24e-7, 4.57e-7, 7.88e-7)}};
    TempDir dir;
    ASSERT_TRUE(WriteLogFile(dir.File("a.CSV"), header, slots, 1));
    EXPECT_EQ(ReadAll(dir.File("a.CSV")),
              "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n"
              "1 MODE,Magnetic Flux Density(10Hz-400kHz)\r\n"
              "2 UNIT,T\r\n"
              "3 RANGE,fixed,2.000uT\r\n"
              "4 OUTPUT,OFF\r\n"
              "5 SLOW,OFF\r\n"
              "6 START TIME,2012/5/3(THU),09:05:07\r\n"
              "7 SAMPLING PERIOD,0.5s[10s/div]\r\n"
              "8 SAMPLING METHOD,average\r\n"
              "9 DATA\r\n"
              "NO,x,y,z,R\r\n"
              "1,0.0000001230,0.0000004560,0.0000007890,0.0000009196\r\n"
              "2,0.0000001240,0.0000004570,0.0000007880,0.0000009193");
    EXPECT_EQ(DataLine(7, {6, 0.5, 1600.0, 5e-11, 1.235e-6}), "7,0.5000,1600,0.000,0.000001235");
}

TEST(LoggerCsvFormat, SundayAndAutoRangeTexts) {
    StartTime sunday{2012, 5, 6, 0, 14, 0, 9};
    EXPECT_EQ(StartTimeText(sunday), "2012/5/6(SUN),14:00:09");
    sunday.weekday = 7;
    EXPECT_EQ(StartTimeText(sunday), "2012/5/6(SUN),14:00:09");
    LogHeader h;
    h.record = MeterRecord('1', 12, '1');
    h.periodIndex = 3;
    const auto lines = HeaderLines(h);
    EXPECT_EQ(lines[3], "3 RANGE,auto,2.000G");
    EXPECT_EQ(lines[5], "5 SLOW,ON");
    EXPECT_EQ(lines[7], "7 SAMPLING PERIOD,2s[20s/div]");
}

TEST(LoggerCsvFormat, HeaderChecksAndTheirMessages) {
    auto message = [](std::string text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (true) {
            const auto end = text.find("\r\n", start);
            lines.push_back(TrimLine(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        const auto parsed = ParseHeader(lines);
        if (const auto* m = std::get_if<std::string>(&parsed)) return *m;
        const auto period = ChoosePeriod(std::get<ParsedHeader>(parsed));
        if (const auto* m = std::get_if<std::string>(&period)) return *m;
        return std::string("accepted");
    };
    auto replace = [](std::string text, const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string good = Header();
    EXPECT_EQ(message(good), "accepted");
    EXPECT_EQ(message(replace(good, "MONITOR", "IMPORT")),
              "The file is a CSV file for \"Entire Read\". \n\nPlease open it in \"Entire Read\" page.");
    EXPECT_EQ(message("hello"), "An unidentifiable file type.");
    EXPECT_EQ(message(replace(good, "1 MODE", "1 MOOD")), "The file is a CSV file without information about \"MODE\".");
    EXPECT_EQ(message(replace(good, "(10Hz-400kHz)", "(1Hz)")),
              "An unidentifiable information about \"MODE\" in this file.");
    EXPECT_EQ(message(replace(good, "Magnetic Flux Density(10Hz-400kHz)", "magnetic flux DENSITY(10hz-400khz)")),
              "accepted");
    EXPECT_EQ(message(replace(good, "UNIT,T", "UNIT,")), "An unidentifiable information about \"UNIT\" in this file.");
    EXPECT_EQ(message(replace(good, "fixed,2.000uT", "Fixed,2.000uT")),
              "An unidentifiable information about \"RANGE\" in this file.");
    EXPECT_EQ(message(replace(good, "fixed,2.000uT", "fixed,2.000mG")),
              "An unidentifiable information about \"RANGE\" in this file.");
    EXPECT_EQ(message(replace(good, "fixed,2.000uT", "auto,2.000MT")), "accepted");
    EXPECT_EQ(message(replace(good, "OUTPUT,OFF", "OUTPUT,")),
              "An unidentifiable information about \"OUTPUT\" in this file.");
    EXPECT_EQ(message(replace(good, "OUTPUT,OFF", "OUTPUT,ON")), "The file is a CSV file without valid output mode.");
    EXPECT_EQ(message(replace(good, "SLOW,OFF", "SLOW,MAYBE")),
              "An unidentifiable information about \"SLOW\" in this file.");
    EXPECT_EQ(message(replace(good, "5/3(THU)", "13/3(THU)")),
              "An unidentifiable information about \"START TIME\" in this file.");
    EXPECT_EQ(message(replace(good, "(THU)", "(THX)")),
              "An unidentifiable information about \"START TIME\" in this file.");
    EXPECT_EQ(message(replace(good, "5/3(THU)", "0/3(sun)")), "accepted");
    EXPECT_EQ(message(replace(good, "[10s/div]", "[10x/div]")),
              "An unidentifiable information about \"SAMPLING PERIOD\" in this file.");
    EXPECT_EQ(message(replace(good, "[10s/div]", "10s/div")),
              "An unidentifiable information about \"SAMPLING PERIOD\" in this file.");
    EXPECT_EQ(message(replace(good, "[10s/div]", "[7s/div]")),
              "An unidentifiable information about \"SAMPLING METHOD\" in this file.");
    EXPECT_EQ(message(replace(good, "fixed interval", "median")),
              "An unidentifiable information about \"SAMPLING METHOD\" in this file.");
    EXPECT_EQ(message(replace(good, "9 DATA", "9 DAT")),
              "There is no description of \"DATA\". This file is an unidentifiable file type.");
    EXPECT_EQ(message(replace(good, "NO,x,y,z,R", "")),
              "There is no description of \"NO,x,y,z,R\". This file is an unidentifiable file type.");
    EXPECT_EQ(message(good.substr(0, good.find("4 OUTPUT"))),
              "The file is a CSV file without information about \"OUTPUT\".");
}

TEST(LoggerCsvFormat, SlowResponseAgainstPeriodAndMethod) {
    auto choose = [](const std::string& slow, const std::string& period, const std::string& method) {
        std::vector<std::string> lines;
        const std::string text = Header(slow, period, method);
        std::size_t start = 0;
        while (true) {
            const auto end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        const auto period2 = ChoosePeriod(std::get<ParsedHeader>(ParseHeader(lines)));
        if (const auto* m = std::get_if<std::string>(&period2)) return *m;
        const auto c = std::get<PeriodChoice>(period2);
        return std::to_string(c.periodIndex) + "/" + std::to_string(c.samplesPerDivision);
    };
    EXPECT_EQ(choose("ON", "0.25s[1s/div]", "fixed interval"),
              "The State of SLOW isn't matched for \"SAMPLING PERIOD\".");
    EXPECT_EQ(choose("OFF", "0.25s[1s/div]", "fixed interval"), "0/4");
    EXPECT_EQ(choose("OFF", "0.25s[5s/div]", "average"), "The State of SLOW isn't matched for \"SAMPLING METHOD\".");
    EXPECT_EQ(choose("OFF", "0.5s[10s/div]", "average"), "2/20");
    EXPECT_EQ(choose("ON", "2s[10s/div]", "average"), "The State of SLOW isn't matched for \"SAMPLING METHOD\".");
    EXPECT_EQ(choose("ON", "2s[10s/div]", "fixed interval"), "2/5");
    EXPECT_EQ(choose("ON", "2s[20s/div]", "Fixed Interval"), "3/10");
    EXPECT_EQ(choose("ON", "3s[1min/div]", "maximum"), "4/20");
    EXPECT_EQ(choose("OFF", "1min[20min/div]", "average"), "8/20");
    EXPECT_EQ(choose("OFF", "3min[1h/div]", "average"), "9/20");
    EXPECT_EQ(choose("OFF", "3min[2h/div]", "average"),
              "An unidentifiable information about \"SAMPLING METHOD\" in this file.");
}

TEST(LoggerCsvFormat, DataLineFields) {
    EXPECT_FALSE(ParseDataLine("").has_value());
    EXPECT_FALSE(ParseDataLine("1,2,3,4").has_value());
    EXPECT_FALSE(ParseDataLine("1,2,,4,5").has_value());
    const auto v = ParseDataLine("9,1.5,2.5,3.5,4.5,extra,more");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ((*v)[0], 1.5);
    EXPECT_EQ((*v)[3], 4.5);
    EXPECT_EQ((*ParseDataLine("1,abc,0.1x,3,4"))[0], 0.0);
    EXPECT_EQ(DataErrorQuestion(7),
              "Data error in line 7.\n\nWould you like to go on reading data?\nIf you click \"No\", the set of data "
              "will be ignored");
}

class LoggerCsvPage : public ::testing::Test {
protected:
    FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    LoggerModel model{meter, prompter, clock};
    TempDir dir{"tessera Prüfung Ω"};  // a name the ANSI code page of Windows cannot hold

    void SetUp() override {
        meter.current = MeterRecord('0', 1);
        clock.millis = 5000;
        clock.now = {2012, 5, 3, 9, 5, 7, 0, 4};
    }

    // A short average run at 10 s/div: slot 0 and `samples` completed samples.
    void LogSome(int samples) {
        model.Refresh();
        model.SelectMethod(kAverage);
        ASSERT_TRUE(model.Start());
        for (int i = 0; i < 1 + 2 * samples; ++i) {
            meter.Queue((1 + i % 7) * 1.234e-6, (2 + i % 3) * 2.345e-6, 0.5e-6);
            model.Tick(clock.millis);
            clock.millis += 250;
        }
        model.Stop();
    }
};

TEST_F(LoggerCsvPage, SavedFileReadsBackTheSameData) {
    LogSome(30);
    ASSERT_EQ(model.SampleCount(), 30);
    std::vector<link::LogSample> before(link::LogSampleStore.begin(), link::LogSampleStore.begin() + 31);

    prompter.files.push_back(dir.File("run"));
    ASSERT_TRUE(model.SaveCsv());
    EXPECT_EQ(model.DataState(), page::DataState::Saved);
    const std::string text = ReadAll(dir.File("run.CSV"));
    EXPECT_NE(text.find("6 START TIME,2012/5/3(THU),09:05:07\r\n"), std::string::npos);
    EXPECT_NE(text.find("3 RANGE,fixed,20.00uT\r\n"), std::string::npos);

    FakeMeterPort otherMeter;
    testing::ScriptedPrompter otherPrompter;
    LoggerModel reader{otherMeter, otherPrompter, clock};
    otherPrompter.files.push_back(dir.File("run.CSV"));
    reader.FileRead();
    EXPECT_TRUE(otherPrompter.events.size() == 1) << otherPrompter.Messages().size();
    EXPECT_EQ(reader.DataState(), page::DataState::Saved);
    EXPECT_EQ(reader.SampleCount(), 30);
    EXPECT_EQ(reader.DataPeriodIndex(), 2);
    EXPECT_EQ(reader.DataMethod(), kAverage);
    EXPECT_EQ(reader.FileRecord().range, 1);
    EXPECT_EQ(reader.FileRecord().slow, '0');
    EXPECT_EQ(reader.StartTimeOfData(), (StartTime{2012, 5, 3, 4, 9, 5, 7}));
    for (int i = 0; i <= 30; ++i) {
        const auto& s = link::LogSampleStore[i];
        EXPECT_EQ(s.index, i);
        EXPECT_NEAR(s.x, before[i].x, 1e-15) << i;
        EXPECT_NEAR(s.y, before[i].y, 1e-15) << i;
        EXPECT_NEAR(s.z, before[i].z, 1e-15) << i;
        // R is recomputed from the components, not the stored per-channel average.
        EXPECT_DOUBLE_EQ(s.R, Resultant(s.x, s.y, s.z)) << i;
    }
    EXPECT_TRUE(reader.ControlState().csvSave);
    EXPECT_TRUE(reader.ControlState().print);
}

// A Qt program takes the user's locale: a decimal comma there must not make the values of
// a logger file read as 0.
TEST_F(LoggerCsvPage, ValuesReadTheSameWhateverTheLocale) {
    const testing::CommaLocale comma;
    ASSERT_TRUE(comma.Active()) << "no locale with a decimal comma (tools/bootstrap.sh generates de_DE.UTF-8)";
    WriteAll(dir.File("in.CSV"), Header() + DataLines(2) + "\r\n");
    ASSERT_TRUE(model.ReadFile(dir.File("in.CSV")));
    EXPECT_EQ(link::LogSampleStore[0].x, 0.000001);
    EXPECT_EQ(link::LogSampleStore[1].y, 0.000000102);
    EXPECT_EQ(link::LogSampleStore[1].z, 0.0000002);
}

TEST_F(LoggerCsvPage, SundayIsWrittenReadAndWrittenAgain) {
    clock.now.dayOfWeek = 0;
    LogSome(2);
    prompter.files.push_back(dir.File("sun.CSV"));
    ASSERT_TRUE(model.SaveCsv());
    EXPECT_NE(ReadAll(dir.File("sun.CSV")).find("(SUN)"), std::string::npos);
    ASSERT_TRUE(model.ReadFile(dir.File("sun.CSV")));
    EXPECT_EQ(model.StartTimeOfData().weekday, 7);
    prompter.files.push_back(dir.File("sun2.CSV"));
    ASSERT_TRUE(model.SaveCsv());
    EXPECT_NE(ReadAll(dir.File("sun2.CSV")).find("2012/5/3(SUN),09:05:07"), std::string::npos);
}

TEST_F(LoggerCsvPage, SeventhDataLineAllZeroAsksWithItsNumber) {
    std::string text = Header() + DataLines(6) + "\r\n7,0.000,0.000,0.000,0.000" + DataLines(3);
    WriteAll(dir.File("z.CSV"), text);
    prompter.answers.push_back(page::Answer::Yes);
    ASSERT_TRUE(model.ReadFile(dir.File("z.CSV")));
    EXPECT_EQ(prompter.Questions(), (std::vector<std::string>{DataErrorQuestion(7)}));
    EXPECT_EQ(model.SampleCount(), 8);  // nine good lines: slots 0..8

    prompter.events.clear();
    prompter.answers.push_back(page::Answer::No);
    ASSERT_TRUE(model.ReadFile(dir.File("z.CSV")));
    EXPECT_EQ(model.SampleCount(), 5);  // the six lines before it
}

TEST_F(LoggerCsvPage, BlankAndShortLinesAreSkippedSilently) {
    std::string text = Header() + DataLines(3) + "\r\n\r\n   \r\n5,1,2" + DataLines(2);
    WriteAll(dir.File("b.CSV"), text);
    ASSERT_TRUE(model.ReadFile(dir.File("b.CSV")));
    EXPECT_TRUE(prompter.events.empty());
    EXPECT_EQ(model.SampleCount(), 4);
}

TEST_F(LoggerCsvPage, ASingleFaintSampleIsDataAndAFullFileFillsTheStoreExactly) {
    // Refused as "no valid data" only below 1e-10, the limit a line must pass to be read.
    WriteAll(dir.File("faint.CSV"), Header() + "\r\n1,0.0000000005,0.000,0.000,0.0000000005");
    EXPECT_TRUE(model.ReadFile(dir.File("faint.CSV")));
    EXPECT_TRUE(prompter.Messages().empty());
    EXPECT_EQ(model.DataState(), page::DataState::Saved);

    // One line more than the store holds: 32000 samples, slots 0..31999, nothing beyond.
    WriteAll(dir.File("full.CSV"), Header("OFF", "3min[1h/div]") + DataLines(32001));
    ASSERT_TRUE(model.ReadFile(dir.File("full.CSV")));
    EXPECT_EQ(model.SampleCount(), 31999);
    EXPECT_EQ(link::LogSampleStore.back().index, 31999);
}

TEST_F(LoggerCsvPage, DivisionsAfterReading) {
    WriteAll(dir.File("40.CSV"), Header() + DataLines(40));
    ASSERT_TRUE(model.ReadFile(dir.File("40.CSV")));
    EXPECT_EQ(model.SamplesPerDivision(), 20);
    EXPECT_EQ(model.DivisionCount(), 2);
    EXPECT_EQ(model.ScrollDivision(), 0);
    EXPECT_FALSE(model.ControlState().scrollEnabled);

    WriteAll(dir.File("300.CSV"), Header() + DataLines(300));
    ASSERT_TRUE(model.ReadFile(dir.File("300.CSV")));
    EXPECT_EQ(model.DivisionCount(), 15);
    EXPECT_EQ(model.ScrollDivision(), 3);  // the last twelve divisions are in view
    EXPECT_EQ(model.VisibleDivisionsFilled(), 11);
    EXPECT_TRUE(model.ControlState().scrollEnabled);
    EXPECT_EQ(model.ControlState().scrollMax, 3);
    const auto segments = model.VisibleSegments();
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.front(), 61);
    EXPECT_EQ(segments.back(), 299);
}

TEST_F(LoggerCsvPage, RefusedHeaderLeavesThePreviousDataShown) {
    LogSome(3);
    prompter.files.push_back(dir.File("keep.CSV"));
    ASSERT_TRUE(model.SaveCsv());
    WriteAll(dir.File("bad.CSV"), Header("ON", "0.25s[1s/div]"));
    prompter.files.push_back(dir.File("bad.CSV"));
    const std::string readout = model.ReadoutText();
    ASSERT_FALSE(readout.empty());
    model.FileRead();
    EXPECT_EQ(prompter.Messages().back(), "The State of SLOW isn't matched for \"SAMPLING PERIOD\".");
    EXPECT_EQ(model.DataState(), page::DataState::Saved);
    EXPECT_EQ(model.SampleCount(), 3);
    EXPECT_TRUE(model.HasData());
    EXPECT_EQ(model.ReadoutText(), readout) << "the readout goes on showing the data still shown";

    WriteAll(dir.File("empty.CSV"), Header() + "\r\n1,0,0,0,0");
    prompter.answers.push_back(page::Answer::Yes);
    prompter.files.push_back(dir.File("empty.CSV"));
    model.FileRead();
    EXPECT_EQ(prompter.Messages().back(), "There is no valid data in the file.");
    EXPECT_EQ(model.DataState(), page::DataState::None);
    EXPECT_FALSE(model.HasData());
    EXPECT_FALSE(model.ControlState().print);

    prompter.files.push_back(dir.File("missing.CSV"));
    model.FileRead();
    EXPECT_EQ(prompter.Messages().back(), "The file \"" + dir.File("missing.CSV") + "\" was not found.");
}

TEST_F(LoggerCsvPage, SavingOverAnEntireReadFileIsRefusedBeforeWriting) {
    LogSome(2);
    const std::string other = "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nsomething\r\n";
    WriteAll(dir.File("mem.CSV"), other);
    prompter.files.push_back(dir.File("mem.CSV"));
    EXPECT_FALSE(model.SaveCsv());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"The file is a CSV file for \"Entire Read\".\n\nPlease "
                                                             "open it in \"Entire Read\" page."}));
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_EQ(ReadAll(dir.File("mem.CSV")), other);
    EXPECT_EQ(model.DataState(), page::DataState::Unsaved);
}

TEST_F(LoggerCsvPage, OverwriteOnlyWhenAllowed) {
    LogSome(2);
    WriteAll(dir.File("old.CSV"), "older log");
    prompter.files.push_back(dir.File("old.CSV"));
    prompter.answers.push_back(page::Answer::No);
    EXPECT_FALSE(model.SaveCsv());
    EXPECT_EQ(ReadAll(dir.File("old.CSV")), "older log");
    prompter.files.push_back(dir.File("old.CSV"));
    prompter.answers.push_back(page::Answer::Yes);
    EXPECT_TRUE(model.SaveCsv());
    EXPECT_EQ(prompter.Questions(), (std::vector<std::string>(2, "Would you like to overwrite the file?")));
    EXPECT_EQ(ReadAll(dir.File("old.CSV")).rfind("TAVIK 8620 MONITOR", 0), 0u);
}

TEST_F(LoggerCsvPage, FileThatCannotBeCreatedIsNotReportedAsSaved) {
    LogSome(2);
    const std::string locked = dir.File("no-such-folder");  // nobody can create a file in it
    prompter.files.push_back(locked + "/run.CSV");
    EXPECT_FALSE(model.SaveCsv());
    EXPECT_EQ(model.DataState(), page::DataState::Unsaved);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"The file \"" + locked + "/run.CSV\" could not be written."}));
    // The save question that would discard the data therefore keeps them.
    prompter.answers.push_back(page::Answer::Yes);
    prompter.files.push_back(locked + "/run.CSV");
    model.SelectMethod(kMaximum);
    EXPECT_EQ(model.SamplingMethod(), kAverage);
    EXPECT_TRUE(model.HasData());
}

TEST_F(LoggerCsvPage, NothingToSaveOrPrint) {
    EXPECT_FALSE(model.SaveCsv());
    EXPECT_FALSE(model.PrintAllowed());
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"There is no data to save.", "There is no effective value to print."}));
}

}  // namespace
}  // namespace tessera::logger
