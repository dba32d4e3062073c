#include "survey/SurveyReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "entire_read/EntireReadModel.h"
#include "entire_read/RecordNotes.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerTables.h"
#include "logger/RunMarks.h"
#include "page/Sidecar.h"
#include "page/Texts.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "settings/MeterSettings.h"
#include "settings/Vocabulary.h"
#include "survey/Sources.h"

namespace tessera::survey {
namespace {

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OrNot(const std::string& text, const char* missing) { return text.empty() ? missing : text; }

// "0.25 s", "1 s", "3 min": the sampling period as people say it.
std::string PeriodText(LocalMs ms) {
    char text[32];
    if (ms <= 0) return {};
    if (ms % 60000 == 0) std::snprintf(text, sizeof text, "%lld min", static_cast<long long>(ms / 60000));
    else if (ms % 1000 == 0) std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(ms / 1000));
    else std::snprintf(text, sizeof text, "%g s", static_cast<double>(ms) / 1000.0);
    return text;
}

// A share of a limit as a table shows it: as many digits as tell values apart, no more.
std::string PercentText(double percent) {
    char text[32];
    // Bounds where the shorter form's rounding begins (9.96 is "10", not "10.0").
    if (percent >= 9.95) std::snprintf(text, sizeof text, "%.0f", percent);
    else if (percent >= 0.995) std::snprintf(text, sizeof text, "%.1f", percent);
    else if (percent >= 0.005) std::snprintf(text, sizeof text, "%.2f", percent);
    else return "< 0.01";
    return text;
}

std::string SensorText(char code) {
    if (code == '1') return "8621";
    if (code == '2') return "8622";
    return {};
}

// The unit values are shown in: the person's, else a readable one for the data.
Unit ShownUnit(const ReportFields& f, const Series& s) {
    if (f.unit && SameFamily(*f.unit, s.StoredUnit())) return *f.unit;
    return ReadableUnit(s.StoredUnit());
}

// The Entire Read table's display unit for a unit shown (the page formats its own texts).
int DisplayUnitOf(const Unit& u) {
    const auto d = entire_read::DisplayUnitFromText(u.name);
    return d && *d != entire_read::kOriginalUnit ? *d : entire_read::kUnitMicroTesla;
}

std::vector<double> ThresholdsIn(const ReportFields& f, const Series& s) {
    std::vector<double> out;
    for (const TypedValue& t : f.thresholds) {
        const Unit in = t.unit.value_or(ShownUnit(f, s));
        if (SameFamily(in, s.StoredUnit())) out.push_back(t.value * Factor(in, s.StoredUnit()));
    }
    return out;
}

std::string ReferenceText(const ReportFields& f) {
    if (!f.reference) return "none chosen";
    char hz[32];
    std::snprintf(hz, sizeof hz, "%g Hz", f.frequencyHz);
    std::string text = f.reference->name;
    if (!f.reference->id.empty() && f.reference->id != f.reference->name) text += " (" + f.reference->id + ")";
    text += ", at " + std::string(hz);
    const auto limit = f.reference->LimitAt(f.frequencyHz);
    if (f.reference->Guidance()) {
        std::string levels;
        for (const GuidanceLevel& l : f.reference->levels)
            levels += (levels.empty() ? "" : ", ") + FourDigits(l.tesla * 1e9) + " nT " + l.label;
        text += ": levels " + levels;
    } else if (limit) {
        text += ": limit " + FourDigits(*limit * 1e6) + " uT";
    } else {
        text += ": the profile does not cover this frequency";
    }
    return text;
}

void Add(SurveyReport& r, Block::Kind kind, std::string text) {
    Block b;
    b.kind = kind;
    b.text = std::move(text);
    r.blocks.push_back(std::move(b));
}

void AddFacts(SurveyReport& r, std::vector<Row> rows, int columns = 1) {
    Block b;
    b.kind = Block::Facts;
    b.facts = std::move(rows);
    b.columns = columns;
    r.blocks.push_back(std::move(b));
}

void AddTable(SurveyReport& r, ReportTable table) {
    Block b;
    b.kind = Block::Table;
    b.table = std::move(table);
    r.blocks.push_back(std::move(b));
}

std::string ModesOf(const std::vector<link::MemoryRecord>& records) {
    std::set<char> modes;
    for (const auto& rec : records) modes.insert(rec.mode);
    std::string text;
    for (char m : modes) text += (text.empty() ? "" : "; ") + settings::ModeText(m);
    return text;
}

std::string RangesOf(const std::vector<link::MemoryRecord>& records) {
    std::set<std::string> ranges;
    for (const auto& rec : records) {
        const std::string r = entire_read::RangeFileText(rec.unit, rec.range % 10);
        if (!r.empty()) ranges.insert(r);
    }
    std::string text;
    for (const std::string& r : ranges) text += (text.empty() ? "" : ", ") + r;
    return text;
}

void AddRun(SurveyReport& r, const ReportInput& in, const RunInput& run, int number) {
    const ReportFields& f = in.fields;
    const Series& s = run.series;
    Add(r, Block::Heading, std::string(kRunHeading) + " " + std::to_string(number) + ": " + FileName(run.name));
    Add(r, Block::Small, SeriesSummary(s));
    Request request;
    request.quantity = kR;
    request.reference = f.reference;
    request.frequencyHz = f.frequencyHz;
    request.thresholds = ThresholdsIn(f, s);
    const Unit shown = ShownUnit(f, s);
    const Evaluation e = Evaluate(s, request);

    Block graph;
    graph.kind = Block::Graph;
    auto drawn = std::make_shared<Series>(s);
    drawn->marks.clear();
    for (const ReportMarker& m : run.markers) drawn->marks.push_back({m.sample, m.text});
    graph.graph.series = std::move(drawn);
    graph.graph.quantity = kR;
    graph.graph.unit = shown;
    graph.graph.reference = s.ExposureLevels() ? std::nullopt : f.reference;
    graph.graph.frequencyHz = f.frequencyHz;
    for (double t : request.thresholds) graph.graph.thresholds.push_back(t * Factor(s.StoredUnit(), shown));
    graph.graph.markers = run.markers;
    r.blocks.push_back(std::move(graph));
    AddFacts(r, StatRows(s, kR, e.stats, e.reference, shown), 2);

    if (!run.markers.empty()) {
        ReportTable marks;
        marks.head = {"Mark", "Sample", "Time", "R (" + shown.name + ")"};
        marks.widths = {0.45, 0.1, 0.27, 0.18};
        marks.numeric = {false, true, false, true};
        for (const ReportMarker& m : run.markers) {
            if (m.sample >= s.Size()) continue;
            const std::string value = s.Over(kR, m.sample)
                                          ? std::string(entire_read::kOverloadText)
                                          : FourDigits(s.Value(kR, m.sample) * Factor(s.StoredUnit(), shown));
            std::string time = IsoLocal(s.TimeOf(m.sample));
            std::replace(time.begin(), time.end(), 'T', ' ');
            marks.rows.push_back({m.text, std::to_string(s.NumberOf(m.sample)), time, value});
        }
        AddTable(r, std::move(marks));
    }
    for (const std::string& note : e.notes) Add(r, Block::Small, note);
}

void AddTableOfRecords(SurveyReport& r, const ReportInput& in, const TableInput& t) {
    const ReportFields& f = in.fields;
    Add(r, Block::Heading, std::string(kTableHeading) + ": " + FileName(t.name));
    const Series s = FromRecords(t.records, t.values, t.name, kAllChannels);
    if (s.Empty()) {
        Add(r, Block::Paragraph, "The file holds no record.");
        return;
    }
    const Unit shown = ShownUnit(f, s);
    Request request;
    request.reference = f.reference;
    request.frequencyHz = f.frequencyHz;
    request.thresholds = ThresholdsIn(f, s);
    const Evaluation e = Evaluate(s, request);
    AddFacts(r, StatRows(s, kR, e.stats, e.reference, shown), 2);

    // Each record as the Entire Read table shows it (its own rule for "O.L." and the
    // accuracy band), with its share of the reference and the notes kept beside the file.
    const bool percent = s.StoredUnit().family == Family::Percent;
    const int displayUnit = percent ? entire_read::kOriginalUnit : DisplayUnitOf(shown);
    double limit = 0;  // in tesla; 0: no share to give
    if (f.reference && !percent) limit = f.reference->LimitAt(f.frequencyHz).value_or(0.0);
    const std::string unitName = percent ? "%" : std::string(entire_read::DisplayUnitText(displayUnit));
    ReportTable table;
    table.head = {"No.",    "R (" + unitName + ")", "Accuracy band", "% of ref.", "Location",
                  "Height", "Source, distance",     "Note"};
    table.widths = {0.05, 0.10, 0.15, 0.09, 0.17, 0.09, 0.16, 0.19};
    table.numeric = {true, true, true, true, false, false, false, false};
    const Unit tesla = *UnitNamed("T");
    for (std::size_t i = 0; i < t.records.size() && i < t.values.size(); ++i) {
        const link::MemoryRecord& rec = t.records[i];
        const entire_read::FormattedRow row =
            entire_read::FormatRow(static_cast<int>(i), rec, t.values[i], displayUnit);
        const int number = static_cast<int>(i) + 1;
        std::string band = row.bandComputed ? row.texts.minus + " \xE2\x80\x93 " + row.texts.plus : std::string();
        std::string share = "\xE2\x80\x93";
        const auto own = UnitOfCode(rec.unit);
        if (limit > 0 && own && own->family == Family::Magnetic && row.texts.R != entire_read::kOverloadText &&
            !row.texts.R.empty()) {
            share = PercentText(t.values[i].R * Factor(*own, tesla) / limit * 100.0);
        }
        // A record of the other kind (an exposure level among flux densities, or the other way
        // round) is shown in its own unit, which the column's head does not name: its cell does.
        std::string value = row.texts.R;
        if (own && (own->family == Family::Percent) != percent && !value.empty() && value != entire_read::kOverloadText)
            value += " " + own->name;
        std::vector<std::string> cells = {std::to_string(number), value, band, share, "", "", "", ""};
        for (const RecordNote& n : t.notes) {
            if (n.number != number) continue;
            cells[4] = n.location;
            cells[5] = n.height;
            cells[6] = n.source;
            cells[7] = n.note;
        }
        table.rows.push_back(std::move(cells));
    }
    AddTable(r, std::move(table));
    for (const std::string& note : e.notes) Add(r, Block::Small, note);
    for (const std::string& remark : t.remarks) Add(r, Block::Small, remark);
}

}  // namespace

