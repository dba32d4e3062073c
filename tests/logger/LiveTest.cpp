// The logging run against the virtual meter over the real transport: the poll schedule on
// the wire, slow response, the sensor taken away and the meter unplugged mid-run.

#include <gtest/gtest.h>

#include <algorithm>

#include "link/Link.h"
#include "logger/LoggerModel.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::logger {
namespace {

class LoggerLive : public ::testing::Test {
protected:
    testing::VirtualMeter meter;
    link::Link link;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    std::unique_ptr<LoggerModel> model;

    void SetUp() override {
        ASSERT_TRUE(meter.Start()) << meter.LastError();
        ASSERT_TRUE(link.BindTransportPath(testing::VirtualMeter::BulklinkPath()));
        ASSERT_TRUE(link.OpenSession());
        ASSERT_TRUE(meter.SetField(1.0e-6, 2.0e-6, 3.0e-6));
        clock.millis = 100;
        clock.now = {2012, 5, 3, 9, 5, 7, 0, 4};
        model = std::make_unique<LoggerModel>(link, prompter, clock);
    }

    void Poll(int n) {
        for (int i = 0; i < n && model->Running(); ++i) {
            if (model->PollCount() > 0) clock.millis += model->CurrentSchedule().pollPeriodMs;
            model->Tick(clock.millis);
        }
    }

    int Count(const std::vector<std::string>& log, const std::string& command) {
        return static_cast<int>(std::count(log.begin(), log.end(), command));
    }
};

TEST_F(LoggerLive, TenSecondsPerDivisionSamplesEverySecondPoll) {
    model->Refresh();
    model->SelectPeriod(2);
    ASSERT_TRUE(meter.ClearCommandLog());
    ASSERT_TRUE(model->Start());
    Poll(9);
    EXPECT_EQ(model->SampleCount(), 5);
    const auto& s = link::LogSampleStore[4];
    EXPECT_EQ(s.index, 4);
    EXPECT_NEAR(s.x, 1e-6, 1e-12);
    EXPECT_NEAR(s.z, 3e-6, 1e-12);
    EXPECT_NEAR(s.R, 3.742e-6, 1e-12);
    model->Stop();
    EXPECT_EQ(model->SampleCount(), 4);
    const auto log = meter.CommandLog();
    EXPECT_EQ(Count(log, "LOG 1"), 1);
    EXPECT_EQ(Count(log, "MEAS?"), 1 + 9);  // Start's refresh and one per poll
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "LOG 0");
    EXPECT_TRUE(prompter.events.empty());
}

TEST_F(LoggerLive, SlowResponseAlternatesTwoAndOnePollsAtOneMinute) {
    ASSERT_TRUE(meter.Set("slow", "1"));
    model->Refresh();
    EXPECT_EQ(model->ControlState().comboItems[0], "1s/div (unselected)");
    model->SelectPeriod(4);
    ASSERT_TRUE(model->Start());
    EXPECT_EQ(model->CurrentSchedule().pollPeriodMs, 2000);
    Poll(1 + 2 + 1 + 2 + 1);
    EXPECT_EQ(model->SampleCount(), 5);
    Poll(1);
    EXPECT_EQ(model->SampleCount(), 5);
    Poll(1);
    EXPECT_EQ(model->SampleCount(), 6);
}

// The meter's own readings folded on the wire: an average over the three polls of 3, 4 and
// 0 uT is their root mean square, and a reading without any field makes no sample at all.
TEST_F(LoggerLive, AverageOfTheMetersReadingsAndAnEmptyReading) {
    ASSERT_TRUE(meter.Set("slow", "1"));
    model->Refresh();
    model->SelectPeriod(5);  // 2 min/div with slow response: three polls per sample
    model->SelectMethod(kAverage);
    ASSERT_EQ(model->SamplingMethod(), kAverage);
    ASSERT_TRUE(model->Start());
    Poll(1);  // slot 0 is the first reading itself
    for (double x : {3e-6, 4e-6, 0.0}) {
        ASSERT_TRUE(meter.SetField(x, 1e-6, 0.0));
        Poll(1);
    }
    ASSERT_EQ(model->SampleCount(), 2);
    const auto& averaged = link::LogSampleStore[1];
    EXPECT_EQ(averaged.index, 1);
    EXPECT_NEAR(averaged.x, 2.887e-6, 1e-15);
    EXPECT_NEAR(averaged.y, 1e-6, 1e-15);

    ASSERT_TRUE(meter.SetField(0.0, 0.0, 0.0));
    Poll(3);
    EXPECT_EQ(model->PollCount(), 7u);
    EXPECT_EQ(model->SampleCount(), 2);
    EXPECT_EQ(link::LogSampleStore[2].R, 0.0);
    model->Stop();
    EXPECT_EQ(model->SampleCount(), 1);  // the last valid slot
    EXPECT_TRUE(prompter.events.empty());
}

TEST_F(LoggerLive, SensorRemovedMidRunKeepsTheSamples) {
    model->Refresh();
    model->SelectPeriod(0);
    ASSERT_TRUE(model->Start());
    Poll(3);
    ASSERT_TRUE(meter.SetSensor('0'));
    Poll(1);
    EXPECT_FALSE(model->Running());
    EXPECT_FALSE(link::loggerRunning);
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"The sensor was removed."}));
    EXPECT_EQ(model->SampleCount(), 2);
    EXPECT_EQ(model->DataState(), page::DataState::Unsaved);
    EXPECT_TRUE(model->ControlState().csvSave);
}

TEST_F(LoggerLive, UnpluggedMidRunStopsWithTheConnectionMessage) {
    model->Refresh();
    model->SelectPeriod(0);
    ASSERT_TRUE(model->Start());
    Poll(4);
    ASSERT_TRUE(meter.Unplug());
    Poll(1);
    EXPECT_FALSE(model->Running());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Connection failed. Please connect the QM8620 again."}));
    EXPECT_EQ(model->SampleCount(), 3);
    EXPECT_TRUE(model->HasData());
}

TEST_F(LoggerLive, BusyMeterIsAskedAgainNotSkipped) {
    model->Refresh();
    model->SelectPeriod(0);
    ASSERT_TRUE(model->Start());
    Poll(2);
    ASSERT_TRUE(meter.InjectFault("busy 3 MEAS?"));
    Poll(2);
    EXPECT_TRUE(model->Running());
    EXPECT_EQ(model->SampleCount(), 4);
}

}  // namespace
}  // namespace tessera::logger
