// The Survey page's model without a window: it follows a logging run sample by sample with
// the numbers a batch evaluation gives, starts over when the logger's data are replaced,
// shows the Entire Read table, and takes thresholds, references and cursors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "link/Stores.h"
#include "logger/LoggerModel.h"
#include "survey/SurveyModel.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/ScriptedPrompter.h"

namespace tessera::survey {
namespace {

class SurveyPage : public ::testing::Test {
protected:
    testing::FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    logger::LoggerModel logger{meter, prompter, clock};
    SurveyModel model{ProfileBook()};

    void SetUp() override {
        clock.millis = 1000;
        clock.now = {2024, 3, 1, 23, 59, 59, 0, 5};
        meter.current = testing::MeterRecord('0', 1, '0');  // 20 uT range, slow off
        logger.Refresh();
        logger.SelectPeriod(0);  // every poll (0.25 s) a sample
        model.SetLogger(&logger);
        model.ShowLogger();
    }
    // The meter answers the readings in order (the last one repeats).
    void Queue(std::initializer_list<double> microtesla) {
        for (double r : microtesla) meter.Queue(r * 1e-6, 0, 0);
    }
    void Poll() {
        if (logger.PollCount() > 0) clock.millis += logger.CurrentSchedule().pollPeriodMs;
        logger.Tick(clock.millis);
    }
};

TEST_F(SurveyPage, FollowsARunSampleBySampleWithTheBatchNumbers) {
    ASSERT_TRUE(logger.Start());
    EXPECT_FALSE(model.LoggerChanged());
    const auto readings = {0.5, 3.0, 0.25, 1.5, 0.0, 7.0, 2.0, 0.75, 1.0, 0.5};
    Queue(readings);
    std::size_t taken = 0;
    for (double r : readings) {
        Poll();
        const bool sample = r > 0;  // an all-zero reading makes no sample
        taken += sample ? 1 : 0;
        EXPECT_EQ(model.LoggerChanged(), sample);
        EXPECT_EQ(model.WholeStats().samples, taken);
    }
    logger.Stop();
    model.LoggerChanged();
    ASSERT_EQ(model.Shown().Size(), 9u);
    EXPECT_EQ(IsoLocal(model.Shown().TimeOf(1)), "2024-03-01T23:59:59.250");

    Request request;
    const Evaluation batch = Evaluate(model.Shown(), request);
    const Stats& live = model.WholeStats();
    EXPECT_EQ(*live.median, *batch.stats.median);
    EXPECT_EQ(*live.p95, *batch.stats.p95);
    EXPECT_EQ(*live.mean, *batch.stats.mean);
    EXPECT_EQ(*live.geometricMean, *batch.stats.geometricMean);
    EXPECT_EQ(live.max->sample, batch.stats.max->sample);
    EXPECT_EQ(live.durationMs, 9 * 250);

    // A new run replaces what was followed.
    prompter.answers.push_back(page::Answer::No);  // the unsaved samples are given up
    ASSERT_TRUE(logger.Start());
    meter.readings.clear();
    Queue({4.0});
    Poll();
    EXPECT_TRUE(model.LoggerChanged());
    EXPECT_EQ(model.Shown().Size(), 1u);
    EXPECT_DOUBLE_EQ(model.WholeStats().max->value, 4e-6);
}

TEST_F(SurveyPage, ThresholdsReferencesAndTheSpanBetweenTheCursors) {
    ASSERT_TRUE(logger.Start());
    Queue({0.1, 0.3, 0.5, 0.7});
    for (int i = 0; i < 4; ++i) Poll();
    logger.Stop();
    model.LoggerChanged();
    EXPECT_EQ(model.ShownUnit().name, "uT");  // a tesla file is read in microtesla

    std::string why;
    EXPECT_FALSE(model.SetThresholds("0.2uT, 5%", &why));
    EXPECT_NE(why.find("5%"), std::string::npos);
    ASSERT_TRUE(model.SetThresholds("0.2uT; 400 nT"));
    ASSERT_TRUE(model.SetReference("0.6uT"));
    ASSERT_EQ(model.WholeStats().above.size(), 2u);
    EXPECT_DOUBLE_EQ(model.WholeStats().above[0].percent, 75.0);
    EXPECT_DOUBLE_EQ(model.WholeStats().above[1].percent, 50.0);
    ASSERT_TRUE(model.WholeReference() && model.WholeReference()->limit);
    EXPECT_DOUBLE_EQ(model.WholeReference()->percentAbove, 25.0);
    const auto levels = model.Levels();
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[0].kind, Level::Limit);
    EXPECT_NEAR(levels[2].value, 0.4, 1e-12);  // in the unit shown

