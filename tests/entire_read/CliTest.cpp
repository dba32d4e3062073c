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

    r = Cli("print demo.CSV -o demo.pdf --layout displayed", dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir_ / "demo.pdf"));
    const Result text = Shell("pdftotext demo.pdf -", dir_);
    EXPECT_NE(text.out.find("TAVIK QM8620 Entire Read"), std::string::npos);
    EXPECT_NE(text.out.find("Displayed Value"), std::string::npos);
    EXPECT_NE(text.out.find("13.61"), std::string::npos);
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
