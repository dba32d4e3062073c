#include "survey/Report.h"

#include <algorithm>
#include <cstdio>

namespace tessera::survey {
namespace {

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Percent(double p) { return FourDigits(p) + " %"; }

// Where a sample is: its time (or none), its number in the series, and for joined files
// which file and line number it is.
// A time as people read it: "2024-03-01 02:10:00".
std::string PeopleTime(LocalMs t) {
    std::string text = IsoLocal(t);
    text[10] = ' ';
    return text;
}

std::string WhereText(const Series& series, std::size_t i) {
    std::string text;
    if (series.Timed()) text = PeopleTime(series.TimeOf(i)) + ", ";
    text += "sample " + std::to_string(i + 1);
    const Part& part = series.PartOf(i);
    if (series.Parts().size() > 1 || !series.Timed()) {
        const std::string what = series.Timed() ? "NO " : "record ";
        text += " (" + FileName(part.source) + ", " + what + std::to_string(series.NumberOf(i)) + ")";
    }
    return text;
}

// The band of a guidance profile a value falls in: the label of the highest level it is
// above, or "below" the first.
std::string BandOf(const ReferenceResult& r, double value, const Unit& unit, const Unit& shown) {
    std::string band = "below " + FourDigits(r.levels.front().value * Factor(unit, shown)) + " " + shown.name;
    for (const auto& level : r.levels)
        if (value > level.value) band = level.label;
    return band;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

class Json {
public:
    explicit Json(std::string& out) : out_(out) {}
    void Key(const char* key) {
        Separate();
        out_ += JsonString(key) + ": ";
        pendingValue_ = true;
    }
    void Raw(const std::string& text) {
        if (!pendingValue_) Separate();
        pendingValue_ = false;
        out_ += text;
    }
    void Number(const std::optional<double>& v) { Raw(v ? ExactNumber(*v) : "null"); }
    void Count(std::size_t n) { Raw(std::to_string(n)); }
    void String(const std::string& s) { Raw(JsonString(s)); }
    void Time(const std::optional<LocalMs>& t) { Raw(t ? JsonString(IsoLocal(*t)) : "null"); }
    void Open(char bracket) {
        if (!pendingValue_) Separate();
        pendingValue_ = false;
        out_ += bracket;
        first_ = true;
        ++depth_;
    }
    void Close(char bracket) {
        --depth_;
        out_ += "\n" + std::string(static_cast<std::size_t>(depth_) * 2, ' ') + bracket;
        first_ = false;
    }

private:
    void Separate() {
        if (!first_) out_ += ",";
        out_ += "\n" + std::string(static_cast<std::size_t>(depth_) * 2, ' ');
        first_ = false;
    }
    std::string& out_;
    bool first_ = true, pendingValue_ = false;
    int depth_ = 0;
};

void JsonStats(Json& j, const Series& series, Quantity q, const Stats& s,
               const std::optional<ReferenceResult>& reference, bool referenceAsked, const Unit& unit, double factor) {
    auto scaled = [factor](const std::optional<double>& v) -> std::optional<double> {
        return v ? std::optional<double>(*v * factor) : std::nullopt;
    };
    j.Key("samples"), j.Count(s.samples);
    j.Key("left_out"), j.Count(s.leftOut);
    j.Key("from"), j.Time(s.from);
    j.Key("to"), j.Time(s.to);
    j.Key("duration_s"),
        j.Number(series.Timed() ? std::optional<double>(static_cast<double>(s.durationMs) / 1000.0) : std::nullopt);
    j.Key("quantity"), j.String(QuantityName(q));
    j.Key("unit"), j.String(unit.name);
    for (const auto& [key, extreme] : {std::pair{"min", s.min}, std::pair{"max", s.max}}) {
        j.Key(key);
        if (!extreme) {
            j.Raw("null");
            continue;
        }
        j.Open('{');
        j.Key("value"), j.Number(extreme->value * factor);
        j.Key("time"), j.Time(series.Timed() ? std::optional<LocalMs>(series.TimeOf(extreme->sample)) : std::nullopt);
        j.Key("sample"), j.Count(extreme->sample + 1);
        j.Close('}');
    }
    j.Key("mean"), j.Number(scaled(s.mean));
    j.Key("geometric_mean"), j.Number(scaled(s.geometricMean));
    j.Key("geometric_mean_left_out"), j.Count(s.geometricLeftOut);
    j.Key("median"), j.Number(scaled(s.median));
    j.Key("p95"), j.Number(scaled(s.p95));
    j.Key("hi5"), j.Number(scaled(s.hi5));
    j.Key("above");
    j.Open('[');
    for (const Above& a : s.above) {
        j.Open('{');
        j.Key("threshold"), j.Number(a.threshold * factor);
        j.Key("percent"), j.Number(a.percent);
        j.Close('}');
    }
    j.Close(']');
    if (!referenceAsked) return;
    j.Key("reference");
    if (!reference) {
        j.Raw("null");
        return;
    }
    j.Open('{');
    j.Key("name"), j.String(reference->name);
    j.Key("id"), j.String(reference->id);
    j.Key("frequency_hz"), j.Number(reference->frequencyHz);
    j.Key("limit"), j.Number(scaled(reference->limit));
    j.Key("max_percent"), j.Number(reference->maxPercent);
    j.Key("mean_percent"), j.Number(reference->meanPercent);
    j.Key("percent_above"), j.Number(reference->limit ? std::optional<double>(reference->percentAbove) : std::nullopt);
    if (!reference->levels.empty()) {
        j.Key("levels");
        j.Open('[');
        for (const auto& level : reference->levels) {
            j.Open('{');
            j.Key("label"), j.String(level.label);
            j.Key("limit"), j.Number(level.value * factor);
            j.Key("percent_above"), j.Number(level.percentAbove);
            j.Close('}');
        }
        j.Close(']');
        if (s.max)
            j.Key("max_band"), j.String(BandOf(*reference, s.max->value, series.StoredUnit(), series.StoredUnit()));
        if (s.mean) j.Key("mean_band"), j.String(BandOf(*reference, *s.mean, series.StoredUnit(), series.StoredUnit()));
    }
    if (!reference->notApplicable.empty()) j.Key("not_applicable"), j.String(reference->notApplicable);
    j.Close('}');
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string GroupKey(const Group& g) {
    if (g.by == GroupBy::Hour) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:00", static_cast<int>(g.key));
        return buf;
    }
    return IsoDate(g.key);
}

}  // namespace

std::string DurationText(LocalMs ms) {
    const LocalMs days = ms / kMsPerDay;
    ms %= kMsPerDay;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(ms / kMsPerHour),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
    std::string text = buf;
    if (ms % 1000 != 0) {
        std::snprintf(buf, sizeof buf, ".%03lld", static_cast<long long>(ms % 1000));
        text += buf;
    }
    if (days > 0) text = std::to_string(days) + " d " + text;
    return text;
}

std::string ValueText(double value, const Unit& seriesUnit, const Unit& shown) {
    return FourDigits(value * Factor(seriesUnit, shown)) + " " + shown.name;
}

std::string SeriesSummary(const Series& series) {
    if (series.Parts().empty()) return "no samples";
    // Records of one file may lie in several parts (records of another kind between them).
    std::vector<std::string> sources;
    for (const Part& p : series.Parts())
        if (std::find(sources.begin(), sources.end(), p.source) == sources.end()) sources.push_back(p.source);
    std::string text = FileName(sources.front());
    const std::size_t more = sources.size() - 1;
    if (more > 0) {
        const char* what = series.Timed() ? (more == 1 ? " further part" : " further parts")
                                          : (more == 1 ? " further file" : " further files");
        text += " and " + std::to_string(more) + what;
    }
    text += ": " + std::to_string(series.Size()) + (series.Timed() ? " samples" : " records");
    if (series.Timed() && series.Parts().front().periodMs > 0)
        text += ", " + DurationText(series.Parts().front().periodMs) + " apart";
    return text;
}

std::vector<Row> StatRows(const Series& series, Quantity q, const Stats& s,
                          const std::optional<ReferenceResult>& reference, const Unit& shown) {
    const Unit& unit = series.StoredUnit();
    auto value = [&](const std::optional<double>& v) { return v ? ValueText(*v, unit, shown) : std::string("-"); };
    std::vector<Row> rows;
    rows.push_back({"Quantity", std::string(QuantityName(q)) + " in " + shown.name});
    if (series.Timed()) {
        rows.push_back({"From", s.from ? PeopleTime(*s.from) : "-"});
        rows.push_back({"To", s.to ? PeopleTime(*s.to) : "-"});
        rows.push_back({"Duration", DurationText(s.durationMs)});
    }
    rows.push_back({"Samples", std::to_string(s.samples)});
    rows.push_back({"O.L. left out", std::to_string(s.leftOut)});
    rows.push_back({"Minimum", s.min ? value(s.min->value) : "-"});
    rows.push_back({"  at", s.min ? WhereText(series, s.min->sample) : "-"});
    rows.push_back({"Maximum", s.max ? value(s.max->value) : "-"});
    rows.push_back({"  at", s.max ? WhereText(series, s.max->sample) : "-"});
    rows.push_back({"Mean", value(s.mean)});
    std::string geometric = value(s.geometricMean);
    if (s.geometricLeftOut > 0)
        geometric += " (" + std::to_string(s.geometricLeftOut) + " samples \xE2\x89\xA4 0 left out)";
    rows.push_back({"Geometric mean", geometric});
    rows.push_back({"Median", value(s.median)});
    rows.push_back({"95th percentile", value(s.p95)});
    rows.push_back({"Hi-5", value(s.hi5)});
    for (const Above& a : s.above) rows.push_back({"Above " + value(a.threshold), Percent(a.percent)});
    if (reference) {
        char hz[48];
        std::snprintf(hz, sizeof hz, "%g Hz", reference->frequencyHz);
        rows.push_back({"Reference", reference->name + ", at " + hz});
        if (!reference->limit) {
            rows.push_back({"", reference->notApplicable});
        } else if (reference->levels.empty()) {
            rows.push_back({"Limit", value(reference->limit)});
            rows.push_back({"Maximum of limit", reference->maxPercent ? Percent(*reference->maxPercent) : "-"});
            rows.push_back({"Mean of limit", reference->meanPercent ? Percent(*reference->meanPercent) : "-"});
            rows.push_back({"Above the limit", Percent(reference->percentAbove)});
        } else {
            for (const auto& level : reference->levels)
                rows.push_back({"Above " + value(level.value), Percent(level.percentAbove)});
            rows.push_back({"Band of the maximum", s.max ? BandOf(*reference, s.max->value, unit, shown) : "-"});
            rows.push_back({"Band of the mean", s.mean ? BandOf(*reference, *s.mean, unit, shown) : "-"});
        }
    }
    return rows;
}

std::string RowsText(const std::vector<Row>& rows) {
    std::size_t width = 0;
    for (const Row& r : rows) width = std::max(width, r.label.size());
    std::string text;
    for (const Row& r : rows) {
        text += r.label;
        text += std::string(width - r.label.size() + 2, ' ');
        text += r.text;
        text += '\n';
    }
    return text;
}

std::string TextReport(const Series& series, const Evaluation& e, const Unit& shown) {
    std::string text = SeriesSummary(series) + "\n\n";
    text += RowsText(StatRows(series, e.quantity, e.stats, e.reference, shown));
    for (const GroupResult& g : e.groups) {
        text += "\n" + std::string(g.group.by == GroupBy::Hour ? "Hour " : "Day ") + GroupKey(g.group) + "\n";
        text += RowsText(StatRows(series, e.quantity, g.group.stats, g.reference, shown));
    }
    if (!e.notes.empty()) {
        text += "\n";
        for (const std::string& n : e.notes) text += n + "\n";
    }
    return text;
}

std::string CsvReport(const Series& series, const Evaluation& e, const Unit& shown) {
    const double f = Factor(e.unit, shown);
    std::string text =
        "scope,from,to,duration_s,samples,left_out,quantity,unit,min,min_time,min_sample,max,max_time,"
        "max_sample,mean,geometric_mean,geometric_mean_left_out,median,p95,hi5";
    for (const Above& a : e.stats.above) text += ",above_" + ExactNumber(a.threshold * f);
    const bool reference = e.reference.has_value();
    if (reference) text += ",reference,frequency_hz,limit,max_percent,mean_percent,percent_above";
    text += "\r\n";
    auto number = [](const std::optional<double>& v) { return v ? ExactNumber(*v) : std::string(); };
    auto scaled = [&](const std::optional<double>& v) { return v ? ExactNumber(*v * f) : std::string(); };
    auto time = [](const std::optional<LocalMs>& t) { return t ? IsoLocal(*t) : std::string(); };
    auto line = [&](const std::string& scope, const Stats& s, const std::optional<ReferenceResult>& r) {
        std::string l = CsvField(scope) + "," + time(s.from) + "," + time(s.to) + "," +
                        (series.Timed() ? ExactNumber(static_cast<double>(s.durationMs) / 1000.0) : std::string()) +
                        "," + std::to_string(s.samples) + "," + std::to_string(s.leftOut) + "," +
                        QuantityName(e.quantity) + "," + CsvField(shown.name);
        for (const auto& extreme : {s.min, s.max}) {
            if (!extreme) {
                l += ",,,";
                continue;
            }
            l += "," + ExactNumber(extreme->value * f) + "," +
                 (series.Timed() ? IsoLocal(series.TimeOf(extreme->sample)) : std::string()) + "," +
                 std::to_string(extreme->sample + 1);
        }
        l += "," + scaled(s.mean) + "," + scaled(s.geometricMean) + "," + std::to_string(s.geometricLeftOut) + "," +
             scaled(s.median) + "," + scaled(s.p95) + "," + scaled(s.hi5);
        for (const Above& a : s.above) l += "," + ExactNumber(a.percent);
        if (reference) {
            l += "," + CsvField(r ? r->name : std::string()) + "," + (r ? ExactNumber(r->frequencyHz) : std::string()) +
                 "," + (r ? scaled(r->limit) : std::string()) + "," + (r ? number(r->maxPercent) : std::string()) +
                 "," + (r ? number(r->meanPercent) : std::string()) + "," +
                 (r && r->limit ? ExactNumber(r->percentAbove) : std::string());
        }
        return l + "\r\n";
    };
    text += line("all", e.stats, e.reference);
    for (const GroupResult& g : e.groups) text += line(GroupKey(g.group), g.group.stats, g.reference);
    return text;
}

std::string JsonReport(const Series& series, const Evaluation& e, const Unit& shown) {
    const double f = Factor(e.unit, shown);
    std::string out;
    Json j(out);
    j.Open('{');
    JsonStats(j, series, e.quantity, e.stats, e.reference, e.reference.has_value(), shown, f);
    if (!e.groups.empty()) {
        j.Key("by");
        j.Open('[');
        for (const GroupResult& g : e.groups) {
            j.Open('{');
            if (g.group.by == GroupBy::Hour) j.Key("hour"), j.Count(static_cast<std::size_t>(g.group.key));
            else j.Key("day"), j.String(IsoDate(g.group.key));
            JsonStats(j, series, e.quantity, g.group.stats, g.reference, e.reference.has_value(), shown, f);
            j.Close('}');
        }
        j.Close(']');
    }
    j.Key("notes");
    j.Open('[');
    for (const std::string& n : e.notes) j.String(n);
    j.Close(']');
    j.Close('}');
    return out + "\n";
}

}  // namespace tessera::survey
