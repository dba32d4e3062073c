#pragma once
// One evaluation of a series: the statistics of a quantity over a span, the share above
// each threshold, the judgement against a reference profile at the frequency the user
// names, and the same per hour of day or per day. The window's Survey page and
// `tessera-cli stats` both ask for it and show it through Report.h.

#include <optional>
#include <string>
#include <vector>

#include "survey/References.h"
#include "survey/Series.h"
#include "survey/Statistics.h"

namespace tessera::survey {

inline constexpr double kDefaultFrequencyHz = 50;

struct Request {
    Quantity quantity = kR;
    std::optional<LocalMs> from, to;  // a span of a timed series (inclusive); none: all of it
    std::vector<double> thresholds;   // in the series' unit
    std::optional<Profile> reference;
    double frequencyHz = kDefaultFrequencyHz;
    GroupBy by = GroupBy::None;
};

struct ReferenceResult {
    std::string id, name;
    double frequencyHz = kDefaultFrequencyHz;
    std::optional<double> limit;  // in the series' unit; none when the profile does not apply
    std::optional<double> maxPercent, meanPercent;
    double percentAbove = 0;  // share of samples strictly above the limit
    struct Level {
        double value = 0;  // in the series' unit
        std::string label;
        double percentAbove = 0;
    };
    std::vector<Level> levels;  // a guidance profile's levels, rising
    std::string notApplicable;  // why there is no limit
};

struct GroupResult {
    Group group;
    std::optional<ReferenceResult> reference;
};

struct Evaluation {
    Quantity quantity = kR;
    Unit unit;  // of every value below (the series' unit)
    Stats stats;
    std::optional<ReferenceResult> reference;
    std::vector<GroupResult> groups;
    std::vector<std::string> notes;  // the series' notes and the evaluation's own remarks
};

// Checks that the quantity is kept and that a span, if any, fits a timed series; the
// message says what is wrong, else empty.
std::string RequestProblem(const Series& series, const Request& request);

Evaluation Evaluate(const Series& series, const Request& request);

// The reference's judgement of statistics already computed (the page's live numbers):
// `aboveLevels` are the shares above the profile's levels at that frequency, in order, as
// Accumulator counted them for the thresholds ReferenceThresholds() gave.
std::vector<double> ReferenceThresholds(const Series& series, const Profile& profile, double frequencyHz);
ReferenceResult Judge(const Series& series, const Profile& profile, double frequencyHz, const Stats& stats,
                      const std::vector<double>& aboveLevels);

// The measurement band of the meter's mode ('0' 10 Hz-400 kHz, '1' 10 Hz-2 kHz,
// '2' 2 kHz-400 kHz); a remark when the chosen frequency lies outside it, else empty.
std::string FrequencyRemark(const Series& series, double frequencyHz);

}  // namespace tessera::survey