    model.SetCursors(3, 1);
    ASSERT_TRUE(model.SpanStats());
    EXPECT_EQ(model.SpanStats()->samples, 3u);
    EXPECT_NEAR(*model.SpanStats()->mean, 0.5e-6, 1e-18);
    const auto rows = model.Table();
    const auto mean = std::find_if(rows.begin(), rows.end(), [](const TableRow& r) { return r.label == "Mean"; });
    ASSERT_NE(mean, rows.end());
    EXPECT_EQ(mean->whole, "0.4000 uT");
    EXPECT_EQ(mean->span, "0.5000 uT");
    const std::string text = model.PageText();
    EXPECT_NE(text.find("Between the cursors"), std::string::npos);
    EXPECT_NE(text.find("Histogram (uT)"), std::string::npos);

    // In nanotesla the same samples read a thousand times more.
    ASSERT_TRUE(model.SetUnit("nT"));
    EXPECT_NE(model.PageText().find("400.0 nT"), std::string::npos);
    EXPECT_FALSE(model.SetUnit("%"));
}

TEST_F(SurveyPage, ShowsTheEntireReadTableAsRecords) {
    link::memoryStore[0] = testing::MeterRecord('0', 0, '0');
    link::memoryStore[1] = testing::MeterRecord('0', 0, '0');
    entire_read::recordValues[0] = {0, 1e-6, 0, 0, 1e-6};
    entire_read::recordValues[1] = {0, 1.5e-6, 0, 0, 1.5e-6};
    model.ShowEntireRead(2);
    EXPECT_EQ(model.CurrentSource(), Source::EntireRead);
    EXPECT_FALSE(model.Shown().Timed());
    EXPECT_EQ(model.WholeStats().samples, 2u);
    EXPECT_DOUBLE_EQ(*model.WholeStats().mean, 1.25e-6);
    const auto rows = model.Table();
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const TableRow& r) { return r.label == "From"; }));
    // Back to the logger: nothing was logged.
    model.ShowLogger();
    EXPECT_EQ(model.Shown().Size(), 0u);
}

}  // namespace
}  // namespace tessera::survey

namespace tessera::survey {
namespace {

// What a column of the graph shows: the least and largest sample whose time falls in it.
std::vector<Stroke> StrokesByHand(const SurveyModel& model, int columns) {
    std::vector<Stroke> strokes(static_cast<std::size_t>(columns));
    const Series& s = model.Shown();
    const double factor = Factor(s.StoredUnit(), model.ShownUnit());
    for (std::size_t i = 0; i < s.Size(); ++i) {
        Stroke& st =
            strokes[static_cast<std::size_t>(std::clamp(static_cast<int>(model.ColumnOf(i, columns)), 0, columns - 1))];
        const double v = s.Value(kR, i) * factor;
        st.low = st.any ? std::min(st.low, v) : v;
        st.high = st.any ? std::max(st.high, v) : v;
        st.any = true;
    }
    return strokes;
}

TEST_F(SurveyPage, TheGraphKeepsItsWindowAndStrokesAsARunGoesOn) {
    ASSERT_TRUE(logger.Start());
    for (int i = 0; i < 900; ++i) meter.Queue((1.0 + (i * 37) % 11) * 1e-7, 0, 0);
    const int columns = 97;
    std::pair<LocalMs, LocalMs> window{};
    for (int i = 0; i < 900; ++i) {
        Poll();
        model.LoggerChanged();
        if (i == 100) (void)model.Strokes(columns);  // a window the run outgrows
        if (i == 850) {
            (void)model.Strokes(columns);  // kept, and added to from here on
            window = model.TimeWindow();
        }
    }
    // 900 samples of 0.25 s from 23:59:59 end at 00:03:44: four steps of two minutes from
    // 23:58, the window since the run passed 00:03.
    EXPECT_EQ(IsoLocal(window.first), "2024-03-01T23:58:00");
    EXPECT_EQ(window.second - window.first, 8 * 60000);
    EXPECT_EQ(model.TimeWindow(), window);
    const std::vector<Stroke>& kept = model.Strokes(columns);
    const std::vector<Stroke> fresh = StrokesByHand(model, columns);
    for (int c = 0; c < columns; ++c) {
        EXPECT_EQ(kept[c].any, fresh[c].any) << c;
        EXPECT_DOUBLE_EQ(kept[c].low, fresh[c].low) << c;
        EXPECT_DOUBLE_EQ(kept[c].high, fresh[c].high) << c;
    }
    const auto ticks = model.TimeTicks();
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_EQ(IsoLocal(ticks[1]), "2024-03-02T00:00:00");

    // Bins of a tenth of a decade hold every sample once.
    std::size_t counted = 0;
    for (const Bin& b : model.Histogram()) {
        EXPECT_NEAR(b.high / b.low, std::pow(10.0, 0.1), 1e-12);
        counted += b.count;
    }
    EXPECT_EQ(counted, model.WholeStats().samples);
    // The first sample of a column lies in that column.
    const std::size_t first = model.SampleAtColumn(60, columns);
    EXPECT_GE(model.ColumnOf(first, columns), 60.0);
    EXPECT_LT(model.ColumnOf(first - 1, columns), 60.0);
}

}  // namespace
}  // namespace tessera::survey
