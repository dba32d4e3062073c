// The logging run with a scripted meter and a hand-moved clock: poll schedule, catch-up
// polls, the three sampling methods, the drop of empty readings, Stop and its trim, the
// automatic stops, the save questions around Start, and the division bookkeeping.

#include <gtest/gtest.h>

#include <cmath>

#include "LoggerTestSupport.h"
#include "tests/support/ScriptedPrompter.h"

namespace tessera::logger {
namespace {

using test::FakeMeterPort;
using test::MeterRecord;

class LoggerRun : public ::testing::Test {
protected:
    FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    LoggerModel model{meter, prompter, clock};

    void SetUp() override {
        clock.millis = 1000;
        clock.now = {2012, 5, 3, 9, 5, 7, 0, 4};
    }

    // Chooses the meter's slow code, the period and the method, then starts.
    void StartRun(char slow, int period, int method, char unit = '0') {
        meter.current = MeterRecord(slow, 0, unit);
        model.Refresh();
        model.SelectPeriod(period);
        model.SelectMethod(method);
        ASSERT_EQ(model.PeriodIndex(), period);
        ASSERT_EQ(model.SamplingMethod(), method);
        ASSERT_TRUE(model.Start());
    }

    // One scheduled poll: the clock moves to the next slot and the timer fires.
    void Poll(int n = 1) {
        for (int i = 0; i < n; ++i) {
            if (model.PollCount() > 0) clock.millis += model.CurrentSchedule().pollPeriodMs;
            model.Tick(clock.millis);
        }
    }

