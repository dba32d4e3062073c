// The logger's fixed tables, rounding, display resolution, plot geometry, cursor snapping
// and the readout's calendar arithmetic.

#include <gtest/gtest.h>

#include <cmath>

#include "logger/Geometry.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"

namespace tessera::logger {
namespace {

TEST(LoggerTables, DerivedCountersForEveryPeriod) {
    struct Row {
        int h2dOff, h2dOn, hppsOff, hppsOn, spdOff, spdOn;
    };
    // clang-format off
    const Row rows[kPeriods] = {
        {8, 1, 0, 0, 4, 0},          {40, 5, 2, 0, 20, 2},        {80, 10, 4, 0, 20, 5},
        {160, 20, 8, 1, 20, 10},     {480, 60, 24, 3, 20, 20},    {960, 120, 48, 6, 20, 20},
        {2400, 300, 120, 15, 20, 20}, {4800, 600, 240, 30, 20, 20}, {9600, 1200, 480, 60, 20, 20},
        {28800, 3600, 1440, 180, 20, 20},
    };
    // clang-format on
    for (int i = 0; i < kPeriods; ++i) {
        const Schedule off = MakeSchedule('0', i);
        const Schedule on = MakeSchedule('1', i);
        EXPECT_EQ(off.pollPeriodMs, 250);
        EXPECT_EQ(on.pollPeriodMs, 2000);
        EXPECT_EQ(off.halfPollsPer2Div, rows[i].h2dOff) << i;
        EXPECT_EQ(on.halfPollsPer2Div, rows[i].h2dOn) << i;
        EXPECT_EQ(off.halfPollsPerSample, rows[i].hppsOff) << i;
        EXPECT_EQ(on.halfPollsPerSample, rows[i].hppsOn) << i;
        EXPECT_EQ(off.samplesPerDivision, rows[i].spdOff) << i;
        EXPECT_EQ(on.samplesPerDivision, rows[i].spdOn) << i;
    }
}

TEST(LoggerTables, PeriodTextsAndWhatThePeriodsAllow) {
    EXPECT_EQ(PeriodItemText('0', 0), "1s/div (about 2.2h)");
    EXPECT_EQ(PeriodItemText('1', 0), "1s/div (unselected)");
    EXPECT_EQ(PeriodItemText('1', 1), "5s/div (unselected)");
    EXPECT_EQ(PeriodItemText('1', 2), "10s/div (about 17.7h)");
    EXPECT_EQ(PeriodItemText('0', 9), "1h/div (about 66.6days)");
    EXPECT_EQ(PeriodItemText('2', 4), "");
    EXPECT_EQ(PeriodShortText('0', 2), "10s/div ");
    EXPECT_EQ(PeriodFileText('0', 2), "0.5s[10s/div]");
    EXPECT_EQ(PeriodFileText('1', 3), "2s[20s/div]");
    EXPECT_EQ(PeriodFileText('2', 3), "");
    EXPECT_EQ(PeriodFileText('1', 8), "1min[20min/div]");

    EXPECT_FALSE(PeriodSelectable('1', 0));
    EXPECT_FALSE(PeriodSelectable('1', 1));
    EXPECT_TRUE(PeriodSelectable('0', 0));
    EXPECT_FALSE(PeriodAllowsFolding('0', 1));
    EXPECT_TRUE(PeriodAllowsFolding('0', 2));
    EXPECT_FALSE(PeriodAllowsFolding('1', 3));
    EXPECT_TRUE(PeriodAllowsFolding('1', 4));
}

TEST(LoggerTables, FourSignificantDigitsHalfUp) {
    EXPECT_DOUBLE_EQ(RoundFour(std::sqrt(25.0 / 3.0)), 2.887);
    EXPECT_DOUBLE_EQ(RoundFour(std::sqrt(12.5)), 3.536);  // 3.5355...
    EXPECT_NEAR(RoundFour(1.23456e-6), 1.235e-6, 1e-15);
    EXPECT_NEAR(Resultant(1.23e-7, 4.56e-7, 7.89e-7), 9.196e-7, 1e-16);
    EXPECT_DOUBLE_EQ(RoundFour(9.9996), 10.0);
    EXPECT_DOUBLE_EQ(RoundFour(12345.6), 12345.6);  // five digits and more are kept
    EXPECT_DOUBLE_EQ(RoundFour(5e-10), 5e-10);      // tiny R stays as it is
    EXPECT_DOUBLE_EQ(RoundFour(5e-10, true), 0.0);  // a tiny running average is zero
}

TEST(LoggerTables, DisplayResolutionOfEachScale) {
    EXPECT_EQ(FormatDisplay(1.23456e-6, '0', 0), "1.235E-6");
    EXPECT_NEAR(Quantise(1.23456e-6, '0', 0), 1.235e-6, 1e-18);
    EXPECT_EQ(FormatDisplay(1.23456e-3, '0', 3), "1.235E-3");
    EXPECT_EQ(FormatDisplay(0.0123456, '1', 0), "12.35E-3");
    EXPECT_EQ(FormatDisplay(1.23456, '1', 2), "1.235");
    EXPECT_EQ(FormatDisplay(12.3456, '1', 3), "12.35");
    EXPECT_EQ(FormatDisplay(123.456, '2', 2), "123.5");
    EXPECT_EQ(FormatDisplay(1234.56, '3', 3), "1235");
    EXPECT_EQ(RangeText('1', 2), "2.000G");
    EXPECT_EQ(RangeText('2', 3), "1600A/m");
    EXPECT_EQ(RangeText('4', 0), "");
}

TEST(LoggerGeometry, GridBandsAndFullScaleLine) {
    const PlotArea area{90, 160, 690, 412};
    const Scale am = Scale::AtStart('2', 0);
    EXPECT_EQ(am.hDivisions, 7);
    EXPECT_EQ(am.fullScaleLine, 4);
    EXPECT_DOUBLE_EQ(am.fullScale, 1.6);
    EXPECT_DOUBLE_EQ(am.TopValue(), 2.8);
    EXPECT_EQ(GridY(area, am, am.fullScaleLine), 412 - 144);
    const Scale t = Scale::AtStart('0', 2);
    EXPECT_EQ(t.hDivisions, 9);
    EXPECT_EQ(t.fullScaleLine, 5);
    EXPECT_NEAR(t.fullScale, 200e-6, 1e-15);
    EXPECT_EQ(GridY(area, t, t.fullScaleLine), 412 - 140);
    // A value at the full scale lies exactly on the full-scale line.
    EXPECT_EQ(ValueY(area, t, 200e-6, false), GridY(area, t, 5));
}

TEST(LoggerGeometry, ScaleAtStartAndStepping) {
    Scale fixed = Scale::AtStart('0', 1);
    EXPECT_EQ(fixed.scaleIndex, 1);
    EXPECT_NEAR(fixed.maxFullScale, 20e-6, 1e-15);
    Scale autoRange = Scale::AtStart('1', 12);
    EXPECT_EQ(autoRange.scaleIndex, 0);
    EXPECT_DOUBLE_EQ(autoRange.fullScale, 0.02);
    EXPECT_DOUBLE_EQ(autoRange.maxFullScale, 20.0);
    for (int i = 0; i < 5; ++i) autoRange.StepUp();
    EXPECT_EQ(autoRange.scaleIndex, 3);
    EXPECT_DOUBLE_EQ(autoRange.fullScale, 20.0);
}

TEST(LoggerGeometry, ClippingAgainstTheLimits) {
    const PlotArea area{90, 160, 690, 412};
    const Scale s = Scale::AtStart('0', 0);  // 2 uT, top 3.6 uT
    // z twice the full scale at both ends: clipped, flat on the full-scale line.
    EXPECT_TRUE(SegmentClipped(s, 4e-6, 4e-6, false));
    EXPECT_EQ(ValueY(area, s, 4e-6, false), GridY(area, s, 5));
    // One end inside: an ordinary segment.
    EXPECT_FALSE(SegmentClipped(s, 1e-6, 4e-6, false));
    // R may rise to the top of the graph before it counts as clipped.
    EXPECT_FALSE(SegmentClipped(s, 3e-6, 3e-6, true));
    EXPECT_TRUE(SegmentClipped(s, 5e-6, 5e-6, true));
    EXPECT_EQ(ValueY(area, s, 1.0, true), 412 - 252 + 1);
    EXPECT_EQ(ValueY(area, s, 0.0, false), 411);
}

TEST(LoggerGeometry, TimePositionsStayInsideThePlot) {
    const PlotArea area{90, 160, 690, 412};
    EXPECT_EQ(TimeX(area, {20, 0}, 0), 91);
    EXPECT_EQ(TimeX(area, {20, 0}, 20), 140);
    EXPECT_EQ(TimeX(area, {20, 0}, 1), 92);     // 2.5 pixels per sample, truncated
    EXPECT_EQ(TimeX(area, {20, 0}, 240), 688);  // the right edge keeps two pixels free
    EXPECT_EQ(TimeX(area, {20, 3}, 60), 91);
    EXPECT_EQ(TimeX(area, {4, 0}, 4), 140);
}

TEST(LoggerGeometry, SnappingPicksTheDrawnSampleAndTheMiddleRule) {
    const PlotArea area{90, 160, 690, 412};
    // 10 samples per division: samples every 5 pixels, the middle is 2 pixels on.
    EXPECT_EQ(*SnapToSample(area, 10, 90 + 1), 0);
    EXPECT_EQ(*SnapToSample(area, 10, 90 + 5 + 2), 1);  // exact middle: the earlier one
    EXPECT_EQ(*SnapToSample(area, 10, 90 + 5 + 3), 2);
    EXPECT_EQ(*SnapToSample(area, 10, 90 + 550 + 5 + 2), 112);  // twelfth division: the later
    EXPECT_EQ(*SnapToSample(area, 10, 90 + 550 + 5 + 1), 111);
    EXPECT_EQ(*SnapToSample(area, 10, 688), 120);
    EXPECT_FALSE(SnapToSample(area, 0, 100).has_value());
    // Whatever pixel is clicked, the readout finds the sample drawn where the cursor lands.
    for (int L : {4, 5, 10, 20}) {
        for (int x = 91; x <= 688; ++x) {
            const int local = *SnapToSample(area, L, x);
            EXPECT_EQ(LocalSampleAt(area, L, LocalSampleX(area, L, local)), local) << L << " " << x;
        }
    }
    EXPECT_FALSE(area.Contains(90, 300));
    EXPECT_FALSE(area.Contains(690, 300));
    EXPECT_FALSE(area.Contains(300, 413));
    EXPECT_TRUE(area.Contains(91, 160));
}

TEST(LoggerReadout, CalendarCarries) {
    StartTime t{2011, 12, 31, 6, 23, 59, 0};
    const StartTime next = AddSeconds(t, 90);
    EXPECT_EQ(next.year, 2012);
    EXPECT_EQ(next.month, 1);
    EXPECT_EQ(next.day, 1);
    EXPECT_EQ(ReadoutDateTime(next), "2012/01/01  00:00:30");
    EXPECT_EQ(ReadoutDateTime(AddSeconds({2012, 2, 28, 2, 23, 0, 0}, 3600)), "2012/02/29  00:00:00");
    EXPECT_EQ(ReadoutDateTime(AddSeconds({2013, 2, 28, 4, 23, 0, 0}, 3600)), "2013/03/01  00:00:00");
    EXPECT_EQ(ReadoutDateTime(AddSeconds({2012, 4, 30, 1, 12, 0, 0}, 86400)), "2012/05/01  12:00:00");
    // A month 0 from a file must not stall the readout.
    const StartTime odd = AddSeconds({2012, 0, 31, 1, 23, 59, 59}, 66 * 86400);
    EXPECT_GE(odd.month, 1);
    EXPECT_LE(odd.month, 12);
}

TEST(LoggerReadout, ValuesUnitsAndOverRange) {
    link::LogSample s{5, 0.5e-3, 1.0e-3, 2.5e-3, 2.748e-3};
    // 2 mT top range: x 2.5 mT is over range, and so is R.
    EXPECT_EQ(ReadoutValues({5, 2.5e-3, 1.0e-3, 0.5e-3, 2.748e-3}, '0', 3, 2e-3),
              "   R:O.L., x:O.L., y:1.000E-3, z:0.500E-3   Unit:T");
    EXPECT_EQ(ReadoutValues(s, '0', 3, 2e-3), "   R:O.L., x:0.500E-3, y:1.000E-3, z:O.L.   Unit:T");
    EXPECT_EQ(ReadoutValues({1, 1.235e-6, 0.0, 0.0, 1.235e-6}, '0', 0, 2e-6),
              "   R:1.235E-6, x:1.235E-6, y:0.000E-6, z:0.000E-6   Unit:T");
    EXPECT_EQ(ReadoutValues({1, 12.0, 1.0, 2.0, 12.21}, '2', 3, 1600.0), "   R:12, x:12, y:1, z:2   Unit:A/m");
    EXPECT_EQ(ReadoutValues({1, 3000.0, 1.0, 2.0, 3000.0}, '3', 3, 2000.0), "   R:O.L., x:O.L., y:1, z:2   Unit:%");
}

}  // namespace
}  // namespace tessera::logger
