#include "survey/SurveyModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "logger/LoggerModel.h"

namespace tessera::survey {
namespace {

constexpr int kBinsPerDecade = 10;

int BinOf(double v) { return static_cast<int>(std::floor(std::log10(v) * kBinsPerDecade)); }
double BinLow(int bin) { return std::pow(10.0, static_cast<double>(bin) / kBinsPerDecade); }

std::string Trim(std::string s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(s.begin());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

}  // namespace

SurveyModel::SurveyModel(ProfileBook book) : book_(std::move(book)) { Rebuild(); }

const Series& SurveyModel::S() const {
    switch (source_) {
        case Source::Logger: return liveSeries_;
        case Source::EntireRead: return tableSeries_;
        case Source::Files: return filesSeries_;
    }
    return liveSeries_;
}

bool SurveyModel::ShowStoredFiles() {
    if (!hasFiles_) return false;
    source_ = Source::Files;
    ChooseUnit();
    Rebuild();
    return true;
}

std::string SurveyModel::SourceText() const {
    switch (source_) {
        case Source::Logger:
            if (S().Empty()) return std::string(LiveLogger::SourceName()) + ": no samples";
            return std::string(LiveLogger::SourceName()) + (logger_ && logger_->Running() ? " (logging)" : "") + ": " +
                   std::to_string(S().Size()) + " samples";
        case Source::EntireRead: return "Entire Read: " + std::to_string(S().Size()) + " records";
        case Source::Files: return SeriesSummary(S());
    }
    return {};
}

void SurveyModel::ShowLogger() {
    source_ = Source::Logger;
    live_ = LiveLogger();
    if (logger_) live_.Follow(*logger_, liveSeries_);
    ChooseUnit();
    Rebuild();
}

bool SurveyModel::LoggerChanged() {
    if (source_ != Source::Logger || !logger_) return false;
    const std::size_t before = S().Size();
    switch (live_.Follow(*logger_, liveSeries_)) {
        case LiveLogger::Change::None: return false;
        case LiveLogger::Change::Replaced:
            ChooseUnit();
            Rebuild();
            return true;
        case LiveLogger::Change::Appended:
            // The first samples of a run may be in another unit than what was shown before.
            if (before == 0) {
                ChooseUnit();
                Rebuild();
            } else {
                Append(before);
            }
            return true;
    }
    return false;
}

void SurveyModel::ShowEntireRead(unsigned recordCount) {
    source_ = Source::EntireRead;
    tableSeries_ = FromEntireReadTable(recordCount);
    ChooseUnit();
    Rebuild();
}

void SurveyModel::ShowFiles(Series series) {
    source_ = Source::Files;
    filesSeries_ = std::move(series);
    hasFiles_ = true;
    ChooseUnit();
    Rebuild();
}

void SurveyModel::ChooseUnit() {
    // A unit the person chose stays while it fits the series; otherwise the readable one.
    if (unitChosen_ && SameFamily(shown_, S().StoredUnit())) return;
    unitChosen_ = false;
    shown_ = ReadableUnit(S().StoredUnit());
}

void SurveyModel::SetQuantity(Quantity q) {
    if (q == quantity_) return;
    quantity_ = q;
    Rebuild();
}

std::vector<std::string> SurveyModel::UnitChoices() const {
    if (S().StoredUnit().family == Family::Percent) return {"%"};
    return {"nT", "uT", "mT", "T", "mG", "G", "A/m"};
}

bool SurveyModel::SetUnit(const std::string& name) {
    const auto unit = UnitNamed(name);
    if (!unit || !SameFamily(*unit, S().StoredUnit())) return false;
    shown_ = *unit;
    unitChosen_ = true;
    // Typed thresholds without a unit are in the unit shown: they move with it.
    Rebuild();
    return true;
}

bool SurveyModel::SetReference(const std::string& idOrValue) {
    const std::string wanted = Trim(idOrValue);
    if (wanted.empty()) {
        reference_.reset();
    } else {
        auto found = book_.Find(wanted);
        if (!found) return false;
        reference_ = std::move(found);
    }
    Rebuild();
    return true;
}

bool SurveyModel::SetFrequency(double hz) {
    if (!(hz > 0) || !std::isfinite(hz)) return false;
    frequencyHz_ = hz;
    Rebuild();
    return true;
}

bool SurveyModel::SetThresholds(const std::string& text, std::string* why) {
    std::vector<TypedValue> values;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto comma = text.find_first_of(",;", pos);
        const std::string item = Trim(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        pos = comma == std::string::npos ? text.size() + 1 : comma + 1;
        if (item.empty()) continue;
        const auto v = ParseTypedValue(item);
        if (!v || (v->unit && !SameFamily(*v->unit, S().StoredUnit()))) {
            if (why) *why = "\"" + item + "\" is no value in " + shown_.name;
            return false;
        }
        values.push_back(*v);
    }
    thresholds_ = std::move(values);
    Rebuild();
    return true;
}

std::string SurveyModel::ThresholdText() const {
    std::string text;
    for (const TypedValue& t : thresholds_) {
        if (!text.empty()) text += ", ";
        text += ExactNumber(t.value) + " " + (t.unit ? t.unit->name : shown_.name);
    }
    return text;
}

std::vector<double> SurveyModel::Thresholds() const {
    std::vector<double> values;
    const Unit& stored = S().StoredUnit();
    for (const TypedValue& t : thresholds_) {
        const Unit& in = t.unit.value_or(shown_);
        if (SameFamily(in, stored)) values.push_back(t.value * Factor(in, stored));
    }
    if (reference_) {
        const auto levels = ReferenceThresholds(S(), *reference_, frequencyHz_);
        values.insert(values.end(), levels.begin(), levels.end());
    }
    return values;
}

void SurveyModel::Rebuild() {
    ++generation_;
    ++rebuilds_;
    accumulator_ = Accumulator(Thresholds());
    sorted_.clear();
    bins_.clear();
    span_.reset();
    spanStats_.reset();
    spanReference_.reset();
    if (!S().Has(quantity_)) {
        Recompute();
        return;
    }
    sorted_.reserve(S().Size());
    const double* column = S().Column(quantity_);
    for (std::size_t i = 0; i < S().Size(); ++i) {
        const double v = column[i];
        const bool over = S().Over(quantity_, i);
        accumulator_.Add(i, v, over);
        if (over || !std::isfinite(v)) continue;
        sorted_.push_back(v);
        if (v > 0) ++bins_[BinOf(v)];
    }
    std::sort(sorted_.begin(), sorted_.end());
    Recompute();
}

void SurveyModel::Append(std::size_t from) {
    ++generation_;
    if (!S().Has(quantity_)) return;
    const double* column = S().Column(quantity_);
    for (std::size_t i = from; i < S().Size(); ++i) {
        const double v = column[i];
        const bool over = S().Over(quantity_, i);
        accumulator_.Add(i, v, over);
        if (over || !std::isfinite(v)) continue;
        sorted_.insert(std::upper_bound(sorted_.begin(), sorted_.end(), v), v);
        if (v > 0) ++bins_[BinOf(v)];
    }
    Recompute();
}

void SurveyModel::Recompute() {
    whole_ = accumulator_.Result();
    if (!sorted_.empty()) {
        whole_.median = PercentileOfSorted(sorted_.data(), sorted_.size(), 50);
        whole_.p95 = PercentileOfSorted(sorted_.data(), sorted_.size(), 95);
    }
    if (!S().Empty()) FillTimes(S(), {{0, S().Size()}}, whole_);
    const std::size_t user = thresholds_.size();
    std::vector<double> tail;
    for (std::size_t i = user; i < whole_.above.size(); ++i) tail.push_back(whole_.above[i].percent);
    whole_.above.resize(std::min(user, whole_.above.size()));
    wholeReference_.reset();
    if (reference_) wholeReference_ = Judge(S(), *reference_, frequencyHz_, whole_, tail);
}

void SurveyModel::SetCursors(std::size_t a, std::size_t b) {
    if (S().Empty()) return;
    a = std::min(a, S().Size() - 1);
    b = std::min(b, S().Size() - 1);
    span_ = std::pair{std::min(a, b), std::max(a, b)};
    RecomputeSpan();
}

void SurveyModel::ClearCursors() {
    span_.reset();
    spanStats_.reset();
    spanReference_.reset();
}

void SurveyModel::RecomputeSpan() {
    spanStats_.reset();
    spanReference_.reset();
    if (!span_ || !S().Has(quantity_)) return;
    Request request;
    request.quantity = quantity_;
    request.thresholds.clear();
    for (const TypedValue& t : thresholds_) {
        const Unit& in = t.unit.value_or(shown_);
        if (SameFamily(in, S().StoredUnit())) request.thresholds.push_back(t.value * Factor(in, S().StoredUnit()));
    }
    std::vector<double> all = request.thresholds;
    std::vector<double> levels;
    if (reference_) levels = ReferenceThresholds(S(), *reference_, frequencyHz_);
    all.insert(all.end(), levels.begin(), levels.end());
    Stats s = Compute(S(), quantity_, {{span_->first, span_->second + 1}}, all);
    std::vector<double> tail;
    for (std::size_t i = request.thresholds.size(); i < s.above.size(); ++i) tail.push_back(s.above[i].percent);
    s.above.resize(std::min(request.thresholds.size(), s.above.size()));
    if (reference_) spanReference_ = Judge(S(), *reference_, frequencyHz_, s, tail);
    spanStats_ = std::move(s);
}

std::vector<TableRow> SurveyModel::Table() const {
    std::vector<TableRow> rows;
    const std::vector<Row> whole = StatRows(S(), quantity_, whole_, wholeReference_, shown_);
    std::vector<Row> span;
    if (spanStats_) span = StatRows(S(), quantity_, *spanStats_, spanReference_, shown_);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const std::string spanText = i < span.size() && span[i].label == whole[i].label ? span[i].text : std::string();
        rows.push_back({whole[i].label, whole[i].text, spanText});
    }
    return rows;
}

std::vector<std::string> SurveyModel::Notes() const {
    std::vector<std::string> notes = S().notes;
    if (S().Empty()) {
        notes.push_back(source_ == Source::Logger
                            ? "The samples of a logging run on the Effective Value Logger page appear here as they "
                              "are taken, or those it shows from a file. Entire Read shows the meter's stored "
                              "records; \"Open...\" reads logger files (with their further parts) or Entire Read files."
                            : "Nothing to evaluate.");
    }
    if (S().ExposureLevels())
        notes.push_back(
            "The readings were taken in an exposure mode: they are already % of the meter's own exposure "
            "standard, so reference profiles do not apply to them.");
    if (reference_) {
        if (const std::string remark = FrequencyRemark(S(), frequencyHz_); !remark.empty()) notes.push_back(remark);
        for (const std::string& s : reference_->sources) notes.push_back(reference_->name + ": " + s);
    }
    return notes;
}

std::string SurveyModel::PageText() const {
    std::string text = SourceText() + "\n";
    char hz[48];
    std::snprintf(hz, sizeof hz, "%g Hz", frequencyHz_);
    text += std::string("Quantity ") + QuantityName(quantity_) + " in " + shown_.name;
    if (reference_) text += ", reference " + reference_->name + " at " + hz;
    if (!thresholds_.empty()) text += ", thresholds " + ThresholdText();
    text += "\n\n";
    std::vector<Row> rows;
    std::size_t width = 0;
    const auto table = Table();
    for (const TableRow& r : table) width = std::max(width, r.whole.size());
    for (const TableRow& r : table) {
        std::string cells = r.whole;
        if (span_) cells += std::string(width - r.whole.size() + 3, ' ') + r.span;
        rows.push_back({r.label, cells});
    }
    if (span_) {
        const std::string head = "Whole series";
        rows.insert(rows.begin(), {"", head + std::string(width > head.size() ? width - head.size() + 3 : 3, ' ') +
                                           "Between the cursors"});
    }
    text += RowsText(rows);
    const auto notes = Notes();
    if (!notes.empty()) {
        text += "\n";
        for (const std::string& n : notes) text += n + "\n";
    }
    const auto bins = Histogram();
    if (!bins.empty()) {
        text += "\nHistogram (" + shown_.name + ")\n";
        std::vector<Row> histogram;
        for (const Bin& b : bins)
            histogram.push_back({FourDigits(b.low) + " - " + FourDigits(b.high), std::to_string(b.count)});
        text += RowsText(histogram);
    }
    return text;
}

std::pair<LocalMs, LocalMs> SurveyModel::Extent() const {
    LocalMs begin = 0, end = 0;
    bool first = true;
    for (const Part& p : S().Parts()) {
        const LocalMs b = p.start, e = p.start + static_cast<LocalMs>(p.count) * p.periodMs;
        begin = first ? b : std::min(begin, b);
        end = first ? e : std::max(end, e);
        first = false;
    }
    return {begin, end};
}

namespace {

// Steps between the time labels of a live graph; the window is four of them.
constexpr LocalMs kTickSteps[] = {10 * kMsPerSecond,
                                  15 * kMsPerSecond,
                                  30 * kMsPerSecond,
                                  60 * kMsPerSecond,
                                  2 * 60 * kMsPerSecond,
                                  5 * 60 * kMsPerSecond,
                                  10 * 60 * kMsPerSecond,
                                  15 * 60 * kMsPerSecond,
                                  30 * 60 * kMsPerSecond,
                                  kMsPerHour,
                                  2 * kMsPerHour,
                                  3 * kMsPerHour,
                                  6 * kMsPerHour,
                                  12 * kMsPerHour,
                                  kMsPerDay,
                                  2 * kMsPerDay,
                                  5 * kMsPerDay,
                                  10 * kMsPerDay,
                                  20 * kMsPerDay};
constexpr int kTicks = 4;

LocalMs FloorTo(LocalMs t, LocalMs step) { return (t / step - (t % step < 0 ? 1 : 0)) * step; }

}  // namespace

std::pair<LocalMs, LocalMs> SurveyModel::TimeWindow() const {
    const Series& series = S();
    if (!series.Timed()) return {0, 0};
    const auto [begin, end] = Extent();
    if (source_ != Source::Logger) return {begin, end};
    for (LocalMs step : kTickSteps) {
        const LocalMs from = FloorTo(begin, step);
        if (from + kTicks * step >= end) return {from, from + kTicks * step};
    }
    return {begin, end};
}

std::vector<LocalMs> SurveyModel::TimeTicks() const {
    const auto [begin, end] = TimeWindow();
    std::vector<LocalMs> ticks;
    if (end <= begin) return ticks;
    for (int k = 0; k <= kTicks; ++k) ticks.push_back(begin + (end - begin) * k / kTicks);
    return ticks;
}

const std::vector<Stroke>& SurveyModel::Strokes(int columns) const {
    StrokeCache& cache = strokeCache_;
    const Series& series = S();
    const auto window = TimeWindow();
    const bool same = cache.columns == columns && cache.window == window && cache.generation == rebuilds_ &&
                      cache.samples <= series.Size();
    if (!same) {
        cache = StrokeCache{columns, window, rebuilds_, 0,
                            std::vector<Stroke>(static_cast<std::size_t>(std::max(columns, 0)))};
    }
    if (cache.samples < series.Size()) AddToStrokes(cache.samples, series.Size());
    cache.samples = series.Size();
    return cache.strokes;
}

void SurveyModel::AddToStrokes(std::size_t from, std::size_t to) const {
    std::vector<Stroke>& strokes = strokeCache_.strokes;
    const int columns = strokeCache_.columns;
    const Series& series = S();
    if (columns <= 0 || !series.Has(quantity_) || from >= to) return;
    const double* column = series.Column(quantity_);
    const double factor = Factor(series.StoredUnit(), shown_);
    const auto [begin, end] = strokeCache_.window;
    const bool timed = series.Timed();
    // Sample k of a part lies at x = (offset + k·step)·scale: each column takes a run of
    // samples, found once, so the inner loop only compares values.
    const double scale = timed ? (end > begin ? columns / static_cast<double>(end - begin) : 0)
                               : columns / static_cast<double>(series.Size());
    for (const Part& p : series.Parts()) {
        if (p.first + p.count <= from || p.first >= to) continue;
        const double offset = timed ? static_cast<double>(p.start - begin) : static_cast<double>(p.first);
        const double step = timed ? static_cast<double>(p.periodMs) : 1.0;
        std::size_t k = std::max(from, p.first) - p.first;
        const std::size_t count = std::min(to, p.first + p.count) - p.first;
        while (k < count) {
            const int c =
                std::clamp(static_cast<int>((offset + static_cast<double>(k) * step) * scale), 0, columns - 1);
            std::size_t stop = count;
            if (c < columns - 1 && scale > 0 && step > 0) {
                const double next = std::ceil(((c + 1) / scale - offset) / step);
                stop = std::min(count, std::max(k + 1, next > 0 ? static_cast<std::size_t>(next) : k + 1));
            }
            Stroke& s = strokes[static_cast<std::size_t>(c)];
            for (std::size_t i = p.first + k; i < p.first + stop; ++i) {
                if (series.Over(quantity_, i)) {
                    s.over = true;
                    continue;
                }
                const double v = column[i] * factor;
                if (!s.any) {
                    s.any = true;
                    s.low = s.high = v;
                } else {
                    s.low = std::min(s.low, v);
                    s.high = std::max(s.high, v);
                }
            }
            k = stop;
        }
    }
}

double SurveyModel::ColumnOf(std::size_t sample, int columns) const {
    if (S().Empty() || columns <= 0) return 0;
    if (S().Timed()) {
        const auto [begin, end] = TimeWindow();
        if (end <= begin) return 0;
        return static_cast<double>(S().TimeOf(sample) - begin) * columns / static_cast<double>(end - begin);
    }
    return static_cast<double>(sample) * columns / static_cast<double>(S().Size());
}

std::size_t SurveyModel::SampleAtColumn(int column, int columns) const {
    if (S().Empty() || columns <= 0) return 0;
    // Columns rise with the sample number (times rise within and across parts).
    std::size_t lo = 0, hi = S().Size() - 1;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (ColumnOf(mid, columns) < column) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

std::vector<Level> SurveyModel::Levels() const {
    std::vector<Level> levels;
    if (reference_ && S().StoredUnit().family == Family::Magnetic) {
        const double perTesla = shown_.perBase;
        if (reference_->Guidance()) {
            for (const GuidanceLevel& g : reference_->levels)
                levels.push_back({Level::Guidance, g.tesla * perTesla,
                                  FourDigits(g.tesla * perTesla) + " " + shown_.name + " " + g.label});
        } else if (const auto limit = reference_->LimitAt(frequencyHz_)) {
            levels.push_back({Level::Limit, *limit * perTesla, "limit"});
        }
    }
    for (const TypedValue& t : thresholds_) {
        const Unit& in = t.unit.value_or(shown_);
        if (!SameFamily(in, shown_)) continue;
        const double v = t.value * Factor(in, shown_);
        levels.push_back({Level::Threshold, v, FourDigits(v) + " " + shown_.name});
    }
    return levels;
}

std::vector<Bin> SurveyModel::Histogram() const {
    std::vector<Bin> bins;
    if (bins_.empty()) return bins;
    const double factor = Factor(S().StoredUnit(), shown_);
    for (int b = bins_.begin()->first; b <= bins_.rbegin()->first; ++b) {
        const auto it = bins_.find(b);
        bins.push_back({BinLow(b) * factor, BinLow(b + 1) * factor, it == bins_.end() ? 0 : it->second});
    }
    return bins;
}

std::optional<std::pair<double, double>> SurveyModel::ValueRange() const {
    std::optional<std::pair<double, double>> range;
    auto take = [&](double v) {
        if (!(v > 0) || !std::isfinite(v)) return;
        if (!range) range = std::pair{v, v};
        else range = std::pair{std::min(range->first, v), std::max(range->second, v)};
    };
    if (!sorted_.empty()) {
        const auto firstPositive = std::upper_bound(sorted_.begin(), sorted_.end(), 0.0);
        if (firstPositive != sorted_.end()) take(ToShown(*firstPositive));
        take(ToShown(sorted_.back()));
    } else if (whole_.min && whole_.max) {
        take(ToShown(whole_.min->value));
        take(ToShown(whole_.max->value));
    }
    for (const Level& l : Levels()) take(l.value);
    return range;
}

std::optional<std::size_t> SurveyModel::MaximumSample() const {
    if (!whole_.max) return std::nullopt;
    return whole_.max->sample;
}

}  // namespace tessera::survey
