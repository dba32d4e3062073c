// The Entire Read printout rendered into PDF and read back with poppler's tools: page
// breaks, labels, orientation, titles and the cells' texts.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "entire_read/EntireReadModel.h"
#include "entire_read/EntireReadPrint.h"
#include "tests/entire_read/EntireReadTestData.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/ScriptedPrompter.h"

namespace tessera::entire_read {
namespace {

namespace fs = std::filesystem;

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

struct PdfInfo {
    int pages = 0;
    double width = 0, height = 0;
};

PdfInfo Info(const std::string& pdf) {
    PdfInfo info;
    const std::string text = Run("pdfinfo '" + pdf + "' 2>/dev/null");
    std::smatch m;
    if (std::regex_search(text, m, std::regex(R"(Pages:\s+(\d+))"))) info.pages = std::stoi(m[1]);
    if (std::regex_search(text, m, std::regex(R"(Page size:\s+([\d.]+) x ([\d.]+))"))) {
        info.width = std::stod(m[1]);
        info.height = std::stod(m[2]);
    }
    return info;
}

// The words of one page.
std::vector<std::string> Words(const std::string& pdf, int page) {
    const std::string text =
        Run("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf + "' - 2>/dev/null");
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool Has(const std::vector<std::string>& words, const std::string& w) {
    return std::find(words.begin(), words.end(), w) != words.end();
}

std::string PageText(const std::string& pdf, int page) {
    return Run("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf + "' - 2>/dev/null");
}

class PrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        link::SetAccuracyTable(testdata::UniformTable(0.0f, 1.0f));
        dir_ = fs::path(::testing::TempDir()) /
               ("eread-print-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        link::SetAccuracyTable(link::AccuracyTable{});
    }

    // Shows `n` records read from a file: flux density in mG, one over range, one percent.
    void Load(int n) {
        const fs::path file = dir_ / "in.CSV";
        std::ofstream out(file, std::ios::binary);
        out << "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
               "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n";
        for (int i = 1; i <= n; ++i) {
            if (i == 2)
                out << i
                    << ",Magnetic Flux Density(10Hz-400kHz),R,uT,2.000uT,O.L.,0.500,0.000,O.L.,OFF,OFF,8621,O.L.,O.L.\r\n";
            else if (i == 3)
                out << i << ",Exposure Level(Occupational),R,%,20.00%,3.00,4.00,0.00,5.00,OFF,ON,8622,,\r\n";
            else
                out << i
                    << ",Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1.500,0.000,0.000,1.500,OFF,OFF,8621,,\r\n";
        }
        out.close();
        prompter_.files.push_back(file.string());
        model_.FileRead();
        ASSERT_EQ(model_.RecordCount(), static_cast<unsigned>(n));
        model_.SetUnitSelection(kUnitMilliGauss);
        model_.UnitChange();
    }

    std::string Print(const std::string& name) {
        const auto job = model_.PrintData();
        EXPECT_TRUE(job.has_value());
        const std::string pdf = (dir_ / name).string();
        QPdfWriter writer(QString::fromStdString(pdf));
        writer.setTitle(QString::fromLatin1(kPrintDocumentName));
        writer.setPageSize(QPageSize(QPageSize::A4));
        EXPECT_TRUE(PrintTo(writer, *job));
        // For a person to look at: the pages as pictures when asked for.
        if (const char* shots = std::getenv("TESSERA_SCREENSHOT_DIR")) {
            std::error_code ignored;
            fs::copy_file(pdf, fs::path(shots) / name, fs::copy_options::overwrite_existing, ignored);
            for (int page = 0; page < PageCount(*job); ++page) {
                const bool landscape = job->layout == PrintLayout::Rxyz;
                QImage image(landscape ? 1403 : 992, landscape ? 992 : 1403, QImage::Format_RGB32);
                image.fill(Qt::white);
                QPainter painter(&image);
                DrawPage(painter, *job, page, 992, 1403);
                painter.end();
                image.save(
                    QString::fromStdString(std::string(shots) + "/" + name + "-" + std::to_string(page + 1) + ".png"));
            }
        }
        return pdf;
    }

    fs::path dir_;
    testing::FakeMeterPort meter_;
    testing::ScriptedPrompter prompter_;
    EntireRead model_{meter_, prompter_};
};

TEST_F(PrintTest, ThirtyEightRowsFillOneLandscapePage) {
    Load(38);
    const std::string pdf = Print("38.pdf");
    const PdfInfo info = Info(pdf);
    EXPECT_EQ(info.pages, 1);
    EXPECT_GT(info.width, info.height) << "Rxyz prints landscape";
    const std::string text = PageText(pdf, 1);
    EXPECT_NE(text.find("TAVIK QM8620 Entire Read"), std::string::npos);
    EXPECT_NE(text.find("page 1"), std::string::npos);
    EXPECT_NE(text.find("Measurement Mode"), std::string::npos);
    const auto words = Words(pdf, 1);
    for (const char* w : {"No.", "Axis", "Unit", "Sensor", "Slow", "R+Accuracy", "R-Accuracy", "mG", "15.00", "15.01",
                          "14.99", "O.L.", "5.00", "%", "3cm2", "100cm2", "ON", "38"})
        EXPECT_TRUE(Has(words, w)) << w;
}

TEST_F(PrintTest, ThirtyNineRowsNeedASecondPage) {
    Load(39);
    const std::string pdf = Print("39.pdf");
    EXPECT_EQ(Info(pdf).pages, 2);
    const auto second = Words(pdf, 2);
    EXPECT_NE(PageText(pdf, 2).find("Page 2"), std::string::npos);
    EXPECT_TRUE(Has(second, "39"));
    EXPECT_FALSE(Has(second, "38"));
    EXPECT_TRUE(Has(second, "R+Accuracy")) << "every page has its header";
    EXPECT_TRUE(Has(Words(pdf, 1), "38"));
}

TEST_F(PrintTest, NinetyNineRowsOnThreeLandscapeOrTwoPortraitPages) {
    Load(99);
    std::string pdf = Print("99-rxyz.pdf");
    PdfInfo info = Info(pdf);
    EXPECT_EQ(info.pages, 3);
    EXPECT_GT(info.width, info.height);
    EXPECT_TRUE(Has(Words(pdf, 2), "76"));
    EXPECT_FALSE(Has(Words(pdf, 2), "77"));
    EXPECT_TRUE(Has(Words(pdf, 3), "77"));
    EXPECT_TRUE(Has(Words(pdf, 3), "99"));
    EXPECT_NE(PageText(pdf, 3).find("Page 3"), std::string::npos);

    model_.ShowDisplayedValue();
    pdf = Print("99-displayed.pdf");
    info = Info(pdf);
    EXPECT_EQ(info.pages, 2);
    EXPECT_LT(info.width, info.height) << "Displayed Value prints portrait";
    const auto first = Words(pdf, 1);
    EXPECT_TRUE(Has(first, "60"));
    EXPECT_FALSE(Has(first, "61"));
    EXPECT_FALSE(Has(first, "R+Accuracy"));
    EXPECT_NE(PageText(pdf, 1).find("Displayed Value"), std::string::npos);
    EXPECT_TRUE(Has(first, "15.00"));
    EXPECT_TRUE(Has(first, "O.L."));
    const auto second = Words(pdf, 2);
    EXPECT_TRUE(Has(second, "61"));
    EXPECT_TRUE(Has(second, "99"));
    EXPECT_NE(PageText(pdf, 2).find("Page 2"), std::string::npos);
}

TEST_F(PrintTest, TextCellsFitBetweenTheirRowTopAndTheRuleBelow) {
    // A row's text starts at its top and the rule lies 85 units lower; the text font's
    // cell is 72 units, so descenders must end above the rule on any device.
    QPdfWriter writer((dir_ / "metrics.pdf").string().c_str());
    writer.setPageSize(QPageSize(QPageSize::A4));
    for (int cell : {12, 72, 117, 250}) {
        const QFontMetricsF onPdf(PrintFont(cell), &writer);
        const QFontMetricsF plain(PrintFont(cell));
        EXPECT_LE(plain.ascent() + plain.descent(), cell + 1.0) << cell;
        EXPECT_GE(plain.ascent() + plain.descent(), cell * 0.85) << cell;
        EXPECT_LE(onPdf.ascent() + onPdf.descent(), cell + 1.0) << cell;
    }
}

TEST_F(PrintTest, NothingToPrintWithAnEmptyTable) {
    EXPECT_FALSE(model_.PrintData().has_value());
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"There is no effective data to print."});
}

}  // namespace
}  // namespace tessera::entire_read

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
