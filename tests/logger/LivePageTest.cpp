// The logger page against the virtual meter: the page in front when the window opens
// offers "Start" without any tab change, and a run draws the meter's live field.

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <memory>

#include "link/Link.h"
#include "logger/CLogger.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::logger {
namespace {

class LoggerLivePage : public ::testing::Test {
protected:
    testing::VirtualMeter meter;
    link::Link link;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    std::unique_ptr<CLogger> page;

    void SetUp() override {
        ASSERT_TRUE(meter.Start()) << meter.LastError();
        ASSERT_TRUE(link.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
        ASSERT_TRUE(link.OpenSession());
        ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
        clock.millis = 100;
        clock.now = {2012, 5, 3, 9, 5, 7, 0, 4};
        page = std::make_unique<CLogger>(link, prompter, clock);
        page->resize(840, 520);
    }
};

TEST_F(LoggerLivePage, FirstShowingOffersStartWithoutATabChange) {
    EXPECT_FALSE(page->StartButton()->isEnabled());  // nothing read yet
    page->show();
    EXPECT_TRUE(page->StartButton()->isEnabled());
    EXPECT_TRUE(link::loggerPageShown);
}

TEST_F(LoggerLivePage, RunDrawsTheLiveField) {
    ASSERT_TRUE(meter.UseFieldModel());
    page->show();
    page->StartButton()->click();
    ASSERT_TRUE(page->Model().Running());
    EXPECT_TRUE(page->StopButton()->isEnabled());
    EXPECT_FALSE(page->FileReadButton()->isEnabled());
    // 10 s/div: 3 divisions' worth of polls, two per sample.
    for (int i = 0; i < 1 + 2 * 60; ++i) {
        page->Model().Tick(clock.millis);
        clock.millis += 250;
    }
    EXPECT_EQ(page->Model().SampleCount(), 61);
    page->Refresh();
    const QImage image = page->grab().toImage();
    int traced = 0;
    for (int y = 161; y < 411; ++y) {
        for (int x = 92; x < 688; ++x) {
            const QColor c = image.pixelColor(x, y);
            if ((c.red() > 200 && c.green() < 60) || (c.blue() > 150 && c.red() < 60)) ++traced;
        }
    }
    EXPECT_GT(traced, 100);
    EXPECT_FALSE(page->Readout()->text().isEmpty());
    if (const char* where = std::getenv("TESSERA_SCREENSHOT_DIR")) {
        page->grab().save(QString::fromStdString(std::string(where) + "/logger-running.png"));
    }
    page->StopButton()->click();
    EXPECT_FALSE(page->Model().Running());
    EXPECT_TRUE(page->CsvSaveButton()->isEnabled());
    EXPECT_TRUE(page->PrintButton()->isEnabled());
}

}  // namespace
}  // namespace tessera::logger