    const link::LogSample& Slot(int i) const { return link::LogSampleStore[i]; }
};

TEST_F(LoggerRun, FixedIntervalAtTenSecondsTakesEverySecondPoll) {
    StartRun('0', 2, kFixedInterval);
    for (int i = 1; i <= 9; ++i) meter.Queue(i * 1e-7, 0, 0);
    Poll(9);
    EXPECT_EQ(model.SampleCount(), 5);
    EXPECT_NEAR(Slot(0).x, 1e-7, 1e-18);  // the first reading is the first sample
    EXPECT_NEAR(Slot(1).x, 3e-7, 1e-18);
    EXPECT_NEAR(Slot(2).x, 5e-7, 1e-18);
    EXPECT_NEAR(Slot(4).x, 9e-7, 1e-18);
    EXPECT_EQ(Slot(4).index, 4);
    EXPECT_EQ(Slot(5).index, 0);
    EXPECT_EQ(meter.identifyCalls, 9);
}

TEST_F(LoggerRun, OneMinuteWithSlowResponseAlternatesTwoAndOnePolls) {
    StartRun('1', 4, kFixedInterval);
    EXPECT_EQ(model.CurrentSchedule().pollPeriodMs, 2000);
    for (int i = 1; i <= 10; ++i) meter.Queue(i * 1e-7, 0, 0);
    Poll(10);
    // Polls 3, 4, 6, 7, 9, 10 complete samples: 2, 1, 2, 1 ... polls apart.
    const int expected[] = {1, 3, 4, 6, 7, 9, 10};
    ASSERT_EQ(model.SampleCount(), 7);
    for (int s = 0; s < 7; ++s) EXPECT_NEAR(Slot(s).x, expected[s] * 1e-7, 1e-18) << s;
}

TEST_F(LoggerRun, AverageIsTheRootMeanSquareOfThePeriod) {
    StartRun('1', 5, kAverage, '2');  // 2 min/div, slow on: three polls per sample
    meter.Queue(1.0, 1.0, 0.0);
    meter.Queue(3.0, 1.0, 0.0);
    meter.Queue(4.0, 1.0, 0.0);
    meter.Queue(0.0, 1.0, 0.0);
    meter.Queue(2.0, 1.0, 0.0);
    Poll(4);
    ASSERT_EQ(model.SampleCount(), 2);
    EXPECT_DOUBLE_EQ(Slot(1).x, 2.887);
    EXPECT_DOUBLE_EQ(Slot(1).y, 1.0);
    EXPECT_EQ(Slot(1).z, 0.0);
    // R is averaged as its own channel: sqrt(10), sqrt(17) and 1.
    EXPECT_DOUBLE_EQ(Slot(1).R, RoundFour(std::sqrt((3.162 * 3.162 + 4.123 * 4.123 + 1.0) / 3.0)));
    EXPECT_EQ(Slot(1).index, 1);
    // The next period's running value is in slot 2, not yet a sample.
    Poll(1);
    EXPECT_DOUBLE_EQ(Slot(2).x, 2.0);
    EXPECT_EQ(Slot(2).index, 0);
    EXPECT_EQ(model.SampleCount(), 2);
}

TEST_F(LoggerRun, MaximumKeepsTheLargestOfEachChannel) {
    StartRun('1', 5, kMaximum, '2');
    meter.Queue(1.0, 1.0, 1.0);
    meter.Queue(3.0, 0.5, 0.1);
    meter.Queue(1.0, 2.0, 0.1);
    meter.Queue(2.0, 0.5, 0.2);
    Poll(4);
    ASSERT_EQ(model.SampleCount(), 2);
    EXPECT_DOUBLE_EQ(Slot(1).x, 3.0);
    EXPECT_DOUBLE_EQ(Slot(1).y, 2.0);
    EXPECT_DOUBLE_EQ(Slot(1).z, 0.2);
    EXPECT_DOUBLE_EQ(Slot(1).R, Resultant(3.0, 0.5, 0.1));
}

TEST_F(LoggerRun, AllZeroReadingMakesNoSample) {
    StartRun('0', 0, kFixedInterval);
    meter.Queue(0, 0, 0);
    meter.Queue(5e-11, 0, 0);
    meter.Queue(1e-6, 0, 0);
    Poll(3);
    EXPECT_EQ(model.SampleCount(), 1);
    EXPECT_NEAR(Slot(0).x, 1e-6, 1e-18);
    EXPECT_EQ(model.PollCount(), 3u);
}

TEST_F(LoggerRun, StopDiscardsAnUnfinishedPeriod) {
    StartRun('1', 5, kAverage, '2');
    meter.Queue(1.0, 0, 0);
    meter.Queue(3.0, 0, 0);
    meter.Queue(4.0, 0, 0);
    meter.Queue(5.0, 0, 0);
    meter.Queue(6.0, 0, 0);
    Poll(2);  // slot 0, and one poll of the next period
    model.Stop();
    EXPECT_EQ(model.SampleCount(), 0);  // the last valid slot
    EXPECT_EQ(Slot(1).x, 0.0);
    EXPECT_EQ(model.DataState(), page::DataState::Unsaved);
}

TEST_F(LoggerRun, StopRightAfterACompletedPeriodKeepsThatSample) {
    StartRun('1', 5, kMaximum, '2');
    for (double v : {1.0, 3.0, 4.0, 5.0}) meter.Queue(v, 0, 0);
    Poll(4);  // slot 0 and one complete period (polls 2..4)
    ASSERT_EQ(model.SampleCount(), 2);
    model.Stop();
    EXPECT_EQ(model.SampleCount(), 1);
    EXPECT_DOUBLE_EQ(Slot(1).x, 5.0);
    EXPECT_TRUE(model.ControlState().csvSave);
    EXPECT_EQ(meter.Logging(), (std::vector<bool>{true, false}));
}

TEST_F(LoggerRun, SlowExchangeIsFollowedByCatchUpPolls) {
    StartRun('0', 0, kFixedInterval);  // every poll a sample
    meter.Queue(1e-6, 0, 0);
    meter.Queue(2e-6, 0, 0);
    meter.Queue(3e-6, 0, 0);
    Poll(2);
    ASSERT_EQ(model.SampleCount(), 2);
    // The next exchange took a second: four slots are due at once.
    clock.millis += 250 + 1000;
    for (int i = 0; i < 6; ++i) model.Tick(clock.millis);
    EXPECT_EQ(model.PollCount(), 7u);
    EXPECT_EQ(model.SampleCount(), 7);
    EXPECT_EQ(meter.identifyCalls, 3);  // four catch-up polls repeated the last reading
    for (int s = 2; s < 6; ++s) EXPECT_NEAR(Slot(s).x, 2e-6, 1e-18) << s;
    EXPECT_NEAR(Slot(6).x, 3e-6, 1e-18);
    // Nothing more is due until the clock moves on.
    model.Tick(clock.millis);
    EXPECT_EQ(model.PollCount(), 7u);
    EXPECT_EQ(model.MillisUntilNextPoll(clock.millis), 250u);
}

TEST_F(LoggerRun, SensorRemovedStopsAndKeepsTheSamples) {
    StartRun('0', 0, kFixedInterval);
    meter.Queue(1e-6, 0, 0);
    meter.Queue(2e-6, 0, 0);
    auto removed = meter.current;
    removed.sensor = '0';
    meter.readings.push_back(removed);
    Poll(3);
    EXPECT_FALSE(model.Running());
    EXPECT_FALSE(link::loggerRunning);
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"The sensor was removed."}));
    EXPECT_EQ(model.SampleCount(), 1);
    EXPECT_EQ(model.DataState(), page::DataState::Unsaved);
    EXPECT_EQ(meter.Logging().back(), false);
}