SurveyReport BuildReport(const ReportInput& in) {
    const ReportFields& f = in.fields;
    SurveyReport r;
    const std::string title = f.title.empty() ? std::string("Magnetic field survey") : f.title;
    r.documentName = title;
    r.footer = title + (f.site.empty() ? "" : " \xE2\x80\x93 " + f.site) + (f.date.empty() ? "" : ", " + f.date);

    // The cover block.
    Add(r, Block::Title, title);
    std::vector<Row> cover;
    if (!f.site.empty()) cover.push_back({"Site", f.site});
    if (!f.client.empty()) cover.push_back({"Client", f.client});
    if (!f.operatorName.empty()) cover.push_back({"Surveyed by", f.operatorName});
    if (!f.date.empty()) cover.push_back({"Report date", f.date});
    std::optional<LocalMs> first, last;
    for (const RunInput& run : in.runs) {
        if (run.series.Empty()) continue;
        const LocalMs a = run.series.TimeOf(0), b = run.series.TimeOf(run.series.Size() - 1);
        first = first ? std::min(*first, a) : a;
        last = last ? std::max(*last, b) : b;
    }
    if (first) {
        std::string a = IsoLocal(*first), b = IsoLocal(*last);
        std::replace(a.begin(), a.end(), 'T', ' ');
        std::replace(b.begin(), b.end(), 'T', ' ');
        cover.push_back({"Measured", a + " to " + b});
    }
    std::string covers;
    if (!in.runs.empty()) covers = std::to_string(in.runs.size()) + " logging run(s)";
    if (!in.tables.empty())
        covers += (covers.empty() ? "" : ", ") + std::to_string(in.tables.size()) + " table(s) of stored records";
    cover.push_back({"Covers", covers.empty() ? std::string("no data") : covers});
    AddFacts(r, std::move(cover));
    if (!f.remarks.empty()) Add(r, Block::Paragraph, f.remarks);

    // The instrument.
    Add(r, Block::Heading, kInstrumentHeading);
    std::set<std::string> sensors;
    if (!f.sensor.empty()) sensors.insert(f.sensor);
    for (const RunInput& run : in.runs)
        if (f.sensor.empty() && !run.sensor.empty()) sensors.insert(run.sensor);
    for (const TableInput& t : in.tables)
        for (const auto& rec : t.records)
            if (f.sensor.empty() && !SensorText(rec.sensor).empty()) sensors.insert(SensorText(rec.sensor));
    std::string sensorText;
    for (const std::string& s : sensors) sensorText += (sensorText.empty() ? "" : ", ") + s;
    AddFacts(r, {{"Meter", "TAVIK QM8620 three-axis magnetic field meter"},
                 {"Sensor", OrNot(sensorText, "not recorded in the files")},
                 {"Serial number", OrNot(f.serial, "not stated")},
                 {"Calibration", OrNot(f.calibration, "not stated")},
                 {"Software", OrNot(f.software, "TESSERA")}});

    // The method.
    Add(r, Block::Heading, kMethodHeading);
    ReportTable method;
    method.head = {"Data", "Measurement mode", "Range", "Sampling", "Unit"};
    method.widths = {0.22, 0.34, 0.14, 0.18, 0.12};
    method.numeric = {false, false, false, false, false};
    int number = 0;
    for (const RunInput& run : in.runs) {
        const std::string sampling = run.period.empty()
                                         ? std::string("\xE2\x80\x93")
                                         : "every " + run.period + (run.method.empty() ? "" : ", " + run.method);
        method.rows.push_back({"Run " + std::to_string(++number) + ": " + FileName(run.name),
                               OrNot(run.mode, "not recorded"), OrNot(run.range, "\xE2\x80\x93"), sampling,
                               run.series.StoredUnit().name});
    }
    for (const TableInput& t : in.tables) {
        const Series s = FromRecords(t.records, t.values, t.name, ChannelOf(kR));
        method.rows.push_back({FileName(t.name), OrNot(ModesOf(t.records), "\xE2\x80\x93"),
                               OrNot(RangesOf(t.records), "\xE2\x80\x93"),
                               std::to_string(t.records.size()) + " stored record(s)", s.StoredUnit().name});
    }
    if (!method.rows.empty()) AddTable(r, std::move(method));
    std::vector<Row> judged = {{"Quantity", "R, the resultant of the three axes x, y and z"},
                               {"Reference", ReferenceText(f)}};
    if (!f.thresholds.empty()) {
        std::string t;
        for (const TypedValue& v : f.thresholds)
            t += (t.empty() ? "" : ", ") + FourDigits(v.value) + (v.unit ? " " + v.unit->name : "");
        judged.push_back({"Thresholds", t});
    }
    AddFacts(r, std::move(judged));

    number = 0;
    for (const RunInput& run : in.runs) AddRun(r, in, run, ++number);
    for (const TableInput& t : in.tables) AddTableOfRecords(r, in, t);

    // What the figures do and do not show.
    Add(r, Block::Heading, kReadingHeading);
    char hz[32];
    std::snprintf(hz, sizeof hz, "%g Hz", f.frequencyHz);
    std::string closing =
        f.reference
            ? "The meter does not measure the frequency of the field: the reference values above are those at " +
                  std::string(hz) + ", the frequency chosen for this report. "
            : std::string(
                  "No reference level was chosen for this report (a reference level depends on the "
                  "frequency of the field, which the meter does not measure). ");
    closing +=
        "The figures are effective (RMS) values of the magnetic flux density over the band of the meter's "
        "measurement mode, R combining the three axes; they describe the field at the places and times measured, "
        "not at others.";
    if (!in.runs.empty()) closing += " A logger sample is the value its sampling method took over its period.";
    closing += in.tables.empty() ? " Every reading lies within the meter's accuracy band for its range"
                                 : " Every reading lies within the meter's accuracy band (given per record above)";
    closing += ", so a value close to a level may lie on either side of it.";
    if (f.reference)
        closing += " A share of a reference compares with that reference only; it assesses no other limit.";
    for (const RunInput& run : in.runs) {
        const std::string remark = FrequencyRemark(run.series, f.frequencyHz);
        if (!remark.empty()) {
            closing += " " + remark;
            break;
        }
    }
    Add(r, Block::Paragraph, closing);
    return r;
}

