// The setting file writer and reader: exact bytes written, every check of the reader and
// its messages, and the line-end and blank handling that decides what is accepted.

#include <gtest/gtest.h>

#include <string>

#include "config/SettingFile.h"
#include "settings/Vocabulary.h"

namespace tessera::config {
namespace {

using settings::MeterSettings;

MeterSettings Setting(char mode, char axis, char unit, std::uint8_t range, char output, char aps, char beep, char slow,
                      char mem) {
    MeterSettings s{};
    s.mode = mode;
    s.axis = axis;
    s.unit = unit;
    s.range = range;
    s.output = output;
    s.autoPowerOff = aps;
    s.beep = beep;
    s.slow = slow;
    s.memMode = mem;
    return s;
}

// A file in the layout the page writes, with each value replaceable and LF line ends.
std::string FileWith(const std::string& mode = "Magnetic Flux Density(10Hz-400kHz)", const std::string& axis = "R",
                     const std::string& unit = "T", const std::string& range = "AUTO",
                     const std::string& output = "OFF", const std::string& mem = "OFF") {
    // clang-format off
    return "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\n"
           "1 MODE," + mode + "\n"
           "2 AXIS," + axis + "\n"
           "3 UNIT," + unit + "\n"
           "4 RANGE," + range + "\n"
           "5 OUTPUT," + output + "\n"
           "6 APS,ON\n"
           "7 BEEP,ON\n"
           "8 SLOW,OFF\n"
           "9 MEM.MODE," + mem;
    // clang-format on
}

TEST(ConfigSettingFile, WritesBannerNineLinesCrLfAndNoFinalLineEnd) {
    const MeterSettings s = Setting('3', '3', '3', 4, '1', '1', '0', '1', '0');
    EXPECT_EQ(SettingFileText(s),
              "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\r\n"
              "1 MODE,Exposure Level(General Public)\r\n"
              "2 AXIS,R\r\n"
              "3 UNIT,%\r\n"
              "4 RANGE,2000% (only for 8620)\r\n"
              "5 OUTPUT,Monitor (only for 8620)\r\n"
              "6 APS,ON\r\n"
              "7 BEEP,OFF\r\n"
              "8 SLOW,ON\r\n"
              "9 MEM.MODE,OFF");
}

TEST(ConfigSettingFile, WhatIsWrittenReadsBackToTheSameSettings) {
    const MeterSettings cases[] = {
        Setting('0', '3', '0', 10, '0', '1', '1', '0', '0'), Setting('1', '0', '1', 3, '2', '0', '1', '1', '1'),
        Setting('2', '2', '2', 4, '1', '1', '0', '0', '1'),  Setting('4', '1', '3', 2, '2', '0', '0', '1', '0'),
        Setting('3', '3', '3', 4, '1', '1', '1', '0', '1'),
    };
    for (const MeterSettings& s : cases) {
        const SettingFileResult r = ParseSettingText(SettingFileText(s));
        ASSERT_TRUE(r.ok) << r.message << "\n" << SettingFileText(s);
        EXPECT_TRUE(settings::SameSettings(r.settings, s)) << SettingFileText(s);
    }
}

TEST(ConfigSettingFile, LowestPercentRangeIsKeptInTheFileThoughTheColumnLeavesItBlank) {
    const MeterSettings s = Setting('4', '3', '3', 1, '0', '1', '1', '0', '0');
    EXPECT_EQ(NewSettingText(settings::kRowRange, s), "");
    EXPECT_NE(SettingFileText(s).find("4 RANGE,2.000%\r\n"), std::string::npos);
    const SettingFileResult r = ParseSettingText(SettingFileText(s));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.settings.range, 1);
}

TEST(ConfigSettingFile, SetExtensionIsAppendedUnlessPresentCaseSensitively) {
    EXPECT_EQ(WithSetExtension("/tmp/lab"), "/tmp/lab.SET");
    EXPECT_EQ(WithSetExtension("/tmp/lab.set"), "/tmp/lab.set.SET");
    EXPECT_EQ(WithSetExtension("/tmp/lab.SET"), "/tmp/lab.SET");
    EXPECT_EQ(WithSetExtension("/tmp/lab.SETTINGS"), "/tmp/lab.SETTINGS");
    EXPECT_EQ(WithSetExtension("/tmp/a.SET.d/lab"), "/tmp/a.SET.d/lab");
}

TEST(ConfigSettingFile, BothLineEndsAreRead) {
    std::string lf = FileWith("Exposure Level(Occupational)", "x", "%", "200.0%", "Resultant Effective Value", "ON");
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    for (const std::string& text : {lf, crlf}) {
        const SettingFileResult r = ParseSettingText(text);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.settings.mode, '4');
        EXPECT_EQ(r.settings.axis, '0');
        EXPECT_EQ(r.settings.unit, '3');
        EXPECT_EQ(r.settings.range, 3);
        EXPECT_EQ(r.settings.output, '2');
        EXPECT_EQ(r.settings.autoPowerOff, '1');
        EXPECT_EQ(r.settings.beep, '1');
        EXPECT_EQ(r.settings.slow, '0');
        EXPECT_EQ(r.settings.memMode, '1');
        // What the meter reports and the file never holds stays zero.
        EXPECT_EQ(r.settings.sensor, 0);
        EXPECT_EQ(r.settings.spare, 0);
    }
}

