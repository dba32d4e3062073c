#include "survey/Statistics.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <thread>

namespace tessera::survey {

void ExactSum::Add(const ExactSum& other) {
    Add(other.sum_);
    Add(other.compensation_);
}

void ExactSum::Add(double v) {
    const double t = sum_ + v;
    if (std::fabs(sum_) >= std::fabs(v)) compensation_ += (sum_ - t) + v;
    else compensation_ += (v - t) + sum_;
    sum_ = t;
}

Accumulator::Accumulator(std::vector<double> thresholds)
    : thresholds_(std::move(thresholds)), aboveCounts_(thresholds_.size(), 0) {}

void Accumulator::Add(std::size_t index, double value, bool over) {
    if (over || !std::isfinite(value)) {
        ++leftOut_;
        return;
    }
    ++count_;
    sum_.Add(value);
    if (value > 0) {
        ++positive_;
        logSum_.Add(std::log(value));
    }
    // Strict comparisons keep the first sample of a repeated extreme.
    if (!min_ || value < min_->value) min_ = Extreme{value, index};
    if (!max_ || value > max_->value) max_ = Extreme{value, index};
    KeepIfTop(value);
    for (std::size_t t = 0; t < thresholds_.size(); ++t)
        if (value > thresholds_[t]) ++aboveCounts_[t];
}

void Accumulator::KeepIfTop(double value) {
    if (topCount_ < top_.size() || value > top_[top_.size() - 1]) {
        std::size_t at = std::min(topCount_, top_.size() - 1);
        while (at > 0 && top_[at - 1] < value) {
            top_[at] = top_[at - 1];
            --at;
        }
        top_[at] = value;
        topCount_ = std::min(topCount_ + 1, top_.size());
    }
}

Stats Accumulator::Result() const {
    Stats s;
    s.samples = count_;
    s.leftOut = leftOut_;
    s.min = min_;
    s.max = max_;
    s.geometricLeftOut = count_ - positive_;
    if (count_ > 0) s.mean = sum_.Value() / static_cast<double>(count_);
    if (positive_ > 0) s.geometricMean = std::exp(logSum_.Value() / static_cast<double>(positive_));
    if (topCount_ > 0) {
        double top = 0;
        for (std::size_t i = 0; i < topCount_; ++i) top += top_[i];
        s.hi5 = top / static_cast<double>(topCount_);
    }
    for (std::size_t t = 0; t < thresholds_.size(); ++t) {
        const double percent =
            count_ > 0 ? 100.0 * static_cast<double>(aboveCounts_[t]) / static_cast<double>(count_) : 0.0;
        s.above.push_back({thresholds_[t], percent});
    }
    return s;
}

void Accumulator::Merge(const Accumulator& later) {
    count_ += later.count_;
    leftOut_ += later.leftOut_;
    positive_ += later.positive_;
    sum_.Add(later.sum_);
    logSum_.Add(later.logSum_);
    // The earlier sample wins a tie, as it does one sample at a time.
    if (later.min_ && (!min_ || later.min_->value < min_->value)) min_ = later.min_;
    if (later.max_ && (!max_ || later.max_->value > max_->value)) max_ = later.max_;
    for (std::size_t i = 0; i < later.topCount_; ++i) KeepIfTop(later.top_[i]);
    for (std::size_t t = 0; t < aboveCounts_.size() && t < later.aboveCounts_.size(); ++t)
        aboveCounts_[t] += later.aboveCounts_[t];
}

double PercentileOfSorted(const double* sorted, std::size_t n, double p) {
    const double h = static_cast<double>(n - 1) * p / 100.0;
    const auto lo = static_cast<std::size_t>(std::floor(h));
    if (lo + 1 >= n) return sorted[n - 1];
    return sorted[lo] + (h - static_cast<double>(lo)) * (sorted[lo + 1] - sorted[lo]);
}

double PercentileOf(double* values, std::size_t n, double p) {
    const double h = static_cast<double>(n - 1) * p / 100.0;
    const auto lo = static_cast<std::size_t>(std::floor(h));
    std::nth_element(values, values + lo, values + n);
    const double below = values[lo];
    if (lo + 1 >= n) return below;
    // The next rank is the smallest of what lies above the selected one.
    const double above = *std::min_element(values + lo + 1, values + n);
    return below + (h - static_cast<double>(lo)) * (above - below);
}

double PercentileOf(std::vector<double>& values, double p) { return PercentileOf(values.data(), values.size(), p); }

std::vector<Range> SpanRanges(const Series& series, std::optional<LocalMs> from, std::optional<LocalMs> to) {
    std::vector<Range> ranges;
    if (!series.Timed() || (!from && !to)) {
        if (!series.Empty()) ranges.push_back({0, series.Size()});
        return ranges;
    }
    for (const Part& p : series.Parts()) {
        if (p.count == 0) continue;
        // Within a part the times rise by its period: the span's ends become indices.
        std::size_t begin = 0, end = p.count;
        const LocalMs period = std::max<LocalMs>(p.periodMs, 1);
        if (from && *from > p.start) begin = static_cast<std::size_t>((*from - p.start + period - 1) / period);
        if (to) {
            if (*to < p.start) end = 0;
            else end = std::min<std::size_t>(p.count, static_cast<std::size_t>((*to - p.start) / period) + 1);
        }
        if (begin < end) ranges.push_back({p.first + begin, p.first + end});
    }
    return ranges;
}

void FillTimes(const Series& series, const std::vector<Range>& ranges, Stats& stats) {
    if (!series.Timed() || ranges.empty()) return;
    stats.from = series.TimeOf(ranges.front().begin);
    stats.to = series.TimeOf(ranges.back().end - 1);
    LocalMs duration = 0;
    for (const Part& p : series.Parts()) {
        for (const Range& r : ranges) {
            const std::size_t b = std::max(r.begin, p.first), e = std::min(r.end, p.first + p.count);
            if (b < e) duration += static_cast<LocalMs>(e - b) * p.periodMs;
        }
    }
    stats.durationMs = duration;
}

namespace {

void AddPercentiles(double* values, std::size_t n, Stats& s) {
    if (n == 0) return;
    s.p95 = PercentileOf(values, n, 95);
    s.median = PercentileOf(values, n, 50);
}

}  // namespace

Stats Compute(const Series& series, Quantity q, const std::vector<Range>& ranges,
              const std::vector<double>& thresholds) {
    // The samples in order, cut into two halves for two threads when there are many of them
    // (a multi-day survey); each half is counted in order and the second merged into the first.
    std::vector<Range> halves[2];
    std::size_t total = 0;
    for (const Range& r : ranges) total += r.end - r.begin;
    const bool split = total >= kParallelFrom && std::thread::hardware_concurrency() > 1;
    std::size_t seen = 0;
    for (const Range& r : ranges) {
        const std::size_t half = total / 2;
        if (!split || seen + (r.end - r.begin) <= half) halves[0].push_back(r);
        else if (seen >= half) halves[1].push_back(r);
        else {
            const std::size_t cut = r.begin + (half - seen);
            halves[0].push_back({r.begin, cut});
            halves[1].push_back({cut, r.end});
        }
        seen += r.end - r.begin;
    }
    // One array for the values of both halves, the second half's after the room of the first.
    Storage<double> values;
    values.resize(total);
    std::size_t start[2] = {0, 0}, written[2] = {0, 0};
    for (const Range& r : halves[0]) start[1] += r.end - r.begin;
    Accumulator acc[2] = {Accumulator(thresholds), Accumulator(thresholds)};
    const double* column = series.Column(q);
    auto count = [&](int h) {
        double* out = values.data() + start[h];
        std::size_t n = 0;
        for (const Range& r : halves[h]) {
            for (std::size_t i = r.begin; i < r.end; ++i) {
                const bool over = series.Over(q, i);
                acc[h].Add(i, column[i], over);
                if (!over && std::isfinite(column[i])) out[n++] = column[i];
            }
        }
        written[h] = n;
    };
    if (split) {
        std::thread second(count, 1);
        count(0);
        second.join();
        acc[0].Merge(acc[1]);
        // The first half's "O.L." readings left a gap before the second half's values.
        if (written[0] < start[1])
            std::copy(values.begin() + static_cast<std::ptrdiff_t>(start[1]),
                      values.begin() + static_cast<std::ptrdiff_t>(start[1] + written[1]),
                      values.begin() + static_cast<std::ptrdiff_t>(written[0]));
    } else {
        count(0);
    }
    Stats s = acc[0].Result();
    AddPercentiles(values.data(), written[0] + written[1], s);
    FillTimes(series, ranges, s);
    return s;
}

std::vector<Group> ComputeGroups(const Series& series, Quantity q, const std::vector<Range>& ranges,
                                 const std::vector<double>& thresholds, GroupBy by) {
    std::vector<Group> groups;
    if (by == GroupBy::None || !series.Timed()) return groups;
    struct Building {
        Accumulator acc;
        std::vector<double> values;
        std::size_t first = 0, last = 0;
        LocalMs duration = 0;
    };
    std::map<LocalMs, Building> building;
    const double* column = series.Column(q);
    for (const Part& p : series.Parts()) {
        for (const Range& r : ranges) {
            const std::size_t b = std::max(r.begin, p.first), e = std::min(r.end, p.first + p.count);
            LocalMs lastKey = -1;
            Building* g = nullptr;
            for (std::size_t i = b; i < e; ++i) {
                const LocalMs t = p.start + static_cast<LocalMs>(i - p.first) * p.periodMs;
                const LocalMs key = by == GroupBy::Hour ? HourOf(t) : DayOf(t);
                if (!g || key != lastKey) {
                    auto [it, fresh] = building.try_emplace(key, Building{Accumulator(thresholds), {}, i, i, 0});
                    g = &it->second;
                    lastKey = key;
                    (void)fresh;
                }
                const bool over = series.Over(q, i);
                g->acc.Add(i, column[i], over);
                if (!over && std::isfinite(column[i])) g->values.push_back(column[i]);
                g->first = std::min(g->first, i);
                g->last = std::max(g->last, i);
                g->duration += p.periodMs;
            }
        }
    }
    for (auto& [key, g] : building) {
        Group group{by, key, g.acc.Result()};
        AddPercentiles(g.values.data(), g.values.size(), group.stats);
        group.stats.from = series.TimeOf(g.first);
        group.stats.to = series.TimeOf(g.last);
        group.stats.durationMs = g.duration;
        groups.push_back(std::move(group));
    }
    return groups;
}

}  // namespace tessera::survey
