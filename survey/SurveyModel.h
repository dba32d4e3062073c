#pragma once
// The Survey page without widgets. It shows one series at a time: the logger page's samples
// (followed live during a run), the Entire Read page's table, or files read with "Open...";
// the quantity, the unit, a reference profile at a frequency and extra thresholds; the
// statistics of the whole series and of the span between two cursors; and what the view
// draws: a time graph reduced to one vertical stroke per pixel column, with the reference
// level, thresholds and guidance bands, and a histogram on logarithmic bins.
//
// Live, each new sample costs a constant amount of work plus one insertion into the sorted
// values (the percentiles stay exact); files are read by the view on a worker thread
// (survey::ReadFiles) and handed over whole.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "survey/Evaluation.h"
#include "survey/References.h"
#include "survey/Report.h"
#include "survey/Series.h"
#include "survey/Sources.h"
#include "survey/Statistics.h"

namespace tessera::logger {
class LoggerModel;
}

namespace tessera::survey {

enum class Source { Logger, EntireRead, Files };

// One row of the page's table: a label, the whole series, the span between the cursors.
struct TableRow {
    std::string label, whole, span;
};

// A stroke of the time graph: the least and largest value drawn in one pixel column.
struct Stroke {
    bool any = false;
    double low = 0, high = 0;
    bool over = false;  // an "O.L." reading falls in this column
};

// A horizontal line on the graph: a reference limit, a guidance level or a threshold.
struct Level {
    enum Kind { Limit, Guidance, Threshold } kind = Threshold;
    double value = 0;  // in the unit shown
    std::string label;
};

struct Bin {
    double low = 0, high = 0;  // in the unit shown
    std::size_t count = 0;
};

class SurveyModel {
public:
    explicit SurveyModel(ProfileBook book = ProfileBook::Load());

    // --- sources ---
    void SetLogger(const logger::LoggerModel* logger) { logger_ = logger; }
    const logger::LoggerModel* Logger() const { return logger_; }
    // Show the logger's samples (and follow them).
    void ShowLogger();
    // The logger's data may have changed: a sample came, a run began, a file was read.
    // True when what is shown changed.
    bool LoggerChanged();
    void ShowEntireRead(unsigned recordCount);
    // A series read from files (by the view's worker).
    void ShowFiles(Series series);
    // The files read last, shown again; false when none were read.
    bool ShowStoredFiles();
    bool HasFiles() const { return hasFiles_; }
    Source CurrentSource() const { return source_; }
    const Series& Shown() const { return S(); }
    // "survey.CSV and 75 further parts: 2419200 samples, 00:00:01 apart"
    std::string SourceText() const;

    // --- what is evaluated ---
    void SetQuantity(Quantity q);
    Quantity CurrentQuantity() const { return quantity_; }
    // The units the series can be shown in, and the one shown.
    std::vector<std::string> UnitChoices() const;
    bool SetUnit(const std::string& name);
    const Unit& ShownUnit() const { return shown_; }
    const ProfileBook& Profiles() const { return book_; }
    // An id of the book, a typed value ("0.4uT"), or empty for none. False when unknown.
    bool SetReference(const std::string& idOrValue);
    const std::optional<Profile>& Reference() const { return reference_; }
    bool SetFrequency(double hz);
    double Frequency() const { return frequencyHz_; }
    // "0.2uT, 1uT" (a number alone is in the unit shown); false, with `why`, when a value is no value.
    bool SetThresholds(const std::string& text, std::string* why = nullptr);
    std::string ThresholdText() const;

    // --- the cursors (sample indices; the span lies between them, both included) ---
    void SetCursors(std::size_t a, std::size_t b);
    void ClearCursors();
    bool HasSpan() const { return span_.has_value(); }
    std::optional<std::pair<std::size_t, std::size_t>> Span() const { return span_; }

    // --- results ---
    const Stats& WholeStats() const { return whole_; }
    const std::optional<ReferenceResult>& WholeReference() const { return wholeReference_; }
    const std::optional<Stats>& SpanStats() const { return spanStats_; }
    std::vector<TableRow> Table() const;
    std::vector<std::string> Notes() const;
    // Everything the page says, as text: source, settings, table, notes, histogram.
    std::string PageText() const;

    // --- drawing ---
    // `columns` strokes over the time window (x by time for samples, by number for records).
    // Live, the strokes are kept and only the columns of new samples change.
    const std::vector<Stroke>& Strokes(int columns) const;
    // The times the graph spans: the series' own for files; during a live run a window on
    // round times that grows in steps, so its labels and columns stay put between steps.
    // Records: none (begin == end).
    std::pair<LocalMs, LocalMs> TimeWindow() const;
    // Where the time labels go: begin, end and the round times between them.
    std::vector<LocalMs> TimeTicks() const;
    // The sample under a column (for placing cursors) and the column of a sample.
    std::size_t SampleAtColumn(int column, int columns) const;
    double ColumnOf(std::size_t sample, int columns) const;
    std::vector<Level> Levels() const;
    // Bins of one tenth of a decade, from the smallest to the largest holding a sample.
    std::vector<Bin> Histogram() const;
    // Least and largest positive value shown (for the logarithmic axis), levels included.
    std::optional<std::pair<double, double>> ValueRange() const;
    // The sample of the whole series' maximum.
    std::optional<std::size_t> MaximumSample() const;

    // Counts of the live work, for the benchmark and tests: samples appended since shown.
    std::uint64_t Generation() const { return generation_; }

private:
    void Rebuild();                 // everything from the series
    void Append(std::size_t from);  // live samples [from, Size())
    void Recompute();               // statistics from the accumulated state
    void RecomputeSpan();
    std::vector<double> Thresholds() const;  // user thresholds then reference levels, series unit
    double ToShown(double v) const { return v * Factor(S().StoredUnit(), shown_); }
    const Series& S() const;  // the series of the source shown
    void ChooseUnit();
    std::pair<LocalMs, LocalMs> Extent() const;  // first time and end of the last sample's period
    void AddToStrokes(std::size_t from, std::size_t to) const;

    ProfileBook book_;
    const logger::LoggerModel* logger_ = nullptr;
    LiveLogger live_;
    Source source_ = Source::Logger;
    Series liveSeries_, tableSeries_, filesSeries_;
    bool hasFiles_ = false;
    Quantity quantity_ = kR;
    Unit shown_ = *UnitNamed("uT");
    bool unitChosen_ = false;  // the person chose the unit: kept while the family fits
    std::optional<Profile> reference_;
    double frequencyHz_ = kDefaultFrequencyHz;
    std::vector<TypedValue> thresholds_;

    // The whole series, kept up to date sample by sample.
    Accumulator accumulator_;
    std::vector<double> sorted_;
    std::map<int, std::size_t> bins_;  // tenth of a decade -> count
    Stats whole_;
    std::optional<ReferenceResult> wholeReference_;

    std::optional<std::pair<std::size_t, std::size_t>> span_;
    std::optional<Stats> spanStats_;
    std::optional<ReferenceResult> spanReference_;
    std::uint64_t generation_ = 0;

    // The strokes last asked for, and what they were made of.
    struct StrokeCache {
        int columns = 0;
        std::pair<LocalMs, LocalMs> window{};
        std::uint64_t generation = 0;  // of the series and settings (Rebuild)
        std::size_t samples = 0;
        std::vector<Stroke> strokes;
    };
    mutable StrokeCache strokeCache_;
    std::uint64_t rebuilds_ = 0;
};

}  // namespace tessera::survey
