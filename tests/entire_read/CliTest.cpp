// tessera-cli read, convert and print: the built program against a virtual meter, with
// the page's texts on standard error and non-zero exits on failure.

#include <gtest/gtest.h>

#include <unistd.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/VirtualMeter.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out, err;
};

// Runs a shell command line in `dir`.
Result Shell(const std::string& line, const fs::path& dir) {
    const fs::path errFile = dir / "stderr.txt";
    const std::string command = "cd '" + dir.string() + "' && " + line + " 2>'" + errFile.string() + "'";
    Result r;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
        const int status = ::pclose(p);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream in(errFile);
    std::stringstream s;
    s << in.rdbuf();
    r.err = s.str();
    return r;
}

// Runs tessera-cli with `args` (already quoted where needed) from `dir`.
Result Cli(const std::string& args, const fs::path& dir) {
    return Shell("'" + std::string(TESSERA_CLI_PATH) + "' " + args, dir);
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               ("eread-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(CliTest, ReadConvertAndPrintTheDemoMemory) {
    tessera::testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.LoadDemoMemory());

    Result r = Cli("read", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind(
                  "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
                  "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n"
                  "1,Magnetic Flux Density(10Hz-400kHz),R,T,2.000uT,1.234E-6,0.568E-6,0.091E-6,1.361E-6,OFF,OFF,8621,",
                  0),
              0u)
        << r.out.substr(0, 400);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3 + 25);

    r = Cli("read -o demo --unit mG", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "demo.CSV\n");
    const std::string mg = Slurp(dir_ / "demo.CSV");
    EXPECT_NE(mg.find("\r\n1,Magnetic Flux Density(10Hz-400kHz),R,mG,2.000uT,12.34,5.68,0.91,13.61,OFF,OFF,8621,"),
              std::string::npos);

    r = Cli("convert demo.CSV --unit uT -o micro.CSV", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string micro = Slurp(dir_ / "micro.CSV");
    EXPECT_NE(micro.find("\r\n1,Magnetic Flux Density(10Hz-400kHz),R,uT,2.000uT,1.234,0.568,0.091,1.361,OFF,OFF,8621,"),
              std::string::npos);
    // Back to the records' own units gives what the meter delivered.
    r = Cli("convert micro.CSV --unit original", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Cli("read", dir_).out);

    // Saving over a link asks about the file the link leads to, by its name.
    fs::create_symlink("micro.CSV", dir_ / "link.CSV");
    r = Shell("echo n | '" + std::string(TESSERA_CLI_PATH) + "' convert demo.CSV --unit mG -o link.CSV", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("\"micro.CSV\": Would you like to overwrite the file? [y/N]"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(dir_ / "micro.CSV"), micro);

    // The PDF's name reaches the disk as given, also when it is not UTF-8 (Latin-1 "été").
    r = Cli("print demo.CSV -o \"$(printf '\\351t\\351.pdf')\" --layout displayed", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(fs::exists(dir_ / "\xe9t\xe9.pdf"));
    fs::rename(dir_ / "\xe9t\xe9.pdf", dir_ / "demo.pdf");
    const Result text = Shell("pdftotext demo.pdf -", dir_);
    EXPECT_NE(text.out.find("TAVIK QM8620 Entire Read"), std::string::npos);
    EXPECT_NE(text.out.find("Displayed Value"), std::string::npos);
    EXPECT_NE(text.out.find("13.61"), std::string::npos);
}

// annotate: the notes round trip through the sidecar while the file keeps its bytes; fields
// not given keep theirs; convert takes the notes to its new name; a damaged sidecar loses its
// damaged lines only, and says so.
TEST_F(CliTest, AnnotateKeepsNotesBesideTheFile) {
    const std::string file =
        "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
        "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n"
        "1,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1.500,0.000,0.000,1.500,OFF,OFF,8621,1.501,1.499\r\n"
        "2,Magnetic Flux Density(10Hz-400kHz),z,uT,16.00A/m,0.00,0.00,12.57,12.57,OFF,OFF,8621,12.58,12.56\r\n";
    std::ofstream(dir_ / "m.CSV", std::ios::binary) << file;

    Result r = Cli("annotate m.CSV 2 --location 'Küche, Nord' --height '1.0 m' --source 'fridge \"A\", 0.5 m'", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    r = Cli("annotate m.CSV 2 --note 'door open' --height ''", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "record 2\n  location: Küche, Nord\n  height: \n  source: fridge \"A\", 0.5 m\n  note: door open\n");
    EXPECT_EQ(Slurp(dir_ / "m.CSV"), file);
    EXPECT_EQ(Slurp(dir_ / "m.notes.csv"),
              "# TESSERA Entire Read notes\r\nno,location,height,source,note\r\n"
              "2,\"Küche, Nord\",,\"fridge \"\"A\"\", 0.5 m\",door open\r\n");

    r = Cli("convert m.CSV --unit mG -o g.CSV --yes", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Slurp(dir_ / "g.notes.csv"), Slurp(dir_ / "m.notes.csv"));

    EXPECT_EQ(Cli("annotate m.CSV 3 --note x", dir_).code, 1);  // two records only
    EXPECT_EQ(Cli("annotate m.CSV zwei", dir_).code, 2);

    std::ofstream(dir_ / "m.notes.csv", std::ios::binary | std::ios::app) << "1,\"open\r\n";
    r = Cli("annotate m.CSV 2", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("1 line could not be read"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("note: door open"), std::string::npos) << r.out;
}

TEST_F(CliTest, FailuresSayThePagesMessages) {
    tessera::testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.ClearMemory());

    Result r = Cli("read", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("No data was found in the QM8620."), std::string::npos);
    EXPECT_EQ(r.out, "");

    r = Cli("read --unit kG", dir_);
    EXPECT_EQ(r.code, 2);

    r = Cli("convert missing.CSV --unit uT", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("The file \"" + (dir_ / "missing.CSV").string() + "\" was not found."), std::string::npos)
        << r.err;

    std::ofstream(dir_ / "log.CSV") << "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n";
    r = Cli("print log.CSV -o log.pdf", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("The file is a CSV file for \"Effective Value Logger\"."), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "log.pdf"));

    // A file without a record to print says so as the print page does.
    std::ofstream(dir_ / "empty.CSV") << "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
                                         "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n";
    r = Cli("print empty.CSV -o empty.pdf", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "There is no effective data to print.\n");

    // A bad line is reported and skipped; the rest is converted, and the exit says so.
    std::ofstream(dir_ / "bad.CSV")
        << "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
           "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n"
           "1,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1.500,0.000,0.000,1.500,OFF,OFF,8621,,\r\n"
           "2,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1.500,0.000,0.000,1.500,OFF,OFF,9999,,\r\n";
    r = Cli("convert bad.CSV --unit mG", dir_);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("An unidentifiable information about \"Sensor\" in line 2."), std::string::npos);
    EXPECT_NE(r.out.find("\r\n1,Magnetic Flux Density(10Hz-400kHz),x,mG,2.000uT,15.00,"), std::string::npos);

    ASSERT_TRUE(meter.Unplug());
    r = Cli("read", dir_);
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("Connection failed. Please connect the QM8620 again."), std::string::npos);
}

TEST_F(CliTest, DownloadCutShortStillDeliversWhatArrived) {
    tessera::testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.LoadDemoMemory());
    // Session (FUNC, APP), connection check (QPID, MEAS?, MEM?) and ten records.
    ASSERT_TRUE(meter.InjectFault("unplug-after 15"));
    const Result r = Cli("read -o part.CSV", dir_);
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("Connection failed. Please connect the QM8620 again."), std::string::npos);
    const std::string text = Slurp(dir_ / "part.CSV");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 10) << text;

    // The page ends a download on any other answer without a word; a script is told.
    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(meter.InjectFault("status E 1 DATA? 3"));
    const Result e = Cli("read -o part2.CSV", dir_);
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("0x80000045"), std::string::npos) << e.err;
    const std::string two = Slurp(dir_ / "part2.CSV");
    EXPECT_EQ(std::count(two.begin(), two.end(), '\n'), 3 + 2) << two;
}

}  // namespace
