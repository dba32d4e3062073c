#include "survey/Export.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "TesseraVersion.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/LoggerTables.h"
#include "logger/RunMarks.h"
#include "page/Sidecar.h"
#include "platform/Files.h"
#include "settings/Vocabulary.h"

namespace tessera::survey {
namespace {

constexpr int kSignificantDigits = 10;
constexpr std::size_t kBatchSamples = 1 << 16;  // per thread and batch

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AppendNumber(std::string& out, double v, const std::string& decimal) {
    char text[48];
    // The shortest text that reads back as the same value; a value that needs more than ten
    // significant digits for that carries a conversion's binary noise and is rounded to ten.
    auto r = std::to_chars(text, text + sizeof text, v);
    if (r.ptr - text > 16)
        r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, kSignificantDigits);
    const std::string_view written(text, static_cast<std::size_t>(r.ptr - text));
    const auto point = decimal == "." ? std::string_view::npos : written.find('.');
    if (point == std::string_view::npos) {
        out += written;
        return;
    }
    out += written.substr(0, point);
    out += decimal;
    out += written.substr(point + 1);
}

void AppendDigits(std::string& out, int value, int width) {
    char text[12];
    for (int i = width - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(text, static_cast<std::size_t>(width));
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// The first lines of a file (a logger header), at most `count`.
std::vector<std::string> FirstLines(const std::string& path, int count) {
    std::ifstream in = platform::OpenInput(path);
    std::vector<std::string> lines;
    std::string line;
    while (static_cast<int>(lines.size()) < count && std::getline(in, line)) lines.push_back(logger::TrimLine(line));
    return lines;
}

// A logger header line "3 RANGE,auto,2mT" as a fact ("range", "auto, 2mT"); the start time,
// the unit and the lines without settings give none (every row has its time; the unit of
// the values is said once, as written).
std::optional<std::pair<std::string, std::string>> HeaderFact(const std::string& line) {
    static const std::pair<const char*, const char*> kKeys[] = {
        {"1 MODE,", "mode"},
        {"3 RANGE,", "range"},
        {"4 OUTPUT,", "output"},
        {"5 SLOW,", "slow"},
        {"7 SAMPLING PERIOD,", "period"},
        {"8 SAMPLING METHOD,", "method"},
    };
    for (const auto& [prefix, key] : kKeys) {
        const std::string_view p(prefix);
        if (line.compare(0, p.size(), p) != 0) continue;
        std::string value = line.substr(p.size());
        for (std::size_t at = value.find(','); at != std::string::npos; at = value.find(',', at + 2))
            value.replace(at, 1, ", ");
        return std::make_pair(std::string(key), value);
    }
    return std::nullopt;
}

std::string InstrumentText(char sensor) {
    std::string text = "TAVIK QM8620";
    if (sensor == '1' || sensor == '2') text += ", sensor " + settings::SensorCsvText(sensor);
    return text;
}

void AddCommonHead(ExportFacts& out, const std::string& instrument) {
    out.facts.push_back({"export", "TESSERA open export"});
    out.facts.push_back({"instrument", instrument});
}

void AddCommonTail(ExportFacts& out, const Unit& shown, const std::vector<std::string>& sources) {
    out.facts.push_back({"unit", shown.name});
    out.facts.push_back({"software", std::string(TESSERA_PRODUCT_TITLE) + " " + TESSERA_VERSION});
    for (const std::string& s : sources) out.facts.push_back({"source", s});
    out.facts.push_back({"O.L.", "an empty field (null in JSON Lines): over range, no measurement"});
}

}  // namespace

std::optional<ExportForm> ExportFormNamed(std::string_view name) {
    if (name == "open-csv" || name == "csv") return ExportForm::OpenCsv;
    if (name == "jsonl") return ExportForm::Jsonl;
    if (name == "spreadsheet") return ExportForm::Spreadsheet;
    return std::nullopt;
}

RowForm::RowForm(ExportForm form, const Unit& stored, const Unit& shown, const platform::NumberMarks& marks)
    : form_(form), shown_(shown), factor_(Factor(stored, shown)) {
    decimal_ = form == ExportForm::Spreadsheet ? marks.decimal : ".";
    separator_ = form == ExportForm::Spreadsheet ? marks.separator : ",";
    unitJson_ = ",\"unit\":" + JsonString(shown.name) + "}";
}

std::string RowForm::HeadLine(bool timed) const {
    if (form_ == ExportForm::Jsonl) return {};
    const std::string& s = separator_;
    return std::string(timed ? "time" : "record") + s + "x" + s + "y" + s + "z" + s + "R";
}

void RowForm::AppendTime(std::string& out, LocalMs time, std::optional<int> offsetMinutes) const {
    const LocalMs day = DayOf(time);
    if (day != day_) {
        const CivilTime c = FromLocalMs(day);
        dayText_.clear();
        AppendDigits(dayText_, c.year, 4);
        dayText_ += '-';
        AppendDigits(dayText_, c.month, 2);
        dayText_ += '-';
        AppendDigits(dayText_, c.day, 2);
        dayText_ += 'T';
        day_ = day;
    }
    out += dayText_;
    // "HH:MM:SS.mmm" in one piece.
    const auto ms = static_cast<int>(time - day);
    const int parts[] = {ms / 3600000, ms / 60000 % 60, ms / 1000 % 60};
    char text[12] = {0, 0, ':', 0, 0, ':', 0, 0, '.', 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        text[3 * i] = static_cast<char>('0' + parts[i] / 10);
        text[3 * i + 1] = static_cast<char>('0' + parts[i] % 10);
    }
    text[9] = static_cast<char>('0' + ms % 1000 / 100);
    text[10] = static_cast<char>('0' + ms % 100 / 10);
    text[11] = static_cast<char>('0' + ms % 10);
    out.append(text, sizeof text);
    if (offsetMinutes) {
        if (offsetFor_ != offsetMinutes) {
            offsetFor_ = offsetMinutes;
            offsetText_ = page::OffsetText(*offsetMinutes);
        }
        out += offsetText_;
    }
}

void RowForm::AppendValues(std::string& out, const std::array<double, 4>& xyzR, std::uint8_t overMask) const {
    static constexpr Quantity kOrder[] = {kX, kY, kZ, kR};
    static constexpr const char* kJsonNames[] = {",\"x\":", ",\"y\":", ",\"z\":", ",\"R\":"};
    for (int i = 0; i < 4; ++i) {
        const Quantity q = kOrder[i];
        const bool over = (overMask & ChannelOf(q)) != 0;
        if (form_ == ExportForm::Jsonl) {
            out += kJsonNames[i];
            if (over) out += "null";
            else AppendNumber(out, xyzR[q] * factor_, decimal_);
        } else {
            out += separator_;
            if (!over) AppendNumber(out, xyzR[q] * factor_, decimal_);
        }
    }
    if (form_ == ExportForm::Jsonl) out += unitJson_;
    out += '\n';
}

void RowForm::AppendTimed(std::string& out, LocalMs time, std::optional<int> offsetMinutes,
                          const std::array<double, 4>& xyzR, std::uint8_t overMask) const {
    if (form_ == ExportForm::Jsonl) {
        out += "{\"time\":\"";
        AppendTime(out, time, offsetMinutes);
        out += '"';
    } else {
        AppendTime(out, time, offsetMinutes);
    }
    AppendValues(out, xyzR, overMask);
}

void RowForm::AppendRecord(std::string& out, int number, const std::array<double, 4>& xyzR,
                           std::uint8_t overMask) const {
    if (form_ == ExportForm::Jsonl) out += "{\"record\":";
    out += std::to_string(number);
    AppendValues(out, xyzR, overMask);
}

std::string ExportHead(const RowForm& form, const ExportFacts& facts, bool timed) {
    if (form.Form() == ExportForm::Jsonl) return {};
    std::string out;
    for (const auto& [key, value] : facts.facts) {
        std::string line = value;
        std::replace(line.begin(), line.end(), '\n', ' ');
        out += "# " + key + ": " + line + "\n";
    }
    return out + form.HeadLine(timed) + "\n";
}

bool WriteExport(const Series& series, const ExportFacts& facts, const RowForm& form,
                 const std::function<bool(std::string_view)>& sink, const Progress& progress, int threads) {
    const bool timed = series.Timed();
    if (!sink(ExportHead(form, facts, timed))) return false;
    const std::size_t n = series.Size();
    const unsigned workers =
        std::max(1u, threads > 0 ? static_cast<unsigned>(threads) : std::thread::hardware_concurrency());
    auto value = [&series](Quantity q, std::size_t i) { return series.Has(q) ? series.Value(q, i) : 0.0; };
    // Rows [from, to) into `out`, with a row form of its own (its day cache is its own).
    auto rows = [&](std::size_t from, std::size_t to, std::string& out) {
        RowForm local = form;
        out.clear();
        out.reserve((to - from) * 96);
        std::size_t i = from;
        while (i < to) {
            const Part& part = series.PartOf(i);
            const std::size_t partIndex = static_cast<std::size_t>(&part - series.Parts().data());
            const std::optional<int> offset =
                partIndex < facts.partOffsets.size() ? facts.partOffsets[partIndex] : std::nullopt;
            const std::size_t end = std::min(to, part.first + part.count);
            for (; i < end; ++i) {
                const std::array<double, 4> v{value(kX, i), value(kY, i), value(kZ, i), value(kR, i)};
                const std::size_t k = i - part.first;
                if (timed) {
                    local.AppendTimed(out, part.start + static_cast<LocalMs>(k) * part.periodMs, offset, v,
                                      series.OverMask(i));
                } else {
                    local.AppendRecord(out, part.firstNumber + static_cast<int>(k), v, series.OverMask(i));
                }
            }
        }
    };
    std::vector<std::string> pieces(workers);
    for (std::size_t begin = 0; begin < n;) {
        const std::size_t batch = std::min<std::size_t>(n - begin, kBatchSamples * workers);
        const std::size_t each = (batch + workers - 1) / workers;
        std::vector<std::thread> pool;
        for (unsigned w = 1; w < workers; ++w) {
            const std::size_t from = std::min(begin + w * each, begin + batch),
                              to = std::min(from + each, begin + batch);
            pool.emplace_back([&, w, from, to] { rows(from, to, pieces[w]); });
        }
        rows(begin, std::min(begin + each, begin + batch), pieces[0]);
        for (auto& t : pool) t.join();
        for (const std::string& piece : pieces)
            if (!piece.empty() && !sink(piece)) return false;
        begin += batch;
        if (progress && !progress(static_cast<double>(begin) / static_cast<double>(n))) return false;
    }
    return true;
}

ExportFacts FactsOfFiles(const Series& series, const Unit& shown) {
    ExportFacts out;
    std::vector<std::string> sources;
    if (!series.Timed()) {
        ExportFacts records = FactsOfRecords(series, shown);
        return records;
    }
    // Each part's settings and its run's sidecar; a setting that differs between parts is
    // given with the files it holds for.
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>
        settings;  // key -> (value, files)
    char sensor = 0;
    bool sensorsDiffer = false;
    for (const Part& part : series.Parts()) {
        sources.push_back(part.source);
        for (const std::string& line : FirstLines(part.source, 11)) {
            const auto fact = HeaderFact(line);
            if (!fact) continue;
            auto key =
                std::find_if(settings.begin(), settings.end(), [&](const auto& s) { return s.first == fact->first; });
            if (key == settings.end()) {
                settings.push_back({fact->first, {}});
                key = settings.end() - 1;
            }
            auto value = std::find_if(key->second.begin(), key->second.end(),
                                      [&](const auto& v) { return v.first == fact->second; });
            if (value == key->second.end()) key->second.push_back({fact->second, FileName(part.source)});
            else value->second += ", " + FileName(part.source);
        }
        std::optional<int> offset;
        // A run's sidecar that cannot be read costs its facts only, never the export.
        if (const auto marks = logger::ReadMarksFile(part.source)) {
            offset = marks->marks.utcOffsetMinutes;
            if (marks->marks.sensor != 0) {
                if (sensor != 0 && sensor != marks->marks.sensor) sensorsDiffer = true;
                sensor = marks->marks.sensor;
            }
        }
        out.partOffsets.push_back(offset);
    }
    AddCommonHead(out, InstrumentText(sensorsDiffer ? 0 : sensor));
    for (const auto& [key, values] : settings) {
        if (values.size() == 1) {
            out.facts.push_back({key, values.front().first});
            continue;
        }
        std::string text;
        for (const auto& [value, files] : values) text += (text.empty() ? "" : "; ") + value + " (" + files + ")";
        out.facts.push_back({key, text});
    }
    const bool anyOffset =
        std::any_of(out.partOffsets.begin(), out.partOffsets.end(), [](auto& o) { return o.has_value(); });
    const bool allOffsets =
        std::all_of(out.partOffsets.begin(), out.partOffsets.end(), [](auto& o) { return o.has_value(); });
    out.facts.push_back({"time", allOffsets ? "local time with its offset from UTC"
                                 : anyOffset
                                     ? "local time, with its offset from UTC where the run recorded it"
                                     : "local time of the computer that logged it (offset from UTC not known)"});
    AddCommonTail(out, shown, sources);
    return out;
}

ExportFacts FactsOfLogger(const logger::LogHeader& header, const Unit& shown, const std::string& source,
                          std::optional<int> utcOffsetMinutes, char sensor) {
    ExportFacts out;
    AddCommonHead(out, InstrumentText(sensor));
    for (const std::string& line : logger::HeaderLines(header))
        if (const auto fact = HeaderFact(line)) out.facts.push_back(*fact);
    out.facts.push_back({"time", utcOffsetMinutes ? "local time with its offset from UTC"
                                                  : "local time of this computer (offset from UTC not known)"});
    out.partOffsets.push_back(utcOffsetMinutes);
    AddCommonTail(out, shown, {source});
    return out;
}

ExportFacts FactsOfRecords(const Series& series, const Unit& shown) {
    ExportFacts out;
    AddCommonHead(out, InstrumentText(0));
    out.facts.push_back({"records", "the meter's stored measurements: no time, each with its record number"});
    std::vector<std::string> sources;
    for (const Part& part : series.Parts())
        if (sources.empty() || sources.back() != part.source) sources.push_back(part.source);
    AddCommonTail(out, shown, sources);
    return out;
}

// What the run's thread and the stream's writer share: the text not yet written.
struct LiveStream::Shared {
    std::function<bool(std::string_view)> write;
    std::mutex mutex;
    std::condition_variable changed;
    std::string pending;
    bool writing = false;  // the writer holds a piece outside the lock
    bool gone = false;     // the reader is gone
    bool ending = false;
    std::uint64_t leftOut = 0;

    void Run() {
        std::string piece;
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return ending || !pending.empty(); });
            if (pending.empty()) return;  // ending, and all written
            piece.swap(pending);
            pending.clear();
            writing = true;
            lock.unlock();
            const bool taken = write(piece);
            lock.lock();
            writing = false;
            if (!taken) {
                gone = true;
                pending.clear();
                changed.notify_all();
                return;
            }
            changed.notify_all();
        }
    }
};