RunInput RunFromSeries(const Series& series, const std::string& name) {
    RunInput run;
    run.name = name;
    run.series = series;
    if (series.Parts().empty()) return run;
    // The marks set during the run come with the series; the sensor from the first file's sidecar that names it.
    for (const SeriesMark& m : series.marks) run.markers.push_back({m.sample, m.text});
    for (const Part& part : series.Parts()) {
        if (!part.timed || !run.sensor.empty()) continue;
        if (const auto marks = logger::ReadMarksFile(part.source)) run.sensor = SensorText(marks->marks.sensor);
    }
    const Part& p = series.Parts().front();
    run.mode = settings::ModeText(p.mode);
    run.period = PeriodText(p.periodMs);
    // A file says more: the range and the sampling method.
    std::ifstream file = platform::OpenInput(p.source);
    std::vector<std::string> lines;
    for (std::string line; lines.size() < 11 && std::getline(file, line);)
        lines.push_back(logger::TrimLine(line.substr(0, std::min<std::size_t>(line.size(), 999))));
    const auto parsed = logger::ParseHeader(lines);
    if (const auto* h = std::get_if<logger::ParsedHeader>(&parsed)) {
        run.range = std::string(h->record.range >= 10 ? "auto, " : "fixed, ") +
                    logger::RangeText(h->record.unit, h->record.range % 10);
        run.method = logger::MethodText(h->method);
        if (h->record.slow == '1') run.period += " (slow response)";
    }
    return run;
}

