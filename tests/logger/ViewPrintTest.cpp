// The printout into PDF (one landscape page, title, start line, the scrolled window's time
// labels) and the page widget: screenshots, clicks, arrow keys, the print button.

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <memory>

#include "LoggerTestSupport.h"
#include "link/Link.h"
#include "logger/CLogger.h"
#include "logger/GraphPainter.h"
#include "tests/support/ScriptedPrompter.h"
#include "ui/IconButton.h"

namespace tessera::logger {
namespace {

using test::FakeMeterPort;
using test::TempDir;
using test::WriteAll;

// PDF text extraction keeps words, not runs of blanks: compare with single blanks.
std::string Squeezed(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\t';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out.push_back(blank ? ' ' : c);
    }
    return out;
}

int PageCount(const std::string& pdfinfo) {
    const auto at = pdfinfo.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(pdfinfo.c_str() + at + 6);
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// A 300-sample log at 10 s/div that starts on Thursday 3 May 2012, 09:05:07.
std::string LogFile(int samples, const std::string& slow = "OFF", const std::string& range = "fixed,20.00uT") {
    std::string text =
        "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n1 MODE,Magnetic Flux Density(10Hz-400kHz)\r\n"
        "2 UNIT,T\r\n3 RANGE," +
        range + "\r\n4 OUTPUT,OFF\r\n5 SLOW," + slow +
        "\r\n6 START TIME,2012/5/3(THU),09:05:07\r\n7 SAMPLING PERIOD,0.5s[10s/div]\r\n"
        "8 SAMPLING METHOD,average\r\n9 DATA\r\nNO,x,y,z,R";
    for (int i = 1; i <= samples; ++i) {
        const double phase = i * 0.05;
        char line[160];
        std::snprintf(line, sizeof line, "\r\n%d,%.10f,%.10f,%.10f,0", i, (10 + 8 * std::sin(phase)) * 1e-6,
                      (6 + 4 * std::cos(phase * 1.3)) * 1e-6, (i % 50 < 10 ? 45.0 : 3.0) * 1e-6);
        text += line;
    }
    return text;
}

void PrintToPdf(const LoggerModel& model, const std::string& path) {
    QPdfWriter pdf(QString::fromStdString(path));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setTitle(QStringLiteral("Draw graph"));
    PaintPrintout(pdf, model);
}

class LoggerPrint : public ::testing::Test {
protected:
    FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    LoggerModel model{meter, prompter, clock};
    TempDir dir;
};

TEST_F(LoggerPrint, OneLandscapePageWithTitleAndStartTime) {
    EXPECT_EQ(PrintStartLine({2012, 5, 3, 4, 9, 5, 7}), "Start Time:   2012/05/03 (Thu.)  09:05:07");
    EXPECT_EQ(PrintStartLine({2012, 5, 6, 7, 14, 0, 9}), "Start Time:   2012/05/06 (Sun.)  14:00:09");
    WriteAll(dir.File("log.CSV"), LogFile(300));
    ASSERT_TRUE(model.ReadFile(dir.File("log.CSV")));
    PrintToPdf(model, dir.File("out.pdf"));
    const std::string info = Shell("pdfinfo '" + dir.File("out.pdf") + "'");
    EXPECT_EQ(PageCount(info), 1) << info;
    double w = 0, h = 0;
    const auto size = info.find("Page size:");
    ASSERT_NE(size, std::string::npos);
    std::sscanf(info.c_str() + size, "Page size: %lf x %lf", &w, &h);
    EXPECT_GT(w, h);
    const std::string text = Shell("pdftotext -raw '" + dir.File("out.pdf") + "' -");
    EXPECT_NE(text.find("TAVIK QM8620 Effective Value Logger"), std::string::npos) << text;
    EXPECT_NE(Squeezed(text).find("Start Time: 2012/05/03 (Thu.) 09:05:07"), std::string::npos) << text;
    const std::string layout = Shell("pdftotext -layout '" + dir.File("out.pdf") + "' -");
    EXPECT_NE(layout.find("Magnetic Flux Density(10Hz-400kHz)"), std::string::npos) << layout;
    EXPECT_NE(text.find("10s/div"), std::string::npos);
    EXPECT_EQ(text.find("(about"), std::string::npos);  // the print info line cuts the period text
    EXPECT_NE(text.find("30s"), std::string::npos);
    EXPECT_NE(text.find("150s"), std::string::npos);
}

TEST_F(LoggerPrint, ScrolledBackPrintsTheScrolledWindow) {
    WriteAll(dir.File("log.CSV"), LogFile(300));
    ASSERT_TRUE(model.ReadFile(dir.File("log.CSV")));
    model.ScrollLeft();
    model.ScrollLeft();
    model.ScrollLeft();
    ASSERT_EQ(model.ScrollDivision(), 0);
    PrintToPdf(model, dir.File("back.pdf"));
    const std::string text = Shell("pdftotext -raw '" + dir.File("back.pdf") + "' -");
    EXPECT_NE(text.find("0s"), std::string::npos);
    EXPECT_NE(text.find("120s"), std::string::npos) << text;
    EXPECT_EQ(text.find("150s"), std::string::npos);
}

TEST(LoggerLabels, AxisTimeAndInfoTexts) {
    EXPECT_EQ(AxisLabel(2e-6, '0', 3.6e-6), "2.0uT");
    EXPECT_EQ(AxisLabel(3.6e-6, '0', 3.6e-6), "3.6uT");
    EXPECT_EQ(AxisLabel(0.0, '0', 3.6e-6), "0uT");
    EXPECT_EQ(AxisLabel(200e-6, '0', 360e-6), "200uT");
    EXPECT_EQ(AxisLabel(3.6e-3, '0', 3.6e-3), "3.6mT");
    EXPECT_EQ(AxisLabel(0.02, '1', 0.036), "20mG");
    EXPECT_EQ(AxisLabel(20.0, '1', 36.0), "20G");
    EXPECT_EQ(AxisLabel(1.6, '2', 2.8), "1.6A/m");
    EXPECT_EQ(TimeLabels(2, 3), (std::pair<std::string, std::string>{"30s", "150s"}));
    EXPECT_EQ(TimeLabels(5, 1), (std::pair<std::string, std::string>{"2min", "26min"}));
    EXPECT_EQ(TimeLabels(9, 0), (std::pair<std::string, std::string>{"0h", "12h"}));
}

// The turned mode caption stands beside the value labels, never on them, in every unit and
// range, on screen and on paper: the A/m and % labels are the widest.
TEST_F(LoggerPrint, ModeCaptionNeverMeetsTheValueLabels) {
    for (char unit : {'0', '1', '2', '3'}) {
        for (int range = 0; range < 4; ++range) {
            meter.current = test::MeterRecord('0', static_cast<std::uint8_t>(range), unit);
            meter.current.mode = unit == '3' ? '4' : '0';  // percent is the exposure modes' unit
            model.Refresh();
            for (bool print : {false, true}) {
                GraphForm form;
                form.print = print;
                form.stretch = print ? kPrintStretch : 1.0;
                const AxisTextBoxes boxes = PlaceAxisTexts(model, form);
                ASSERT_FALSE(boxes.caption.isNull());
                EXPECT_GE(boxes.caption.left(), 0) << unit << range << print;
                for (const QRect& value : boxes.values)
                    EXPECT_FALSE(boxes.caption.intersects(value))
                        << "unit " << unit << " range " << range << " print " << print << " at x " << value.left();
            }
        }
    }
}

// Two samples with z twice the 2 uT full scale: z is drawn flat on the full-scale line with
// the thick pen, and R (beyond the top as well) is left out beside the clipped component.
TEST_F(LoggerPrint, ClippedComponentIsFlatAndThickAndHidesR) {
    WriteAll(dir.File("clip.CSV"),
             "TAVIK 8620 MONITOR MODE SOFTWARE VER.1.05 EN\r\n1 MODE,Magnetic Flux Density(10Hz-400kHz)\r\n"
             "2 UNIT,T\r\n3 RANGE,fixed,2.000uT\r\n4 OUTPUT,OFF\r\n5 SLOW,OFF\r\n"
             "6 START TIME,2012/5/3(THU),09:05:07\r\n7 SAMPLING PERIOD,0.25s[1s/div]\r\n"
             "8 SAMPLING METHOD,fixed interval\r\n9 DATA\r\nNO,x,y,z,R\r\n"
             "1,0.0000001000,0.0000001000,0.000004000,0\r\n2,0.0000001000,0.0000001000,0.000004000,0");
    ASSERT_TRUE(model.ReadFile(dir.File("clip.CSV")));
    ASSERT_EQ(model.SamplesPerDivision(), 4);  // samples 12 pixels apart: x 91 and 102
    QImage image(840, 520, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        PaintGraph(p, model, GraphForm{});
    }
    const auto& area = model.Area();
    const int fullScaleY = GridY(area, model.GraphScale(), model.GraphScale().fullScaleLine);
    auto is = [&](int x, int y, QColor c) { return image.pixelColor(x, y) == c; };
    for (int x = 94; x <= 99; ++x) {
        std::vector<int> blueRows;
        for (int y = area.top; y <= area.bottom; ++y) {
            if (is(x, y, QColor(0, 0, 196))) blueRows.push_back(y);
            // No R segment: nothing black inside the frame; the band's black lower border lies
            // on the full-scale line, under the thick z segment.
            if (y > area.top && y < area.bottom - 1) {
                EXPECT_FALSE(is(x, y, Qt::black)) << x << "," << y;
            }
        }
        ASSERT_EQ(blueRows.size(), 2u) << x;
        EXPECT_EQ(blueRows[1] - blueRows[0], 1);
        EXPECT_LE(std::abs(blueRows[0] - fullScaleY), 1) << x;
    }
}

class LoggerPage : public ::testing::Test {
protected:
    link::Link link{"tessera-logger-view-test-lock"};
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    std::unique_ptr<CLogger> page;
    TempDir dir;

    void SetUp() override {
        page = std::make_unique<CLogger>(link, prompter, clock);
        page->resize(840, 520);
        page->show();
        page->Refresh();
    }
    void Shot(const std::string& name) {
        const char* where = std::getenv("TESSERA_SCREENSHOT_DIR");
        if (where) page->grab().save(QString::fromStdString(std::string(where) + "/" + name));
    }
    int GraphPixels() {
        const QImage image = page->grab().toImage();
        int coloured = 0;
        for (int y = 160; y < 412; ++y) {
            for (int x = 91; x < 689; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 60) ++coloured;  // the red x trace
            }
        }
        return coloured;
    }
};

TEST_F(LoggerPage, WithoutMeterOnlyFileReadIsOffered) {
    EXPECT_FALSE(page->StartButton()->isEnabled());
    EXPECT_FALSE(page->StopButton()->isEnabled());
    EXPECT_TRUE(page->FileReadButton()->isEnabled());
    EXPECT_FALSE(page->CsvSaveButton()->isEnabled());
    EXPECT_FALSE(page->PrintButton()->isEnabled());
    const auto* print = qobject_cast<const ui::IconButton*>(page->PrintButton());
    ASSERT_NE(print, nullptr);
    EXPECT_FALSE(print->Flat()) << "Print is a raised button beside the others";
    EXPECT_FALSE(print->Icon().isNull());
    EXPECT_FALSE(page->ScrollBar()->isEnabled());
    EXPECT_TRUE(link::loggerPageShown);
    EXPECT_EQ(page->windowTitle(), QStringLiteral("     Effective Value Logger     "));
}

TEST_F(LoggerPage, ReadFileShowsGraphCursorAndReadout) {
    WriteAll(dir.File("log.CSV"), LogFile(300));
    prompter.files.push_back(dir.File("log.CSV"));
    page->FileRead();
    EXPECT_EQ(page->DataState(), page::DataState::Saved);
    EXPECT_TRUE(page->ScrollBar()->isEnabled());
    EXPECT_EQ(page->ScrollBar()->value(), 3);
    EXPECT_TRUE(page->PrintButton()->isEnabled());
    EXPECT_GT(GraphPixels(), 100);
    Shot("logger-file.png");

    // The first sample of the window (division 3 at 20 per division is slot 60) at 10 s/div:
    // 30 s after 09:05:07.
    const std::string readout = page->Readout()->text().toStdString();
    EXPECT_EQ(readout.rfind("2012/05/03  09:05:37   R:", 0), 0u) << readout;
    EXPECT_NE(readout.find("   Unit:T"), std::string::npos);

    // A click outside the plot changes nothing; one inside moves the cursor.
    const int before = page->Model().CursorX();
    QTest::mouseClick(page.get(), Qt::LeftButton, {}, QPoint(40, 300));
    QTest::mouseClick(page.get(), Qt::LeftButton, {}, QPoint(300, 440));
    EXPECT_EQ(page->Model().CursorX(), before);
    EXPECT_EQ(page->Readout()->text().toStdString(), readout);
    QTest::mouseClick(page.get(), Qt::LeftButton, {}, QPoint(90 + 100, 300));
    EXPECT_EQ(page->Model().CursorX(), 190);
    EXPECT_EQ(page->Readout()->text().toStdString().rfind("2012/05/03  09:05:57", 0), 0u);

    // Arrow keys step one sample (0.5 s); at the window's first sample Left scrolls back.
    page->MoveCursor(+1);
    EXPECT_EQ(page->Readout()->text().toStdString().rfind("2012/05/03  09:05:57", 0), 0u);
    page->MoveCursor(+1);
    EXPECT_EQ(page->Readout()->text().toStdString().rfind("2012/05/03  09:05:58", 0), 0u);
    QTest::mouseClick(page.get(), Qt::LeftButton, {}, QPoint(91, 300));
    page->MoveCursor(-1);
    EXPECT_EQ(page->Model().ScrollDivision(), 2);
    EXPECT_EQ(page->ScrollBar()->value(), 2);
    EXPECT_EQ(page->Readout()->text().toStdString().rfind("2012/05/03  09:05:36", 0), 0u);
    Shot("logger-cursor.png");
}

// The graph's white panel runs across the page: no strip of the page colour between the
// plot and the legend, and the right time label stands on white too.
TEST_F(LoggerPage, GraphPanelIsOneWhiteBand) {
    WriteAll(dir.File("log.CSV"), LogFile(40));
    prompter.files.push_back(dir.File("log.CSV"));
    page->FileRead();
    const QImage image = page->grab().toImage();
    const QColor white(Qt::white);
    for (const QPoint at :
         {QPoint(692, 300), QPoint(700, 300), QPoint(703, 200), QPoint(836, 300), QPoint(720, 440), QPoint(4, 300)}) {
        EXPECT_EQ(image.pixelColor(at), white) << at.x() << "," << at.y();
    }
    // In a wider window the band goes on to the page's right edge.
    page->resize(1040, 600);
    const QImage wide = page->grab().toImage();
    EXPECT_EQ(wide.pixelColor(1000, 300), white);
    EXPECT_EQ(wide.pixelColor(1038, 440), white);
}

TEST_F(LoggerPage, TraceButtonsHideTraces) {
    WriteAll(dir.File("log.CSV"), LogFile(100));
    prompter.files.push_back(dir.File("log.CSV"));
    page->FileRead();
    EXPECT_GT(GraphPixels(), 50);
    page->TraceButton(kTraceX)->click();
    EXPECT_FALSE(page->Model().TraceShown(kTraceX));
    EXPECT_EQ(GraphPixels(), 0);
    page->TraceButton(kTraceX)->click();
    EXPECT_GT(GraphPixels(), 50);
}

TEST_F(LoggerPage, PrintButtonPrintsOnePage) {
    page->Print();
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"There is no effective value to print."}));
    WriteAll(dir.File("log.CSV"), LogFile(40));
    prompter.files.push_back(dir.File("log.CSV"));
    page->FileRead();
    prompter.printPdfs.push_back(dir.File("page.pdf"));
    page->Print();
    const std::string info = Shell("pdfinfo '" + dir.File("page.pdf") + "'");
    EXPECT_EQ(PageCount(info), 1) << info;
    const std::string text = Shell("pdftotext -raw '" + dir.File("page.pdf") + "' -");
    EXPECT_NE(text.find("TAVIK QM8620 Effective Value Logger"), std::string::npos) << text;
    if (const char* where = std::getenv("TESSERA_SCREENSHOT_DIR")) {
        Shell("pdftoppm -png -r 60 -singlefile '" + dir.File("page.pdf") + "' '" + where + "/logger-print'");
    }
}

}  // namespace
}  // namespace tessera::logger
