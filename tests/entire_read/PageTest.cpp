// The Entire Read page widget: its controls, the two table layouts, a download paced by
// the page's timer against the virtual meter, printing through the print dialog's stand-in.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>

#include "entire_read/CEntireRead.h"
#include "link/Link.h"
#include "tests/entire_read/EntireReadTestData.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"
#include "ui/EditableList.h"
#include "ui/IconButton.h"

namespace tessera::entire_read {
namespace {

namespace fs = std::filesystem;

struct Column {
    std::string title;
    int width;
};

std::vector<Column> ColumnsOf(const ui::EditableList& table) {
    std::vector<Column> out;
    for (int c = 0; c < table.columnCount(); ++c)
        out.push_back({table.horizontalHeaderItem(c)->text().toStdString(), table.columnWidth(c)});
    return out;
}

bool operator==(const Column& a, const Column& b) { return a.title == b.title && a.width == b.width; }
std::ostream& operator<<(std::ostream& o, const Column& c) { return o << c.title << "/" << c.width; }

const std::vector<Column> kRxyzLayout = {
    {"No.", 30},        {"Measurement Mode", 120},
    {"Axis", 50},       {"Unit", 50},
    {"R", 70},          {"x", 70},
    {"y", 70},          {"z", 70},
    {"Sensor", 70},     {"Slow", 70},
    {"R+Accuracy", 80}, {"R-Accuracy", 80},
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        link::SetAccuracyTable(testdata::UniformTable(0.0f, 1.0f));
        link::loggerRunning = false;
        dir_ = fs::path(::testing::TempDir()) /
               ("eread-page-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        link::SetAccuracyTable(link::AccuracyTable{});
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Waits (bounded) until the page's download has ended.
    static void WaitForDownload(CEntireRead& page) {
        QElapsedTimer clock;
        clock.start();
        while (page.Downloading() && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    static void Shot(QWidget& w, const std::string& name) {
        if (const char* dir = std::getenv("TESSERA_SCREENSHOT_DIR"))
            w.grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }

    fs::path dir_;
    testing::ScriptedPrompter prompter_;
};

TEST_F(PageTest, ControlsAndTheirInitialState) {
    link::Link link("eread-page-test-lock");
    CEntireRead page(link, prompter_);
    EXPECT_EQ(page.ReadButton()->text(), "Read");
    EXPECT_EQ(page.MemoryClearButton()->text(), "Memory Clear");
    EXPECT_EQ(page.SaveButton()->text(), "CSV Save");
    EXPECT_EQ(page.FileReadButton()->text(), "File Read");
    EXPECT_EQ(page.PrintButton()->text(), "Print");
    const auto* print = qobject_cast<const ui::IconButton*>(page.PrintButton());
    ASSERT_NE(print, nullptr);
    EXPECT_FALSE(print->Flat()) << "Print is a raised button beside the others";
    EXPECT_FALSE(print->Icon().isNull());
    EXPECT_EQ(page.UnitChangeButton()->text(), "Unit Change(Only for Magnetic Flux Density) ");
    EXPECT_EQ(page.RxyzButton()->text(), "Rxyz");
    EXPECT_EQ(page.DisplayedValueButton()->text(), "Displayed Value on the QM8620");
    QStringList units;
    for (int i = 0; i < page.UnitBox()->count(); ++i) units << page.UnitBox()->itemText(i);
    EXPECT_EQ(units, (QStringList{"Original Unit", "uT", "mT", "T", "mG", "G", "A/m"}));
    QStringList groups;
    for (const QGroupBox* g : page.findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_TRUE(groups.contains("            QM8620 Operation"));
    EXPECT_TRUE(groups.contains("            TESSERA Operation"));

    EXPECT_TRUE(page.RxyzButton()->isChecked());
    EXPECT_FALSE(page.SaveButton()->isEnabled());
    EXPECT_FALSE(page.PrintButton()->isEnabled());
    EXPECT_EQ(ColumnsOf(*page.Table()), kRxyzLayout);
    for (int c = 0; c < 12; ++c) EXPECT_TRUE(page.Table()->IsReadOnlyColumn(c)) << c;
    EXPECT_EQ(page.Table()->horizontalHeaderItem(1)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(page.Table()->horizontalHeaderItem(4)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    // No meter known: the meter buttons are off after the state check.
    page.Refresh();
    EXPECT_FALSE(page.ReadButton()->isEnabled());
    EXPECT_FALSE(page.MemoryClearButton()->isEnabled());
    // Print and CSV Save with nothing shown.
    page.PrintButton()->setEnabled(true);
    page.PrintButton()->click();
    EXPECT_FALSE(page.SaveCsv());
    EXPECT_EQ(prompter_.Messages(),
              (std::vector<std::string>{"There is no effective data to print.", "There is no data to save."}));
}

TEST_F(PageTest, DownloadShowUnitsSwitchLayoutsSaveAndPrint) {
    testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.LoadDemoMemory());
    link::Link link;
    ASSERT_TRUE(link.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
    ASSERT_TRUE(link.OpenSession());
    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);

    CEntireRead page(link, prompter_);
    page.resize(1000, 640);
    page.show();
    page.Refresh();
    Shot(page, "entire-read-empty");
    ASSERT_TRUE(page.ReadButton()->isEnabled());
    page.ReadButton()->click();
    EXPECT_TRUE(page.Downloading());
    WaitForDownload(page);
    ASSERT_FALSE(page.Downloading());
    EXPECT_TRUE(prompter_.Messages().empty());
    const int rows = page.Table()->rowCount();
    EXPECT_EQ(rows, 25);
    EXPECT_EQ(page.Table()->CellText(0, 4), "1.361E-6");
    EXPECT_EQ(page.Table()->CellText(24, 0), "25");
    EXPECT_EQ(page.Table()->currentRow(), 24) << "the last inserted row is selected";
    EXPECT_TRUE(page.SaveButton()->isEnabled());
    EXPECT_TRUE(page.PrintButton()->isEnabled());
    EXPECT_EQ(page.DataState(), page::DataState::Unsaved);
    Shot(page, "entire-read-downloaded");

    // Unit change through the combo box and the button.
    page.UnitBox()->setCurrentIndex(kUnitMicroTesla);
    page.UnitChangeButton()->click();
    EXPECT_EQ(page.Table()->CellText(0, 3), "uT");
    EXPECT_EQ(page.Table()->CellText(0, 4), "1.361");
    EXPECT_EQ(page.Table()->rowCount(), rows);

    // Displayed Value and back restores the twelve columns.
    page.DisplayedValueButton()->click();
    EXPECT_TRUE(page.DisplayedValueButton()->isChecked());
    EXPECT_EQ(ColumnsOf(*page.Table()), (std::vector<Column>{{"No.", 30},
                                                             {"Measurement Mode", 120},
                                                             {"Axis", 50},
                                                             {"Unit", 50},
                                                             {"Displayed Value", 120},
                                                             {"Sensor", 70},
                                                             {"Slow", 70}}));
    EXPECT_EQ(page.Table()->CellText(0, 4), "1.361");
    EXPECT_EQ(page.Table()->CellText(0, 5), "100cm2");
    Shot(page, "entire-read-displayed-value");
    page.RxyzButton()->click();
    EXPECT_EQ(ColumnsOf(*page.Table()), kRxyzLayout);
    EXPECT_EQ(page.Table()->CellText(0, 10), "1.362");
    EXPECT_EQ(page.Table()->CellText(0, 8), "100cm2");
    EXPECT_EQ(page.Table()->rowCount(), rows);

    // CSV Save as the sheet's close question calls it.
    prompter_.files.push_back(Path("page.csv"));
    EXPECT_TRUE(page.SaveCsv());
    EXPECT_TRUE(fs::exists(Path("page.csv.CSV")));
    EXPECT_EQ(page.DataState(), page::DataState::Saved);

    // Print through the print dialog's stand-in.
    prompter_.printPdfs.push_back(Path("page.pdf"));
    page.PrintButton()->click();
    ASSERT_TRUE(fs::exists(Path("page.pdf")));
    EXPECT_GT(fs::file_size(Path("page.pdf")), 1000u);

    // File Read of what was saved: the unit box follows the file.
    page.UnitBox()->setCurrentIndex(kOriginalUnit);
    prompter_.files.push_back(Path("page.csv.CSV"));
    page.FileReadButton()->click();
    EXPECT_EQ(page.UnitBox()->currentIndex(), kUnitMicroTesla);
    EXPECT_EQ(page.Table()->rowCount(), rows);
    EXPECT_EQ(page.Table()->CellText(0, 4), "1.361");
    EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(PageTest, EmptyMemoryThroughThePage) {
    testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.ClearMemory());
    link::Link link;
    ASSERT_TRUE(link.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
    ASSERT_TRUE(link.OpenSession());
    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
    CEntireRead page(link, prompter_);
    page.Refresh();
    page.ReadButton()->click();
    WaitForDownload(page);
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"No data was found in the QM8620."});
    EXPECT_EQ(page.Table()->rowCount(), 0);
    EXPECT_FALSE(page.SaveButton()->isEnabled());
    EXPECT_FALSE(page.PrintButton()->isEnabled());
    EXPECT_TRUE(page.ReadButton()->isEnabled());
}

}  // namespace
}  // namespace tessera::entire_read

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
