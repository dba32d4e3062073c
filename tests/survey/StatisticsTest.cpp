// The statistics' definitions on small series worked out by hand, and the same numbers
// whether they were counted sample by sample or over the whole series at once.

#include <gtest/gtest.h>

#include "survey/Evaluation.h"
#include "survey/Statistics.h"

namespace tessera::survey {
namespace {

// A timed series of R values (x, y, z zero), one second apart from `start`; `over` marks
// the samples that read "O.L.".
Series Timed(const std::vector<double>& r, LocalMs start = ToLocalMs({2024, 3, 1, 23, 59, 58}),
             const std::vector<bool>& over = {}) {
    Series s(*UnitNamed("uT"));
    s.BeginPart({"test", 0, 0, 1, true, start, 1000, '0'});
    for (std::size_t i = 0; i < r.size(); ++i)
        s.Append({0, 0, 0, r[i]}, i < over.size() && over[i] ? ChannelOf(kR) : std::uint8_t{0});
    return s;
}

Stats All(const Series& s, const std::vector<double>& thresholds = {}) {
    return Compute(s, kR, {{0, s.Size()}}, thresholds);
}

TEST(SurveyStatistics, MedianOfAnEvenCountAndPercentileByTheSpreadsheetRule) {
    const Stats s = All(Timed({4, 1, 3, 2}));
    EXPECT_DOUBLE_EQ(*s.median, 2.5);  // between the two middle ranks
    // rank (4-1)·0.95 = 2.85: 3 + 0.85·(4-3)
    EXPECT_DOUBLE_EQ(*s.p95, 3.85);
    // PERCENTILE.INC({1..10}, 0.95) = 9.55, MEDIAN = 5.5
    const Stats ten = All(Timed({10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_DOUBLE_EQ(*ten.p95, 9.55);
    EXPECT_DOUBLE_EQ(*ten.median, 5.5);
    EXPECT_DOUBLE_EQ(*All(Timed({7})).p95, 7.0);
}

TEST(SurveyStatistics, HiFiveIsTheMeanOfTheFiveLargestOrOfAllWhenFewer) {
    EXPECT_DOUBLE_EQ(*All(Timed({1, 2, 3})).hi5, 2.0);
    EXPECT_DOUBLE_EQ(*All(Timed({6, 1, 5, 2, 4, 3})).hi5, 4.0);  // 6 5 4 3 2
    EXPECT_DOUBLE_EQ(*All(Timed({9, 9, 1, 9, 9, 9, 9})).hi5, 9.0);
}

TEST(SurveyStatistics, GeometricMeanLeavesOutSamplesAtOrBelowZeroAndSaysHowMany) {
    const Stats s = All(Timed({0, 4, 1, 0}));
    EXPECT_NEAR(*s.geometricMean, 2.0, 1e-12);
    EXPECT_EQ(s.geometricLeftOut, 2u);
    EXPECT_DOUBLE_EQ(*s.mean, 1.25);  // the arithmetic mean keeps the zeros
    const Stats zeros = All(Timed({0, 0}));
    EXPECT_FALSE(zeros.geometricMean);
    EXPECT_EQ(zeros.geometricLeftOut, 2u);
    EXPECT_EQ(zeros.samples, 2u);
}

TEST(SurveyStatistics, OverRangeReadingsAreLeftOutAndCounted) {
    const Series s = Timed({1, 50, 3, 2}, ToLocalMs({2024, 3, 1}), {false, true, false, false});
    const Stats st = All(s, {2.0});
    EXPECT_EQ(st.samples, 3u);
    EXPECT_EQ(st.leftOut, 1u);
    EXPECT_DOUBLE_EQ(st.max->value, 3.0);
    EXPECT_DOUBLE_EQ(*st.mean, 2.0);
    EXPECT_DOUBLE_EQ(*st.median, 2.0);
    // Strictly above: the sample equal to the threshold does not count.
    ASSERT_EQ(st.above.size(), 1u);
    EXPECT_NEAR(st.above[0].percent, 100.0 / 3.0, 1e-12);
    // The duration covers every sample, O.L. ones too.
    EXPECT_EQ(st.durationMs, 4000);
}

TEST(SurveyStatistics, ExtremesCarryTheFirstSampleAndItsTime) {
    const LocalMs start = ToLocalMs({2024, 3, 1, 10, 0, 0});
    const Series s = Timed({2, 5, 1, 5, 1}, start);
    const Stats st = All(s);
    EXPECT_EQ(st.max->sample, 1u);
    EXPECT_EQ(st.min->sample, 2u);
    EXPECT_EQ(s.TimeOf(st.max->sample), start + 1000);
    EXPECT_EQ(*st.from, start);
    EXPECT_EQ(*st.to, start + 4000);
}

TEST(SurveyStatistics, SpansAndGroupsFollowTheClock) {
    // 23:59:58, 23:59:59, 00:00:00, 00:00:01 the next day.
    const Series s = Timed({1, 2, 3, 4});
    const LocalMs midnight = ToLocalMs({2024, 3, 2});
    const auto span = SpanRanges(s, midnight - 1000, midnight);  // both ends included
    ASSERT_EQ(span.size(), 1u);
    EXPECT_EQ(span[0].begin, 1u);
    EXPECT_EQ(span[0].end, 3u);
    EXPECT_TRUE(SpanRanges(s, midnight + 5000, std::nullopt).empty());

    const auto days = ComputeGroups(s, kR, {{0, 4}}, {}, GroupBy::Day);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(IsoDate(days[0].key), "2024-03-01");
    EXPECT_DOUBLE_EQ(*days[1].stats.mean, 3.5);
    const auto hours = ComputeGroups(s, kR, {{0, 4}}, {}, GroupBy::Hour);
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(hours[0].key, 0);  // hour 0 sorts first though it comes later
    EXPECT_DOUBLE_EQ(*hours[1].stats.mean, 1.5);
}

TEST(SurveyStatistics, LocalTimesAndTheWordsForThem) {
    EXPECT_EQ(IsoLocal(ToLocalMs({2024, 2, 29, 23, 59, 59, 250}) + 750), "2024-03-01T00:00:00");
    EXPECT_EQ(IsoLocal(ToLocalMs({2012, 5, 3, 9, 5, 7, 500})), "2012-05-03T09:05:07.500");
    EXPECT_EQ(ParseTimeWords("2024-03-01T22:00")->ms, ToLocalMs({2024, 3, 1, 22}));
    EXPECT_EQ(ParseTimeWords("2024/3/1 22:00:30")->ms, ToLocalMs({2024, 3, 1, 22, 0, 30}));
    EXPECT_TRUE(ParseTimeWords("22:00")->dateless);
    EXPECT_FALSE(ParseTimeWords("2023-02-29"));
    EXPECT_FALSE(ParseTimeWords("25:00"));
    EXPECT_EQ(NextTimeOfDay(ToLocalMs({2024, 3, 1, 23}), 6 * kMsPerHour), ToLocalMs({2024, 3, 2, 6}));
}

TEST(SurveyStatistics, UnitsAndTypedValues) {
    const auto v = ParseTypedValue("0.4uT");
    ASSERT_TRUE(v && v->unit);
    EXPECT_DOUBLE_EQ(v->value * Factor(*v->unit, *UnitNamed("nT")), 400.0);
    EXPECT_EQ(ParseTypedValue("200 \xC2\xB5T")->unit->name, "uT");
    EXPECT_NEAR(Factor(*UnitNamed("A/m"), *UnitNamed("uT")), 1.2566370614, 1e-9);  // µ0
    EXPECT_FALSE(UnitNamed("MT"));                                                 // never milli by mistake
    EXPECT_FALSE(ParseTypedValue("0.4 furlongs"));
    EXPECT_EQ(FourDigits(1.23456e-6), "1.235e-06");
    EXPECT_EQ(FourDigits(9.99996), "10.00");
    EXPECT_EQ(FourDigits(0.5), "0.5000");
}

}  // namespace
}  // namespace tessera::survey

namespace tessera::survey {
namespace {

// A survey long enough to be counted by two threads gives what one pass in order gives:
// the same extremes (the first of equal ones), Hi-5, shares, O.L. count and percentiles.
TEST(SurveyStatistics, TwoThreadsCountALongSurveyAsOnePassDoes) {
    const std::size_t n = kParallelFrom + 12345;
    Series s(*UnitNamed("uT"), ChannelOf(kR));
    s.BeginPart({"long", 0, 0, 1, true, 0, 1000, '0'});
    s.Reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        // The largest value twice, once in each half; O.L. readings in both halves.
        const double v = i == 10 || i == n - 10 ? 99.0 : 1.0 + static_cast<double>((i * 7919) % 1000) / 100.0;
        s.Append({0, 0, 0, v}, i % 100000 == 7 ? ChannelOf(kR) : std::uint8_t{0});
    }
    const Stats both = Compute(s, kR, {{0, n}}, {5.0});
    Accumulator one({5.0});
    std::vector<double> values;
    for (std::size_t i = 0; i < n; ++i) {
        one.Add(i, s.Value(kR, i), s.Over(kR, i));
        if (!s.Over(kR, i)) values.push_back(s.Value(kR, i));
    }
    const Stats seq = one.Result();
    EXPECT_EQ(both.samples, seq.samples);
    EXPECT_EQ(both.leftOut, seq.leftOut);
    EXPECT_EQ(both.max->sample, 10u);
    EXPECT_EQ(both.min->sample, seq.min->sample);
    EXPECT_DOUBLE_EQ(*both.hi5, *seq.hi5);
    EXPECT_EQ(both.above[0].percent, seq.above[0].percent);
    EXPECT_NEAR(*both.mean, *seq.mean, 1e-12);
    EXPECT_NEAR(*both.geometricMean, *seq.geometricMean, 1e-12);
    EXPECT_EQ(*both.median, PercentileOf(values, 50));
    EXPECT_EQ(*both.p95, PercentileOf(values, 95));
}

TEST(SurveyStatistics, SpansAndDurationsAcrossPartsOfDifferentPeriods) {
    Series s(*UnitNamed("uT"));
    const LocalMs t0 = ToLocalMs({2024, 3, 1, 12});
    s.BeginPart({"a", 0, 0, 1, true, t0, 1000, '0'});  // 12:00:00 .. :04, one a second
    for (int i = 0; i < 5; ++i) s.Append({0, 0, 0, 1.0 + i}, 0);
    s.BeginPart({"b", 0, 0, 1, true, t0 + 60000, 500, '0'});  // 12:01:00 .. :01.5, two a second
    for (int i = 0; i < 4; ++i) s.Append({0, 0, 0, 10.0 + i}, 0);
    const auto span = SpanRanges(s, t0 + 3000, t0 + 61000);
    ASSERT_EQ(span.size(), 2u);
    EXPECT_EQ(span[0].begin, 3u);
    EXPECT_EQ(span[0].end, 5u);
    EXPECT_EQ(span[1].begin, 5u);
    EXPECT_EQ(span[1].end, 8u);  // 12:01:00, :00.5 and :01.0
    const Stats st = Compute(s, kR, span, {});
    EXPECT_EQ(st.durationMs, 2 * 1000 + 3 * 500);
    EXPECT_EQ(*st.to, t0 + 61000);
    EXPECT_EQ(s.NumberOf(6), 2);  // NO 2 of the second part
}

}  // namespace
}  // namespace tessera::survey