TEST_F(LoggerRun, FailedReadStopsWithTheConnectionMessage) {
    StartRun('0', 0, kFixedInterval);
    meter.Queue(1e-6, 0, 0);
    meter.identifyStatus = {link::kStatusOk, link::kStatusOk, link::kStatusNoDevice};
    Poll(3);
    EXPECT_FALSE(model.Running());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Connection failed. Please connect the QM8620 again."}));
    EXPECT_EQ(model.SampleCount(), 1);
    EXPECT_TRUE(model.HasData());
}

// After a lost meter the page repaints, and with it reads the meter's settings: there are
// none, so Start goes grey (Entire Read's Read does the same).
TEST_F(LoggerRun, LostMeterLeavesStartDisabled) {
    StartRun('0', 0, kFixedInterval);
    meter.Queue(1e-6, 0, 0);
    Poll(2);
    meter.Disconnect();
    meter.identifyStatus = {link::kStatusNoDevice};
    Poll(1);
    ASSERT_FALSE(model.Running());
    EXPECT_FALSE(model.ControlState().start);
    EXPECT_TRUE(model.ControlState().fileRead);
}

// The run's time is the sum of the millisecond counter's steps between ticks, so it goes on
// past the counter's own wrap and past its whole span (2^32 ms, 49.7 days; 1 h/div fills the
// store in 66.6). Here the span passes in three long steps (a machine asleep): every slot
// since the start is due, and the run goes on polling to catch up.
TEST_F(LoggerRun, RunLongerThanTheMillisecondCounterGoesOnPolling) {
    clock.millis = 0xFFFF0000u;  // the counter wraps within the first minute
    StartRun('1', 9, kFixedInterval);
    meter.Queue(1e-6, 0, 0);
    Poll(1);
    for (std::uint32_t step : {1431659098u, 1431659099u, 1431659099u}) {  // 2^32 ms + 10 s in all
        clock.millis += step;
        model.Tick(clock.millis);
    }
    for (int i = 0; i < 200; ++i) model.Tick(clock.millis);
    EXPECT_EQ(model.PollCount(), 204u);
    EXPECT_EQ(model.SampleCount(), 3);  // polls 1, 91 and 181: a sample every 90 polls of 2 s
    EXPECT_EQ(model.MillisUntilNextPoll(clock.millis), 0u);
}

TEST_F(LoggerRun, FullRunStopsAtTheLimit) {
    StartRun('0', 0, kFixedInterval);
    meter.Queue(1e-6, 2e-6, 3e-6);
    int polls = 0;
    while (model.Running() && polls < 40000) {
        Poll();
        ++polls;
    }
    EXPECT_EQ(polls, 31999);
    EXPECT_EQ(model.SampleCount(), 31998);  // slots 0..31998 hold the 31999 samples
    EXPECT_EQ(Slot(31998).index, 31998);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"The number of data sets is over the limit. \nThis software supports up to "
                                        "32000 sets of data."}));
    // Four samples per division at 1 s/div: the window scrolled to the newest division.
    EXPECT_EQ(model.DivisionCount(), 31998 / 4 + 1);
    EXPECT_EQ(model.ScrollDivision(), model.DivisionCount() - 12);
}

TEST_F(LoggerRun, StartRefusesWithoutMeterOrSensor) {
    meter.refreshStatus = link::kStatusNoDevice;
    EXPECT_FALSE(model.Start());
    meter.refreshStatus = link::kStatusOk;
    meter.current.sensor = '0';
    EXPECT_FALSE(model.Start());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Connection failed. Please connect the QM8620 again.",
                                                             "No sensor is attached."}));
    EXPECT_TRUE(meter.Logging().empty());
    EXPECT_FALSE(link::loggerRunning);
}

TEST_F(LoggerRun, CancelledSaveQuestionAtStartKeepsTheDataAndEndsLogging) {
    StartRun('0', 0, kFixedInterval);
    meter.Queue(1e-6, 0, 0);
    Poll(3);
    model.Stop();
    prompter.answers.push_back(page::Answer::Cancel);
    EXPECT_FALSE(model.Start());
    EXPECT_EQ(prompter.Questions(), (std::vector<std::string>{"Do you want to save the displayed data?"}));
    EXPECT_EQ(model.DataState(), page::DataState::Unsaved);
    EXPECT_EQ(model.SampleCount(), 2);
    // "LOG 1" went out before the question; the meter is told again that nothing runs.
    EXPECT_EQ(meter.Logging(), (std::vector<bool>{true, false, true, false}));
}

