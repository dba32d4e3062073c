// The sidecar files' common forms (CSV fields, "# key: value" facts, ISO 8601 times with
// their offset from UTC) and the marks sidecar of a logging run: what is written reads back
// exactly, and a damaged line costs that line only.

#include <gtest/gtest.h>

#include "logger/RunMarks.h"
#include "page/Sidecar.h"

namespace tessera::logger {
namespace {

TEST(Sidecar, NamesFieldsAndTimesReadBackAsWritten) {
    EXPECT_EQ(page::SidecarPath("/d/run.CSV", "marks"), "/d/run.marks.csv");
    EXPECT_EQ(page::SidecarPath("run-002.csv", "notes"), "run-002.notes.csv");
    EXPECT_EQ(page::SidecarPath("run.txt", "marks"), "run.txt.marks.csv");

    for (const std::string text : {"plain", "a, b", "say \"hi\"", " padded ", "#not a remark", "", "Jürgen"}) {
        const auto fields = page::SplitCsvLine(page::CsvField(text) + "," + page::CsvField("next"));
        ASSERT_TRUE(fields) << text;
        EXPECT_EQ(*fields, (std::vector<std::string>{text, "next"})) << text;
    }
    EXPECT_FALSE(page::SplitCsvLine("1,\"open"));
    EXPECT_FALSE(page::SplitCsvLine("1,\"closed\"x"));

    page::Moment m{{2024, 3, 1, 2, 10, 0, 250, 5}, -330};
    EXPECT_EQ(page::IsoTime(m), "2024-03-01T02:10:00.250-05:30");
    m.utcOffsetMinutes.reset();
    EXPECT_EQ(page::IsoTime(m), "2024-03-01T02:10:00.250");
    const auto back = page::ParseIsoTime("2024-03-01 02:10:07.5+0100");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->local.second, 7);
    EXPECT_EQ(back->local.millisecond, 500);
    EXPECT_EQ(back->utcOffsetMinutes, 60);
    EXPECT_EQ(page::ParseIsoTime("2024-03-01T02:10Z")->utcOffsetMinutes, 0);
    for (const char* bad : {"2024-13-01T02:10", "2024-03-01T02:10+19:00", "2024-03-01", "yesterday"})
        EXPECT_FALSE(page::ParseIsoTime(bad)) << bad;
    EXPECT_EQ(page::OffsetText(0), "+00:00");
    EXPECT_EQ(page::OffsetText(-60), "-01:00");
}

TEST(RunMarksFile, MarksReadBackAndDamagedLinesCostOnlyThemselves) {
    RunMarks marks;
    marks.utcOffsetMinutes = 60;
    marks.sensor = '2';
    marks.marks = {{411, {{2024, 3, 1, 2, 10, 0, 250, 5}, 60}, "heater on"},
                   {412, {{2024, 3, 1, 2, 10, 5, 0, 5}, 60}, "door \"B\", opened"},  // the file's NO 413
                   {900, {{2024, 3, 1, 2, 11, 0, 0, 5}, 60}, "Jürgen ging"}};        // after the last sample
    const std::string text = MarksFileText(marks, 499);
    EXPECT_NE(text.find("# utc_offset: +01:00\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n413,2024-03-01T02:10:05.000+01:00,\"door \"\"B\"\", opened\"\r\n"), std::string::npos)
        << text;

    MarksFile read = ParseMarksFile(text);
    EXPECT_EQ(read.skippedLines, 0);
    EXPECT_EQ(read.marks.utcOffsetMinutes, 60);
    EXPECT_EQ(read.marks.sensor, '2');
    ASSERT_EQ(read.marks.marks.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read.marks.marks[i].slot, marks.marks[i].slot);
        EXPECT_EQ(read.marks.marks[i].text, marks.marks[i].text);
        EXPECT_EQ(read.marks.marks[i].time.local.second, marks.marks[i].time.local.second);
    }
    EXPECT_EQ(read.marks.marks[2].slot, 499);  // belongs to the last sample the file has
    EXPECT_EQ(read.marks.marks[2].text, "Jürgen ging");

    // Damaged lines among good ones; LF line ends, as an editor may leave them.
    const std::string damaged =
        "# utc_offset: +01:00\nsample,time,text\n"
        "7,2024-03-01T02:10:00.000+01:00,kept\n"
        "x,2024-03-01T02:10:00.000,no number\n"
        "8,yesterday,no time\n"
        "9,,\"never closed\n"
        "0,,before the first sample\n"
        "10,,kept, with a comma left unquoted\n";
    read = ParseMarksFile(damaged);
    EXPECT_EQ(read.skippedLines, 4);
    ASSERT_EQ(read.marks.marks.size(), 2u);
    EXPECT_EQ(read.marks.marks[0].text, "kept");
    EXPECT_EQ(read.marks.marks[1].slot, 9);
    EXPECT_EQ(read.marks.marks[1].text, "kept, with a comma left unquoted");
    EXPECT_EQ(read.marks.utcOffsetMinutes, 60);

    EXPECT_EQ(MarkText("  two\nlines\t "), "two lines");
    EXPECT_EQ(MarkText(std::string(kMarkTextLimit - 1, 'a') + "ü").size(), kMarkTextLimit - 1);  // not cut inside ü
}

}  // namespace
}  // namespace tessera::logger
