#include "survey/Evaluation.h"

#include <algorithm>

namespace tessera::survey {
namespace {

constexpr const char* kExposureNote =
    "The readings were taken in an exposure mode: they are already % of the meter's own exposure standard, "
    "so reference profiles do not apply to them.";

// The statistics of a span are asked with the user's thresholds followed by the profile's
// levels; this splits the shares again.
std::vector<double> TakeTail(std::vector<Above>& above, std::size_t userCount) {
    std::vector<double> tail;
    for (std::size_t i = userCount; i < above.size(); ++i) tail.push_back(above[i].percent);
    above.resize(std::min(userCount, above.size()));
    return tail;
}

}  // namespace

std::string FrequencyRemark(const Series& series, double hz) {
    if (series.Parts().empty()) return {};
    const char mode = series.Parts().front().mode;
    double low = 10, high = 400e3;
    const char* band = "10 Hz - 400 kHz";
    if (mode == '1') {
        high = 2e3;
        band = "10 Hz - 2 kHz";
    } else if (mode == '2') {
        low = 2e3;
        band = "2 kHz - 400 kHz";
    }
    if (hz >= low && hz <= high) return {};
    return std::string("The chosen frequency lies outside the band the readings were taken in (") + band + ").";
}

std::string RequestProblem(const Series& series, const Request& request) {
    if (!series.Has(request.quantity))
        return std::string("The series holds no ") + QuantityName(request.quantity) + ".";
    if ((request.from || request.to) && !series.Timed() && !series.Empty())
        return "Records of the meter's memory have no time: --from and --to need logger files.";
    if (request.by != GroupBy::None && !series.Timed() && !series.Empty())
        return "Records of the meter's memory have no time: they cannot be grouped by hour or day.";
    if (request.from && request.to && *request.to < *request.from) return "The span ends before it begins.";
    return {};
}

std::vector<double> ReferenceThresholds(const Series& series, const Profile& profile, double hz) {
    std::vector<double> levels;
    if (series.StoredUnit().family != Family::Magnetic) return levels;
    const double perTesla = series.StoredUnit().perBase;
    if (profile.Guidance()) {
        for (const GuidanceLevel& l : profile.levels) levels.push_back(l.tesla * perTesla);
    } else if (const auto limit = profile.LimitAt(hz)) {
        levels.push_back(*limit * perTesla);
    }
    return levels;
}

ReferenceResult Judge(const Series& series, const Profile& profile, double hz, const Stats& stats,
                      const std::vector<double>& aboveLevels) {
    ReferenceResult r;
    r.id = profile.id;
    r.name = profile.name;
    r.frequencyHz = hz;
    if (series.StoredUnit().family != Family::Magnetic) {
        r.notApplicable = kExposureNote;
        return r;
    }
    const std::vector<double> levels = ReferenceThresholds(series, profile, hz);
    if (levels.empty()) {
        r.notApplicable = "The profile gives no limit at this frequency (it covers " + profile.CoverageText() + ").";
        return r;
    }
    r.limit = levels.front();
    if (stats.max) r.maxPercent = 100.0 * stats.max->value / *r.limit;
    if (stats.mean) r.meanPercent = 100.0 * *stats.mean / *r.limit;
    r.percentAbove = aboveLevels.empty() ? 0.0 : aboveLevels.front();
    if (profile.Guidance()) {
        for (std::size_t i = 0; i < profile.levels.size() && i < levels.size(); ++i)
            r.levels.push_back({levels[i], profile.levels[i].label, i < aboveLevels.size() ? aboveLevels[i] : 0.0});
    }
    return r;
}

Evaluation Evaluate(const Series& series, const Request& request) {
    Evaluation e;
    e.quantity = request.quantity;
    e.unit = series.StoredUnit();
    e.notes = series.notes;
    const std::vector<Range> ranges = SpanRanges(series, request.from, request.to);

    std::vector<double> thresholds = request.thresholds;
    std::vector<double> levels;
    if (request.reference) levels = ReferenceThresholds(series, *request.reference, request.frequencyHz);
    thresholds.insert(thresholds.end(), levels.begin(), levels.end());

    e.stats = Compute(series, request.quantity, ranges, thresholds);
    const std::vector<double> tail = TakeTail(e.stats.above, request.thresholds.size());
    if (request.reference) {
        e.reference = Judge(series, *request.reference, request.frequencyHz, e.stats, tail);
        if (const std::string remark = FrequencyRemark(series, request.frequencyHz); !remark.empty())
            e.notes.push_back(remark);
    } else if (series.ExposureLevels()) {
        e.notes.push_back(kExposureNote);
    }
    for (Group& g : ComputeGroups(series, request.quantity, ranges, thresholds, request.by)) {
        GroupResult result{std::move(g), std::nullopt};
        const std::vector<double> groupTail = TakeTail(result.group.stats.above, request.thresholds.size());
        if (request.reference)
            result.reference = Judge(series, *request.reference, request.frequencyHz, result.group.stats, groupTail);
        e.groups.push_back(std::move(result));
    }
    return e;
}

}  // namespace tessera::survey