TEST(ConfigSettingFile, BlankBeforeALineEndIsRefusedButAtTheVeryEndIsRemoved) {
    SettingFileResult r = ParseSettingText(FileWith("Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "OFF "));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "An unidentifiable information about \"OUTPUT\" in this file.");

    r = ParseSettingText(FileWith("Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "OFF", "ON "));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.settings.memMode, '1');

    // The same blank before CR LF is refused as well: both line ends read alike.
    r = ParseSettingText("TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\r\n1 MODE,Exposure Level(Occupational) \r\n");
    EXPECT_EQ(r.message, "An unidentifiable information about \"MODE\" in this file.");
}

TEST(ConfigSettingFile, UnitMustFitTheMode) {
    SettingFileResult r = ParseSettingText(FileWith("Exposure Level(Occupational)", "R", "T", "AUTO"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "\"UNIT\" isn't matched for \"MODE\".");

    r = ParseSettingText(FileWith("Magnetic Flux Density(10Hz-2kHz)", "R", "%", "AUTO"));
    EXPECT_EQ(r.message, "\"UNIT\" isn't matched for \"MODE\".");

    // "A" decides the unit, but the whole value must then be A/m.
    r = ParseSettingText(FileWith("Magnetic Flux Density(10Hz-2kHz)", "R", "Amps", "AUTO"));
    EXPECT_EQ(r.message, "An unidentifiable information about \"UNIT\" in this file.");
    r = ParseSettingText(FileWith("Magnetic Flux Density(10Hz-2kHz)", "R", "A/M", "1600a/m"));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.settings.unit, '2');
    EXPECT_EQ(r.settings.range, 4);
    // Only the first character decides, and exactly.
    r = ParseSettingText(FileWith("Magnetic Flux Density(10Hz-2kHz)", "R", "gauss", "AUTO"));
    EXPECT_EQ(r.message, "An unidentifiable information about \"UNIT\" in this file.");
}

TEST(ConfigSettingFile, RangeTextsFollowTheUnitAndIgnoreCase) {
    struct Case {
        std::string mode, unit, range;
        int code;
    } cases[] = {
        {"Exposure Level(General Public)", "%", "2.000%", 1},
        {"Exposure Level(General Public)", "%", "2000%", 4},
        {"Exposure Level(General Public)", "%", "2000% (ONLY FOR 8620)", 4},
        {"magnetic flux density(10hz-400khz)", "T", "2.000mT", 4},
        {"Magnetic Flux Density(2kHz-400kHz)", "G", "20.00mg", 1},
        {"Magnetic Flux Density(2kHz-400kHz)", "G", "2.000mT", -1},  // another unit's range
        {"Exposure Level(General Public)", "%", "2000%(only for 8620)", -1},
        {"Magnetic Flux Density(2kHz-400kHz)", "T", "", -1},
    };
    for (const Case& c : cases) {
        const SettingFileResult r = ParseSettingText(FileWith(c.mode, "R", c.unit, c.range));
        if (c.code < 0) {
            EXPECT_EQ(r.message, "An unidentifiable information about \"RANGE\" in this file.") << c.range;
        } else {
            ASSERT_TRUE(r.ok) << c.range << ": " << r.message;
            EXPECT_EQ(r.settings.range, c.code) << c.range;
        }
    }
}

TEST(ConfigSettingFile, AutoWithAnOutputIsLoadedUnchanged) {
    const SettingFileResult r =
        ParseSettingText(FileWith("Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "monitor"));
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.settings.range, 10);
    EXPECT_EQ(r.settings.output, '1');
}

TEST(ConfigSettingFile, LineNumbersAreIgnoredButTheOrderIsFixed) {
    std::string text = FileWith();
    text.replace(text.find("1 MODE"), 6, "7 MODE");
    text.replace(text.find("2 AXIS"), 6, "AXIS");
    EXPECT_TRUE(ParseSettingText(text).ok);

    std::string swapped =
        "TAVIK 8620 DEVICE SETTING SOFTWARE VER.2.00\n"
        "1 MODE,Magnetic Flux Density(10Hz-400kHz)\n"
        "3 UNIT,T\n"
        "2 AXIS,R\n";
    EXPECT_EQ(ParseSettingText(swapped).message, "The file is a SET file without information about \"AXIS\".");
}

TEST(ConfigSettingFile, EveryMissingKeyAndEveryBadValueIsNamed) {
    const char* keys[] = {"MODE", "AXIS", "UNIT", "RANGE", "OUTPUT", "APS", "BEEP", "SLOW", "MEM.MODE"};
    const std::string good = SettingFileText(Setting('0', '3', '0', 10, '0', '1', '1', '0', '0'));
    for (int row = 0; row < 9; ++row) {
        const std::string prefix = std::to_string(row + 1) + " " + keys[row] + ",";
        const auto at = good.find(prefix);
        ASSERT_NE(at, std::string::npos);

        std::string noKey = good;
        noKey.replace(at, prefix.size(), std::to_string(row + 1) + " KEY,");
        EXPECT_EQ(ParseSettingText(noKey).message,
                  std::string("The file is a SET file without information about \"") + keys[row] + "\".");

        std::string noComma = good;
        noComma.replace(at, prefix.size(), std::to_string(row + 1) + " " + keys[row] + " ");
        EXPECT_EQ(ParseSettingText(noComma).message,
                  std::string("An unidentifiable information about \"") + keys[row] + "\" in this file.");

        const std::string badValue = good.substr(0, at + prefix.size()) + '?' + good.substr(at + prefix.size());
        EXPECT_EQ(ParseSettingText(badValue).message,
                  std::string("An unidentifiable information about \"") + keys[row] + "\" in this file.");
    }
}

TEST(ConfigSettingFile, ShortOrForeignFilesAreRefused) {
    EXPECT_EQ(ParseSettingText("").message, "An unidentifiable file type.");
    // Only the banner and a MODE line.
    EXPECT_EQ(ParseSettingText("TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\r\n1 MODE,Exposure Level(Occupational)")
                  .message,
              "The file is a SET file without information about \"AXIS\".");
    EXPECT_EQ(ParseSettingText("TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\n1 MODE,x").message,
              "An unidentifiable file type.");
    // An empty value where one is required.
    EXPECT_EQ(ParseSettingText(FileWith("Magnetic Flux Density(10Hz-400kHz)", "")).message,
              "An unidentifiable information about \"AXIS\" in this file.");
    // A value that only starts like a keyword of the line before.
    EXPECT_EQ(ParseSettingText(FileWith("Magnetic Flux Density(10Hz-400kHz)", "R", "T", "AUTO", "OFF", "ONN")).message,
              "An unidentifiable information about \"MEM.MODE\" in this file.");
}

TEST(ConfigSettingFile, OverlongLinesAndBinaryBytesAreRefusedWithoutHarm) {
    std::string text = "TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\n1 MODE," + std::string(100000, 'x') + "\n";
    EXPECT_EQ(ParseSettingText(text).message, "An unidentifiable information about \"MODE\" in this file.");
    using namespace std::string_literals;
    const std::string binary = "TAVIK 8620 DEVICE SETTING SOFTWARE VER\0\n1 MO\0DE,\xff\n"s;
    EXPECT_FALSE(ParseSettingText(binary).ok);
}

}  // namespace
}  // namespace tessera::config
