// The Entire Read CSV file through the page model: writing (names, overwrite, failures,
// units), reading (header checks, every field check with its message and Yes/No skip,
// the unit the file is shown in) and round trips.

#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "entire_read/EntireReadModel.h"
#include "tests/entire_read/EntireReadTestData.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"

namespace tessera::entire_read {
namespace {

namespace fs = std::filesystem;
using page::Answer;

const char* const kHeader[] = {
    "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN",
    "DATA",
    "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy",
};

// Five records as the page writes them in uT with a band of one step.
const std::vector<std::string> kMicroTeslaLines = {
    "1,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1.500,0.000,0.000,1.500,OFF,OFF,8621,1.501,1.499",
    "2,Magnetic Flux Density(10Hz-2kHz),R,uT,2.000mT,1.234E+3,0.000E+3,0.000E+3,1.234E+3,MON,ON,8622,1.235E+3,1.233E+3",
    "3,Magnetic Flux Density(2kHz-400kHz),y,uT,2.000G,0.0,150.0,0.0,150.0,REC,OFF,NC,150.1,149.9",
    "4,Exposure Level(Occupational),R,%,20.00%,3.00,4.00,0.00,5.00,OFF,OFF,8621,5.01,4.99",
    "5,Magnetic Flux Density(10Hz-400kHz),z,uT,16.00A/m,0.00,0.00,12.57,12.57,OFF,OFF,8621,12.58,12.56",
};

class CsvTest : public ::testing::Test {
protected:
    void SetUp() override {
        link::SetAccuracyTable(testdata::UniformTable(0.0f, 1.0f));
        // A folder name the ANSI code page of Windows cannot hold: every file name the page
        // is given is UTF-8, and must reach the system as that name.
        dir_ = fs::path(::testing::TempDir()) /
               testing::Utf8ToPath("eread-csv Prüfung Ω-" +
                                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                                   std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        savedUnit = kNoUnit;
    }
    void TearDown() override {
        fs::remove_all(dir_);
        link::SetAccuracyTable(link::AccuracyTable{});
    }

    // A file of the folder: its name as the page is given it (UTF-8), and as the test opens it.
    std::string Path(const std::string& name) const { return testing::PathToUtf8(dir_ / name); }
    fs::path File(const std::string& name) const { return dir_ / name; }

    std::string WriteFile(const std::string& name, const std::vector<std::string>& lines, bool header = true) {
        std::ofstream out(File(name), std::ios::binary);
        if (header)
            for (const char* h : kHeader) out << h << "\r\n";
        for (const auto& l : lines) out << l << "\r\n";
        return Path(name);
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(testing::Utf8ToPath(path), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static std::string FileText(const std::vector<std::string>& lines) {
        std::string text;
        for (const char* h : kHeader) text += std::string(h) + "\r\n";
        for (const auto& l : lines) text += l + "\r\n";
        return text;
    }

    // Reads a file through the File Read button.
    void Open(const std::string& path) {
        prompter_.files.push_back(path);
        model_.FileRead();
    }

    std::string Cell(int row, int column) const { return model_.RowCells(row).at(static_cast<std::size_t>(column)); }

    fs::path dir_;
    testing::FakeMeterPort meter_;
    testing::ScriptedPrompter prompter_;
    EntireRead model_{meter_, prompter_};
};

TEST_F(CsvTest, FileWrittenByThePageReadsBackAndSavesByteForByte) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    EXPECT_TRUE(prompter_.Messages().empty());
    ASSERT_EQ(model_.RecordCount(), 5u);
    EXPECT_EQ(model_.UnitSelection(), kUnitMicroTesla);
    EXPECT_EQ(model_.DisplayUnit(), kUnitMicroTesla);
    EXPECT_EQ(model_.DataState(), page::DataState::Saved);
    EXPECT_TRUE(model_.SaveAndPrintEnabled());
    EXPECT_EQ(Cell(1, 4), "1.234E+3");  // R
    EXPECT_EQ(Cell(2, 6), "150.0");     // y of the gauss-range record, in uT
    EXPECT_EQ(Cell(3, 3), "%");

    prompter_.files.push_back(Path("out.CSV"));
    ASSERT_TRUE(model_.SaveCsv());
    EXPECT_EQ(Slurp(Path("out.CSV")), FileText(kMicroTeslaLines));
    EXPECT_EQ(savedUnit, kUnitMicroTesla);
    EXPECT_EQ(model_.DataState(), page::DataState::Saved);
}

// Qt programs on Unix take the user's locale; a decimal comma must reach neither the
// table nor the file, and reading must not stop at the point.
class CommaLocale {
public:
    CommaLocale() {
        // POSIX names first, then the Windows C runtime's.
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8", "ru_RU.UTF-8",
                                 "German_Germany.1252", "de-DE"})
            if (std::setlocale(LC_NUMERIC, name)) {
                active_ = true;
                break;
            }
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    bool Active() const { return active_; }

private:
    bool active_ = false;
};

TEST_F(CsvTest, DecimalPointWhateverTheLocale) {
    const CommaLocale comma;
    ASSERT_TRUE(comma.Active()) << "no locale with a decimal comma (tools/bootstrap.sh generates de_DE.UTF-8)";
    ASSERT_EQ(std::localeconv()->decimal_point, std::string(","));
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    EXPECT_EQ(Cell(0, 5), "1.500");
    EXPECT_EQ(Cell(0, 10), "1.501");
    EXPECT_NEAR(recordValues[0].x, 1.5e-6, 1e-12);
    model_.SetUnitSelection(kUnitGauss);
    model_.UnitChange();
    EXPECT_EQ(Cell(0, 5), "15.00E-3");
    prompter_.files.push_back(Path("out.CSV"));
    ASSERT_TRUE(model_.SaveCsv());
    model_.SetUnitSelection(kUnitMicroTesla);
    model_.UnitChange();
    prompter_.files.push_back(Path("again.CSV"));
    ASSERT_TRUE(model_.SaveCsv());
    EXPECT_EQ(Slurp(Path("again.CSV")), FileText(kMicroTeslaLines));
}

TEST_F(CsvTest, ValuesReturnToTheRecordsOwnUnits) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    model_.SetUnitSelection(kOriginalUnit);
    model_.UnitChange();
    EXPECT_EQ(Cell(0, 5), "1.500E-6");  // tesla family
    EXPECT_EQ(Cell(0, 3), "T");
    EXPECT_EQ(Cell(1, 4), "1.234E-3");
    EXPECT_EQ(Cell(2, 6), "1.500");  // 150 uT is 1.5 G on the 2 G range
    EXPECT_EQ(Cell(2, 3), "G");
    EXPECT_EQ(Cell(4, 7), "10.00");  // 12.57 uT is 10 A/m
    EXPECT_EQ(Cell(4, 3), "A/m");
    EXPECT_NEAR(recordValues[0].x, 1.5e-6, 1e-12);
    EXPECT_NEAR(recordValues[2].y, 1.5, 1e-6);
    // The memory slots carry what the file describes.
    EXPECT_EQ(link::memoryStore[1].mode, '1');
    EXPECT_EQ(link::memoryStore[1].axis, '3');
    EXPECT_EQ(link::memoryStore[1].unit, '0');
    EXPECT_EQ(link::memoryStore[1].range, 3);
    EXPECT_EQ(link::memoryStore[1].output, '1');
    EXPECT_EQ(link::memoryStore[1].slow, '1');
    EXPECT_EQ(link::memoryStore[1].sensor, '2');
    EXPECT_EQ(link::memoryStore[3].unit, '3');
    EXPECT_EQ(link::memoryStore[5].mode, 0) << "slots after the last record stay zero";
}

TEST_F(CsvTest, SavedInMilliGaussReadsBackInMilliGauss) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    model_.SetUnitSelection(kUnitMilliGauss);
    model_.UnitChange();
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved) << "a unit other than the saved one is unsaved";
    prompter_.files.push_back(Path("mg.CSV"));
    ASSERT_TRUE(model_.SaveCsv());
    const std::string text = Slurp(Path("mg.CSV"));
    EXPECT_NE(
        text.find(
            "\r\n1,Magnetic Flux Density(10Hz-400kHz),x,mG,2.000uT,15.00,0.00,0.00,15.00,OFF,OFF,8621,15.01,14.99\r\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find(",mG,2.000mT,12.34E+3,"), std::string::npos);
    EXPECT_NE(text.find(",%,20.00%,3.00,4.00,0.00,5.00,"), std::string::npos);

    EntireRead other(meter_, prompter_);
    prompter_.files.push_back(Path("mg.CSV"));
    other.FileRead();
    EXPECT_EQ(other.UnitSelection(), kUnitMilliGauss);
    EXPECT_EQ(other.RowCells(0).at(3), "mG");
    EXPECT_EQ(other.RowCells(0).at(5), "15.00");
    // Back to the unit last saved: the data count as saved again.
    other.SetUnitSelection(kUnitMicroTesla);
    other.UnitChange();
    EXPECT_EQ(other.DataState(), page::DataState::Unsaved);
    other.SetUnitSelection(kUnitMilliGauss);
    other.SetDataState(page::DataState::Saved);
    other.UnitChange();
    EXPECT_EQ(other.DataState(), page::DataState::Saved);
}

TEST_F(CsvTest, FileUnitFollowsTheAcceptedLines) {
    // uT and mG mixed: shown in the records' own units.
    Open(WriteFile(
        "mixed.CSV",
        {kMicroTeslaLines[0],
         "2,Magnetic Flux Density(10Hz-400kHz),x,mG,2.000uT,15.00,0.00,0.00,15.00,OFF,OFF,8621,15.01,14.99"}));
    EXPECT_EQ(model_.UnitSelection(), kOriginalUnit);
    EXPECT_EQ(Cell(1, 5), "1.500E-6");
    // Only percent lines: "Original Unit" as well.
    Open(WriteFile("pct.CSV", {kMicroTeslaLines[3]}));
    EXPECT_EQ(model_.UnitSelection(), kOriginalUnit);
    EXPECT_EQ(savedUnit, kOriginalUnit);
    // Percent first, then uT: the percent line already fixed "Original Unit".
    Open(WriteFile("pct-ut.CSV", {kMicroTeslaLines[3], kMicroTeslaLines[0]}));
    EXPECT_EQ(model_.UnitSelection(), kOriginalUnit);
    // A skipped line does not decide the unit.
    prompter_.answers.push_back(Answer::Yes);
    Open(WriteFile("skip.CSV",
                   {"1,Magnetic Flux Density(10Hz-400kHz),x,mG,2.000uT,,,,,OFF,OFF,8621,,", kMicroTeslaLines[0]}));
    EXPECT_EQ(model_.UnitSelection(), kUnitMicroTesla);
}

TEST_F(CsvTest, OverRangeSurvivesARoundTripInEveryUnit) {
    Open(WriteFile("ol.CSV",
                   {"1,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,O.L.,1.000,0.000,O.L.,OFF,OFF,8621,O.L.,O.L."}));
    for (int unit = kOriginalUnit; unit <= kUnitAmperePerMetre; ++unit) {
        model_.SetUnitSelection(unit);
        model_.UnitChange();
        const std::string name = "ol" + std::to_string(unit) + ".CSV";
        prompter_.files.push_back(Path(name));
        ASSERT_TRUE(model_.SaveCsv()) << "unit " << unit;
        EntireRead back(meter_, prompter_);
        prompter_.files.push_back(Path(name));
        back.FileRead();
        ASSERT_EQ(back.RecordCount(), 1u) << "unit " << unit;
        for (int u = kOriginalUnit; u <= kUnitAmperePerMetre; ++u) {
            back.SetUnitSelection(u);
            back.UnitChange();
            EXPECT_EQ(back.RowCells(0).at(5), "O.L.") << "saved in " << unit << ", shown in " << u;
            EXPECT_EQ(back.RowCells(0).at(4), "O.L.") << "saved in " << unit << ", shown in " << u;
            EXPECT_NE(back.RowCells(0).at(6), "O.L.") << "saved in " << unit << ", shown in " << u;
        }
        Open(Path(name));  // keep going from the file just written
    }
    EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(CsvTest, RIsTakenFromTheFileNotRecomputed) {
    // The meter's R is its own effective value, not always the root of the shown components.
    Open(WriteFile("r.CSV", {"1,Magnetic Flux Density(10Hz-400kHz),R,uT,2.000uT,1.000,0.000,0.000,1.500,OFF,OFF,"
                             "8621,1.501,1.499"}));
    EXPECT_EQ(Cell(0, 4), "1.500");
    EXPECT_NEAR(recordValues[0].R, 1.5e-6, 1e-12);
}

TEST_F(CsvTest, FullScaleSurvivesARoundTripInEveryFluxDensityUnit) {
    // (A/m is no decimal multiple of tesla: 20 uT saved as 15.92 A/m reads back as 20.006 uT.)
    Open(WriteFile(
        "fs.CSV",
        {"1,Magnetic Flux Density(10Hz-400kHz),x,uT,20.00uT,20.00,0.00,0.00,20.00,OFF,OFF,8621,20.01,19.99"}));
    for (int unit = kOriginalUnit; unit <= kUnitGauss; ++unit) {
        model_.SetUnitSelection(unit);
        model_.UnitChange();
        const std::string name = "fs" + std::to_string(unit) + ".CSV";
        prompter_.files.push_back(Path(name));
        ASSERT_TRUE(model_.SaveCsv()) << "unit " << unit;
        EntireRead back(meter_, prompter_);
        prompter_.files.push_back(Path(name));
        back.FileRead();
        ASSERT_EQ(back.RecordCount(), 1u) << "unit " << unit;
        for (int u = kOriginalUnit; u <= kUnitAmperePerMetre; ++u) {
            back.SetUnitSelection(u);
            back.UnitChange();
            EXPECT_NE(back.RowCells(0).at(5), "O.L.") << "saved in " << unit << ", shown in " << u;
        }
    }
    EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(CsvTest, EveryFieldCheckNamesTheRecordNumber) {
    const std::string good = kMicroTeslaLines[0];
    struct Case {
        std::string line;
        std::string message;
    } cases[] = {
        {"2,Magnetic Flux Density,x,uT,2.000uT,1,1,1,1,OFF,OFF,8621,,", LineMessage("Mode", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),w,uT,2.000uT,1,1,1,1,OFF,OFF,8621,,", LineMessage("Axis", 2)},
        {"2,Exposure Level(General Public),x,uT,2.000uT,1,1,1,1,OFF,OFF,8621,,", LineMessage("Unit", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,%,2.000uT,1,1,1,1,OFF,OFF,8621,,", LineMessage("Unit", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,kT,2.000uT,1,1,1,1,OFF,OFF,8621,,", LineMessage("Unit", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,3.000uT,1,1,1,1,OFF,OFF,8621,,", LineMessage("Range", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1,1,,1,OFF,OFF,8621,,", RxyzLineMessage(2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1,1,1,1,,OFF,8621,,", LineMessage("Output", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1,1,1,1,AUX,OFF,8621,,", LineMessage("Output", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1,1,1,1,OFF,HALF,8621,,", LineMessage("Slow", 2)},
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1,1,1,1,OFF,OFF,8623,,", LineMessage("Sensor", 2)},
        // Twelve fields: the sensor field ends with the line feed.
        {"2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1,1,1,1,OFF,OFF,8621", LineMessage("Sensor", 2)},
    };
    for (const Case& c : cases) {
        prompter_.events.clear();
        prompter_.answers = {Answer::Yes};  // skip the bad line
        Open(WriteFile("bad.CSV", {good, c.line, good}));
        ASSERT_EQ(prompter_.Questions(), std::vector<std::string>{c.message}) << c.line;
        EXPECT_EQ(model_.RecordCount(), 2u) << c.line;
        EXPECT_EQ(Cell(1, 0), "2") << "the skipped line's slot is reused: " << c.line;
    }
    EXPECT_EQ(LineMessage("Mode", 7), "An unidentifiable information about \"Mode\" in line 7.");
    EXPECT_EQ(RxyzLineMessage(3), "An unidentifiable data Rxyz in line 3.");
}

TEST_F(CsvTest, NoEndsReadingAndKeepsTheLinesAccepted) {
    prompter_.answers = {Answer::No};
    Open(WriteFile("bad.CSV", {kMicroTeslaLines[0], kMicroTeslaLines[1], "junk", kMicroTeslaLines[2]}));
    EXPECT_EQ(prompter_.Questions(), std::vector<std::string>{LineMessage("Mode", 3)});
    EXPECT_EQ(model_.RecordCount(), 2u);
    EXPECT_EQ(model_.DataState(), page::DataState::Saved);
    EXPECT_TRUE(model_.SaveAndPrintEnabled());
    // Two skips in a row: both messages name the same record number.
    prompter_.events.clear();
    prompter_.answers = {Answer::Yes, Answer::Yes};
    Open(WriteFile("bad2.CSV", {kMicroTeslaLines[0], "junk", "junk", kMicroTeslaLines[2]}));
    EXPECT_EQ(prompter_.Questions(), (std::vector<std::string>{LineMessage("Mode", 2), LineMessage("Mode", 2)}));
    EXPECT_EQ(model_.RecordCount(), 2u);
}

TEST_F(CsvTest, LettersCaseIsIgnoredInTexts) {
    Open(WriteFile("case.CSV",
                   {"1,MAGNETIC FLUX DENSITY(10hz-400khz),X,UT,2.000UT,1.500,0.000,0.000,1.500,off,Off,nc,,",
                    "2,exposure level(general public),r,%,2000% (ONLY FOR 8620),1500,0,0,1500,rec,on,8622,,"}));
    EXPECT_TRUE(prompter_.Questions().empty());
    ASSERT_EQ(model_.RecordCount(), 2u);
    EXPECT_EQ(Cell(0, 1), "Magnetic Flux Density(10Hz-400kHz)");
    EXPECT_EQ(Cell(0, 5), "1.500");
    EXPECT_EQ(Cell(1, 4), "1500");
    EXPECT_EQ(link::memoryStore[1].range, 3);
    EXPECT_EQ(Cell(1, 8), "3cm2");
}

TEST_F(CsvTest, HeaderChecksLeaveTheTableAlone) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    ASSERT_EQ(model_.RecordCount(), 5u);
    const auto before = model_.Rows().size();

    std::ofstream(File("logger.CSV"), std::ios::binary) << "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n";
    std::ofstream(File("other.CSV"), std::ios::binary) << "hello\r\n";
    std::ofstream(File("nodata.CSV"), std::ios::binary) << kHeader[0] << "\r\nDAT\r\n" << kHeader[2] << "\r\n";
    std::ofstream(File("nocols.CSV"), std::ios::binary) << kHeader[0] << "\r\nDATA\r\nNO,MODE\r\n";
    std::ofstream(File("empty.CSV"), std::ios::binary);
    for (const char* name : {"logger.CSV", "other.CSV", "nodata.CSV", "nocols.CSV", "empty.CSV", "missing.CSV"})
        Open(Path(name));
    EXPECT_EQ(
        prompter_.Messages(),
        (std::vector<std::string>{
            "The file is a CSV file for \"Effective Value Logger\". \n\nPlease open it in \"Effective Value Logger\" page.",
            "An unidentifiable file type.",
            "There is no description of \"DATA\". This file is an unidentifiable file type.",
            "There is no description of \"NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\". "
            "This file is an unidentifiable file type.",
            "An unidentifiable file type.",
            "The file \"" + Path("missing.CSV") + "\" was not found.",
        }));
    EXPECT_EQ(model_.Rows().size(), before);
    EXPECT_EQ(model_.RecordCount(), 5u);
    EXPECT_EQ(model_.UnitSelection(), kUnitMicroTesla);
}

TEST_F(CsvTest, HeaderOnlyFileEmptiesTheTable) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    Open(WriteFile("none.CSV", {}));
    EXPECT_EQ(model_.RecordCount(), 0u);
    // No line decided a unit: the box names the records' own units, never nothing.
    EXPECT_EQ(model_.UnitSelection(), kOriginalUnit);
    EXPECT_TRUE(model_.Rows().empty());
    EXPECT_FALSE(model_.SaveAndPrintEnabled());
    EXPECT_EQ(model_.DataState(), page::DataState::Saved);
    EXPECT_FALSE(model_.SaveCsv());
    EXPECT_EQ(prompter_.Messages().back(), "There is no data to save.");
    EXPECT_FALSE(model_.PrintData().has_value());
    EXPECT_EQ(prompter_.Messages().back(), "There is no effective data to print.");
}

TEST_F(CsvTest, AtMostNinetyNineLinesAreRead) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 120; ++i) lines.push_back(kMicroTeslaLines[0]);
    Open(WriteFile("many.CSV", lines));
    EXPECT_EQ(model_.RecordCount(), 99u);
    EXPECT_EQ(Cell(98, 0), "99");
    EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(CsvTest, SaveNamesOverwriteAndFailures) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    EXPECT_EQ(page::WithExtension("data.csv", page::kCsvExtension), "data.csv.CSV");
    EXPECT_EQ(page::WithExtension("data.CSV.bak", page::kCsvExtension), "data.CSV.bak");

    prompter_.files.push_back(Path("data.csv"));
    ASSERT_TRUE(model_.SaveCsv());
    EXPECT_TRUE(fs::exists(File("data.csv.CSV")));
    EXPECT_FALSE(fs::exists(File("data.csv")));

    // Overwrite declined: false, the file stays as it was.
    std::ofstream(File("keep.CSV"), std::ios::binary) << "precious";
    model_.SetDataState(page::DataState::Unsaved);
    prompter_.files.push_back(Path("keep.CSV"));
    prompter_.answers.push_back(Answer::No);
    EXPECT_FALSE(model_.SaveCsv());
    EXPECT_EQ(prompter_.Questions().back(), "Would you like to overwrite the file?");
    EXPECT_EQ(Slurp(Path("keep.CSV")), "precious");
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);
    // Accepted: replaced completely.
    prompter_.files.push_back(Path("keep.CSV"));
    prompter_.answers.push_back(Answer::Yes);
    EXPECT_TRUE(model_.SaveCsv());
    EXPECT_EQ(Slurp(Path("keep.CSV")), FileText(kMicroTeslaLines));
    EXPECT_EQ(model_.DataState(), page::DataState::Saved);

    // A file that cannot be created is never reported as saved.
    model_.SetDataState(page::DataState::Unsaved);
    savedUnit = kUnitGauss;
    const std::string bad = Path("no-such-dir/x.CSV");
    prompter_.files.push_back(bad);
    EXPECT_FALSE(model_.SaveCsv());
    EXPECT_EQ(prompter_.Messages().back(), FileNotWrittenMessage(bad + ""));
    EXPECT_NE(prompter_.Messages().back().find(bad), std::string::npos);
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);
    EXPECT_EQ(savedUnit, kUnitGauss);

#if !defined(_WIN32)
    // A disk that fills up while writing leaves the old file whole.
    const std::string before = Slurp(Path("keep.CSV"));
    prompter_.files.push_back(Path("keep.CSV"));
    prompter_.answers.push_back(Answer::Yes);
    {
        const testing::FileSizeLimit fullDisk(before.size() / 2);
        EXPECT_FALSE(model_.SaveCsv());
    }
    EXPECT_EQ(Slurp(Path("keep.CSV")), before);
    EXPECT_EQ(model_.DataState(), page::DataState::Unsaved);
#endif

    // Cancelled dialog.
    EXPECT_FALSE(model_.SaveCsv());
}

#if !defined(_WIN32)
// A chosen name that is a symbolic link: the overwrite question names the file the save
// really replaces, and a link that leads nowhere saves nothing and says why.
TEST_F(CsvTest, SavingThroughALinkAsksAboutTheFileItReplaces) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    std::ofstream(File("real.CSV"), std::ios::binary) << "older";
    fs::create_symlink(File("real.CSV"), File("link.CSV"));
    prompter_.events.clear();
    prompter_.files.push_back(Path("link.CSV"));
    prompter_.answers.push_back(Answer::Yes);
    ASSERT_TRUE(model_.SaveCsv());
    ASSERT_EQ(prompter_.events.size(), 2u);
    EXPECT_EQ(prompter_.events[1].topic, page::Topic::Overwrite);
    EXPECT_EQ(prompter_.events[1].file, Path("real.CSV"));
    EXPECT_EQ(Slurp(Path("real.CSV")), FileText(kMicroTeslaLines));

    fs::create_directory(File("elsewhere"));
    fs::create_symlink(File("elsewhere/new.CSV"), File("dangling.CSV"));
    prompter_.events.clear();
    prompter_.files.push_back(Path("dangling.CSV"));
    prompter_.answers.push_back(Answer::Yes);
    EXPECT_FALSE(model_.SaveCsv());
    EXPECT_TRUE(prompter_.Questions().empty());
    ASSERT_EQ(prompter_.Messages().size(), 1u);
    EXPECT_EQ(prompter_.Messages()[0],
              FileNotWrittenMessage(Path("dangling.CSV"), "It is a symbolic link to \"" + Path("elsewhere/new.CSV") +
                                                              "\", which does not exist."));
    EXPECT_FALSE(fs::exists(File("elsewhere/new.CSV")));
}
#endif

TEST_F(CsvTest, FileReadAsksToSaveUnsavedData) {
    Open(WriteFile("in.CSV", kMicroTeslaLines));
    model_.SetUnitSelection(kUnitMilliTesla);
    model_.UnitChange();
    ASSERT_EQ(model_.DataState(), page::DataState::Unsaved);

    // Cancel: no open dialog at all.
    prompter_.events.clear();
    prompter_.answers = {Answer::Cancel};
    model_.FileRead();
    ASSERT_EQ(prompter_.events.size(), 1u);
    EXPECT_EQ(prompter_.events[0].text, "Do you want to save the displayed data?");

    // Yes, but the save dialog is cancelled: stop before opening anything.
    prompter_.events.clear();
    prompter_.answers = {Answer::Yes};
    model_.FileRead();
    ASSERT_EQ(prompter_.events.size(), 2u);
    EXPECT_EQ(prompter_.events[1].kind, testing::ScriptedPrompter::Event::SaveFile);
    EXPECT_EQ(model_.RecordCount(), 5u);

    // Yes and saved, then the new file is read.
    prompter_.events.clear();
    prompter_.answers = {Answer::Yes};
    prompter_.files = {Path("saved.CSV"), WriteFile("two.CSV", {kMicroTeslaLines[0], kMicroTeslaLines[1]})};
    model_.FileRead();
    EXPECT_TRUE(fs::exists(File("saved.CSV")));
    EXPECT_EQ(model_.RecordCount(), 2u);
    EXPECT_NE(Slurp(Path("saved.CSV")).find(",mT,"), std::string::npos);
}

// Notes live beside the file: a damaged sidecar costs its damaged lines only (and says so),
// never the file; a save under a new name takes them along and leaves the file byte for byte
// as the page writes it; a notes-less save removes the sidecar an overwritten file had; a note
// set on a file's records is written at once.
TEST_F(CsvTest, NotesFollowTheFileAndADamagedSidecarNeverBlocksIt) {
    const std::string in = WriteFile("in.CSV", kMicroTeslaLines);
    {
        std::ofstream notes(File("in.notes.csv"), std::ios::binary);
        notes << "\xEF\xBB\xBF# TESSERA Entire Read notes\r\nno,location,height,source,note\r\n"
              << "2,\"Küche, Nord\",1.0 m,\"fridge \"\"A\"\", 0.5 m\",\r\n"
              << "3,\"never closed,x,y\r\n"  // damaged
              << "120,far,,,\r\n"            // no such record number
              << "4,,,,door open\r\n";
    }
    Open(in);
    ASSERT_EQ(model_.RecordCount(), 5u);
    ASSERT_EQ(prompter_.Messages().size(), 1u);
    EXPECT_NE(prompter_.Messages()[0].find("2 lines could not be read"), std::string::npos) << prompter_.Messages()[0];
    const RecordNoteMap expected{{2, {"Küche, Nord", "1.0 m", "fridge \"A\", 0.5 m", ""}},
                                 {4, {"", "", "", "door open"}}};
    EXPECT_EQ(model_.Notes(), expected);

    // Saved under a new name whose old sidecar spoke of other records: replaced by these notes.
    WriteFile("out.notes.csv", {"1,stale,,,"}, false);
    prompter_.files.push_back(Path("out.CSV"));
    ASSERT_TRUE(model_.SaveCsv());
    EXPECT_EQ(Slurp(Path("out.CSV")), FileText(kMicroTeslaLines));
    const auto carried = ReadNotes(Path("out.CSV"));
    ASSERT_TRUE(carried);
    EXPECT_EQ(carried->notes, expected);
    EXPECT_EQ(carried->skippedLines, 0);

    // A note set now goes beside the file the records were last written to, at once.
    ASSERT_TRUE(model_.SetNote(5, {"", "", "", "under the desk"}));
    EXPECT_EQ(ReadNotes(Path("out.CSV"))->notes.at(5).note, "under the desk");
    EXPECT_FALSE(model_.SetNote(6, {"x", "", "", ""}));  // only five records

    // Notes cleared one by one: the sidecar goes with the last.
    for (int n : {2, 4, 5}) ASSERT_TRUE(model_.SetNote(n, {}));
    EXPECT_FALSE(fs::exists(File("out.notes.csv")));
}

}  // namespace
}  // namespace tessera::entire_read