std::variant<ReadSources, std::string> ReadReportSources(const std::vector<std::string>& paths) {
    ReadSources out;
    std::set<std::string> taken;  // parts that came along with a run named earlier
    for (const std::string& path : paths) {
        if (taken.count(path)) continue;
        if (!platform::FileExists(path)) return page::FileNotFoundMessage(path);
        const auto first = logger::FirstLine(path);
        if (first && first->find(page::kEntireReadBannerKey) != std::string::npos) {
            // Records: read as the page reads them, keeping each record's own bytes.
            struct Quiet final : page::Prompter {
                std::string message;
                page::Answer AskYesNo(const page::Question& q) override {
                    return q.topic == page::Topic::SkipBadLine ? page::Answer::Yes : page::Answer::No;
                }
                page::Answer AskYesNoCancel(const page::Question&) override { return page::Answer::Cancel; }
                void Inform(const std::string& m) override {
                    if (message.empty()) message = m;
                }
                std::string ChooseOpenFile(const page::FileFilter&) override { return {}; }
                std::string ChooseSaveFile(const page::FileFilter&) override { return {}; }
                std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override {
                    return std::nullopt;
                }
            } prompter;
            const auto read = entire_read::ReadCsvRecords(path, prompter);
            if (!read)
                return "\"" + path + "\": " + (prompter.message.empty() ? "could not be read." : prompter.message);
            TableInput t;
            t.name = path;
            t.records = read->records;
            t.values = read->values;
            if (const auto notes = entire_read::ReadNotes(path)) {
                for (const auto& [number, n] : notes->notes)
                    t.notes.push_back({number, n.location, n.height, n.source, n.note});
                // Said in the client's document by the sidecar's name only: the folders it lay
                // in on the surveyor's computer are nobody else's business.
                if (notes->skippedLines > 0)
                    t.remarks.push_back(FileName(entire_read::NotesPath(path)) + ": " +
                                        page::LinesNotReadText(notes->skippedLines));
            }
            out.tables.push_back(std::move(t));
            taken.insert(path);
            continue;
        }
        auto read = ReadFiles({path});
        if (auto* message = std::get_if<std::string>(&read)) return *message;
        const Series& series = std::get<Series>(read);
        RunInput run = RunFromSeries(series, path);
        for (const Part& p : series.Parts()) taken.insert(p.source);
        out.runs.push_back(std::move(run));
    }
    return out;
}

}  // namespace tessera::survey