LiveStream::LiveStream(ExportForm form, std::function<bool(std::string_view)> write, std::string source)
    : shared_(std::make_shared<Shared>()), form_(form), source_(std::move(source)) {
    shared_->write = std::move(write);
    // The writer keeps the shared state alive: a reader stuck for good need not hold the
    // program's end (Finish lets it go).
    std::thread([shared = shared_] { shared->Run(); }).detach();
}

LiveStream::~LiveStream() { Finish(std::chrono::milliseconds(1000)); }

bool LiveStream::ReaderGone() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->gone;
}

std::uint64_t LiveStream::LeftOut() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->leftOut;
}

void LiveStream::Follow(const logger::LoggerModel& model) {
    const LiveLogger::Change change = live_.Follow(model, series_);
    if (change == LiveLogger::Change::None) return;
    if (change == LiveLogger::Change::Replaced) {
        // The next part of a long run (its clock read again when it began), or a new run.
        emitted_ = 0;
        utcOffsetMinutes_ = model.Marks().utcOffsetMinutes;
    }
    if (series_.Empty() || emitted_ >= series_.Size()) return;
    std::string text;
    if (!rows_) {
        rows_.emplace(form_, series_.StoredUnit(), series_.StoredUnit());
        const logger::LogHeader header{model.RecordInForce(), model.StartTimeOfData(), model.DataPeriodIndex(),
                                       model.DataMethod()};
        text = ExportHead(*rows_,
                          FactsOfLogger(header, series_.StoredUnit(), source_, utcOffsetMinutes_, model.Marks().sensor),
                          true);
    }
    const Part& part = series_.Parts().front();
    for (; emitted_ < series_.Size(); ++emitted_) {
        const std::size_t i = emitted_;
        // R as File Read gives it, from x, y and z: a folded average or maximum of R may differ
        // from it, and the stream must read as the saved file's export does.
        const double x = series_.Value(kX, i), y = series_.Value(kY, i), z = series_.Value(kZ, i);
        rows_->AppendTimed(text, part.start + static_cast<LocalMs>(i) * part.periodMs, utcOffsetMinutes_,
                           {x, y, z, logger::Resultant(x, y, z)}, series_.OverMask(i));
        ++written_;
    }
    std::lock_guard lock(shared_->mutex);
    if (shared_->gone || shared_->ending) return;
    if (shared_->pending.size() + text.size() > kStreamBacklog) {
        shared_->leftOut += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
        return;
    }
    shared_->pending += text;
    shared_->changed.notify_all();
}

bool LiveStream::Finish(std::chrono::milliseconds wait) {
    std::unique_lock lock(shared_->mutex);
    if (!finished_) {
        finished_ = true;
        shared_->changed.wait_for(lock, wait,
                                  [this] { return shared_->gone || (shared_->pending.empty() && !shared_->writing); });
        shared_->ending = true;
        shared_->changed.notify_all();
    }
    return !shared_->gone && shared_->pending.empty() && !shared_->writing;
}

}  // namespace tessera::survey