TEST_F(LoggerRun, DiscardedDataLeaveTheScaleToTheMeter) {
    // A run that ended on the 2 mT scale, then the meter back on its 2 uT range.
    StartRun('0', 2, kFixedInterval);
    auto r = meter.current;
    r.range = 3;
    r.value1 = 1e-3;
    meter.readings.push_back(r);
    Poll(3);
    model.Stop();
    ASSERT_EQ(model.GraphScale().scaleIndex, 3);
    meter.current.range = 0;
    meter.readings.clear();
    meter.Queue(1e-6, 0, 0);

    // "No" to the save question of Start: the new run's scale is the meter's.
    prompter.answers.push_back(page::Answer::No);
    ASSERT_TRUE(model.Start());
    EXPECT_EQ(model.GraphScale().scaleIndex, 0);
    Poll(3);
    model.Stop();

    // "No" to the save question of a method change: no data, so the meter's scale again.
    meter.current.range = 2;
    prompter.answers.push_back(page::Answer::No);
    model.SelectMethod(kAverage);
    ASSERT_EQ(model.DataState(), page::DataState::None);
    EXPECT_EQ(model.GraphScale().scaleIndex, 2);
}

TEST_F(LoggerRun, SlowResponseMakesTheFastPeriodsUnselectable) {
    meter.current = MeterRecord('1');
    model.Refresh();
    const auto& items = model.ControlState().comboItems;
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0], "1s/div (unselected)");
    EXPECT_EQ(items[1], "5s/div (unselected)");
    model.SelectPeriod(6);
    model.SelectPeriod(0);
    EXPECT_EQ(model.PeriodIndex(), 6);
    model.SelectPeriod(1);
    EXPECT_EQ(model.PeriodIndex(), 6);
    // 10 s/div with slow response: one poll per sample, so fixed interval only.
    model.SelectMethod(kAverage);
    EXPECT_EQ(model.SamplingMethod(), kAverage);
    model.SelectPeriod(2);
    EXPECT_EQ(model.SamplingMethod(), kFixedInterval);
    EXPECT_FALSE(model.ControlState().averageEnabled);
    model.SelectMethod(kMaximum);
    EXPECT_EQ(model.SamplingMethod(), kFixedInterval);
}

TEST_F(LoggerRun, TwelfthDivisionFillsTheWindowAndTheNextScrolls) {
    StartRun('0', 1, kFixedInterval);  // 5 s/div: 20 samples per division, one per poll
    meter.Queue(1e-6, 0, 0);
    Poll(1 + 12 * 20 - 1);
    EXPECT_EQ(model.ScrollDivision(), 0);
    EXPECT_EQ(model.VisibleDivisionsFilled(), 11);
    EXPECT_FALSE(model.ControlState().scrollEnabled);
    model.TakeDrawRequests();
    Poll(1);  // the twelfth division completes: the view moves on by one
    EXPECT_EQ(model.ScrollDivision(), 1);
    EXPECT_TRUE(model.ControlState().scrollEnabled);
    EXPECT_EQ(model.ControlState().scrollMax, 1);
    EXPECT_TRUE(model.TakeDrawRequests().full);
    // Looking back: new samples are stored, not drawn, and the thumb stays.
    model.ScrollLeft();
    model.TakeDrawRequests();
    Poll(20);
    EXPECT_EQ(model.ScrollDivision(), 0);
    EXPECT_EQ(model.ControlState().scrollMax, 2);
    EXPECT_TRUE(model.TakeDrawRequests().newSegments.empty());
    model.ScrollRight();
    model.ScrollRight();
    model.ScrollRight();
    EXPECT_EQ(model.ScrollDivision(), 2);
}

TEST_F(LoggerRun, RangeChangesStepTheScaleUpButNeverDown) {
    StartRun('0', 0, kFixedInterval);
    meter.current.range = 10;  // auto range, now at index 0
    auto r = meter.current;
    r.value1 = 1e-6;
    meter.readings.push_back(r);
    r.range = 12;
    r.value1 = 150e-6;
    meter.readings.push_back(r);
    r.range = 10;
    r.value1 = 1e-6;
    meter.readings.push_back(r);
    Poll(2);
    EXPECT_EQ(model.GraphScale().scaleIndex, 2);
    Poll(1);
    EXPECT_EQ(model.GraphScale().scaleIndex, 2);
    model.Stop();
    EXPECT_EQ(model.Snapshot().range, 2);  // the snapshot keeps the scale (fixed range 0 here)
}

}  // namespace
}  // namespace tessera::logger
