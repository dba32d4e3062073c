// The Survey page's widget offscreen: files are read beside the window and then shown, a
// refused file is said in the page's words, a drag across the graph fills the span's column,
// and "Copy" puts what the page shows on the clipboard.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>

#include "logger/LoggerCsv.h"
#include "logger/RunMarks.h"
#include "survey/CSurvey.h"
#include "tests/support/LogHeaders.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TempDir.h"

namespace tessera::survey {
namespace {

QString Cell(QTableWidget* table, const QString& label, int column) {
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0) && table->item(r, 0)->text() == label) return table->item(r, column)->text();
    return {};
}

TEST(SurveyView, ReadsFilesBesideTheWindowAndShowsThem) {
    testing::TempDir dir;
    const std::string path = dir.File("night.CSV");
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{2024, 3, 1, 5, 22, 0, 0}, 3);
    std::vector<link::LogSample> samples;
    for (int i = 0; i < 600; ++i) samples.push_back({i, (1 + i % 7) * 1e-7, 0, 0, 0});
    ASSERT_TRUE(logger::WriteLogFile(path, h, samples.data(), 599));

    testing::ScriptedPrompter prompter;
    CSurvey page(prompter, std::make_unique<SurveyModel>(ProfileBook()));
    page.resize(1040, 716);
    page.show();
    EXPECT_FALSE(page.FilesButton()->isEnabled());

    QSignalSpy read(&page, &CSurvey::FilesRead);
    page.OpenFiles({dir.File("none.CSV")});
    ASSERT_TRUE(read.wait(10000));
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("was not found"), std::string::npos);
    EXPECT_TRUE(page.LoggerButton()->isChecked());

    page.OpenFiles({path});
    ASSERT_TRUE(read.wait(10000));
    EXPECT_TRUE(page.FilesButton()->isChecked());
    EXPECT_EQ(Cell(page.Table(), "Samples", 1), "600");
    EXPECT_EQ(Cell(page.Table(), "Maximum", 1), "0.7000 uT");
    EXPECT_TRUE(page.Table()->isColumnHidden(2));

    // A drag over the first half of the plot: about the first 300 samples.
    const int columns = TimePlotRect(page.Graph()->rect()).width();
    page.SelectColumns(0, columns / 2 - 1);
    EXPECT_FALSE(page.Table()->isColumnHidden(2));
    const int span = Cell(page.Table(), "Samples", 2).toInt();
    EXPECT_NEAR(span, 300, 3);

    page.CopyButton()->click();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QStringLiteral("Between the cursors"))) << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("night.CSV: 600 samples"))) << copied.toStdString();
}

// A file's marks are drawn on the time graph (in their own green, which no trace of R uses);
// "Mark" waits for a logging run and "Notes..." for Entire Read records.
TEST(SurveyView, MarksOfAFileAreDrawnAndTheButtonsWaitForTheirData) {
    testing::TempDir dir;
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{2024, 3, 1, 5, 22, 0, 0}, 3);
    std::vector<link::LogSample> samples;
    for (int i = 0; i < 600; ++i) samples.push_back({i, (1 + i % 7) * 1e-7, 0, 0, 0});
    const std::string plain = dir.File("plain.CSV"), marked = dir.File("marked.CSV");
    ASSERT_TRUE(logger::WriteLogFile(plain, h, samples.data(), 599));
    ASSERT_TRUE(logger::WriteLogFile(marked, h, samples.data(), 599));
    logger::RunMarks marks;
    marks.marks = {{150, {}, "heater on"}, {450, {}, "door opened"}};
    ASSERT_TRUE(logger::WriteMarksFile(marked, marks, 599));

    testing::ScriptedPrompter prompter;
    CSurvey page(prompter, std::make_unique<SurveyModel>(ProfileBook()));
    page.resize(1040, 716);
    page.show();
    EXPECT_FALSE(page.MarkButton()->isEnabled());
    EXPECT_FALSE(page.NotesButton()->isEnabled());

    auto greenPixels = [&](const std::string& path) {
        QSignalSpy read(&page, &CSurvey::FilesRead);
        page.OpenFiles({path});
        EXPECT_TRUE(read.wait(10000));
        const QImage image = page.Graph()->grab().toImage();
        int green = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.green() > c.red() + 50 && c.green() > c.blue() + 30) ++green;
            }
        return green;
    };
    EXPECT_EQ(greenPixels(plain), 0);
    EXPECT_GT(greenPixels(marked), 40);
    ASSERT_EQ(page.Model().Shown().marks.size(), 2u);
    EXPECT_EQ(page.Model().Shown().marks[1].sample, 450u);  // slot 450 of the only part
    EXPECT_FALSE(page.MarkButton()->isEnabled());           // a file is no run
}

}  // namespace
}  // namespace tessera::survey
