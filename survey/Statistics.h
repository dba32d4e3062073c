#pragma once
// The statistics of one quantity of a series, over the whole series or a span of it, as
// the people who judge fields use them:
//  - samples: values evaluated; "O.L." readings are left out and counted (leftOut);
//  - duration: samples (O.L. included) times the sampling period; from/to: first and last time;
//  - min and max, each with its time and sample number (the first one when it repeats);
//  - mean: the arithmetic mean, which is the time-weighted average because samples are
//    equally spaced;
//  - geometric mean over the samples > 0, with the number of samples ≤ 0 left out of it;
//  - median and 95th percentile: the p-th percentile lies at rank h = (n−1)·p/100 of the
//    sorted samples, interpolated linearly between the ranks around it (PERCENTILE.INC);
//  - Hi-5: the mean of the five largest samples, or of all when there are fewer;
//  - for each threshold the share of samples strictly above it, in percent.
// Accumulator holds everything but the percentiles and takes samples one at a time, so a
// live page pays per sample, not per series; the batch path feeds the same Accumulator, so
// both give the same numbers (to the last bit while one thread counts: see kParallelFrom).

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "survey/Series.h"

namespace tessera::survey {

struct Extreme {
    double value = 0;
    std::size_t sample = 0;  // index in the series
};

struct Above {
    double threshold = 0;
    double percent = 0;
};

struct Stats {
    std::size_t samples = 0;  // evaluated (O.L. left out)
    std::size_t leftOut = 0;  // "O.L." readings
    std::optional<LocalMs> from, to;
    LocalMs durationMs = 0;
    std::optional<Extreme> min, max;
    std::optional<double> mean, geometricMean, median, p95, hi5;
    std::size_t geometricLeftOut = 0;  // samples ≤ 0, left out of the geometric mean
    std::vector<Above> above;
};

// Compensated (Neumaier) summation: a sum of millions of small values keeps its digits.
class ExactSum {
public:
    void Add(double v);
    void Add(const ExactSum& other);  // a sum of later values
    double Value() const { return sum_ + compensation_; }

private:
    double sum_ = 0, compensation_ = 0;
};

class Accumulator {
public:
    explicit Accumulator(std::vector<double> thresholds = {});
    // Sample `index` of the series with `value`; `over` when it read "O.L.".
    void Add(std::size_t index, double value, bool over);
    // Counts the samples another accumulator took after this one's.
    void Merge(const Accumulator& later);
    // Everything but the percentiles, from, to and duration.
    Stats Result() const;
    std::size_t Count() const { return count_; }
    const std::vector<double>& Thresholds() const { return thresholds_; }

private:
    // Keeps `value` among the five largest (an equal value does not displace an earlier one).
    void KeepIfTop(double value);

    std::vector<double> thresholds_;
    std::vector<std::size_t> aboveCounts_;
    std::size_t count_ = 0, leftOut_ = 0, positive_ = 0;
    ExactSum sum_, logSum_;
    std::optional<Extreme> min_, max_;
    std::array<double, 5> top_{};  // the five largest so far, largest first
    std::size_t topCount_ = 0;
};

// Percentile by rank (n−1)·p/100 with linear interpolation, of values sorted ascending.
double PercentileOfSorted(const double* sorted, std::size_t n, double p);
// The same of unsorted values, which it reorders (two selections, no full sort).
double PercentileOf(double* values, std::size_t n, double p);
double PercentileOf(std::vector<double>& values, double p);

// Index ranges [begin, end) of a series.
struct Range {
    std::size_t begin = 0, end = 0;
};
// The samples of a timed series whose time lies within [from, to] (either open), as
// ranges in series order; a series without times gives the whole of it.
std::vector<Range> SpanRanges(const Series& series, std::optional<LocalMs> from, std::optional<LocalMs> to);

// The statistics of quantity `q` over `ranges` of the series. From this many samples on,
// two threads count them (a sum's last bit may then differ from one counted in one go).
inline constexpr std::size_t kParallelFrom = 1u << 20;
Stats Compute(const Series& series, Quantity q, const std::vector<Range>& ranges,
              const std::vector<double>& thresholds);

// Statistics per hour of day (0..23, every day's samples of that hour together) or per
// calendar day, in order; only groups that hold samples.
enum class GroupBy { None, Hour, Day };
struct Group {
    GroupBy by = GroupBy::None;
    LocalMs key = 0;  // the hour 0..23, or the day's midnight
    Stats stats;
};
std::vector<Group> ComputeGroups(const Series& series, Quantity q, const std::vector<Range>& ranges,
                                 const std::vector<double>& thresholds, GroupBy by);

// Fills from, to and duration of `stats` for the samples of `ranges`.
void FillTimes(const Series& series, const std::vector<Range>& ranges, Stats& stats);

}  // namespace tessera::survey
