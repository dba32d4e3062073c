#include "survey/Sources.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "entire_read/EntireReadModel.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/LoggerTables.h"
#include "logger/Survey.h"
#include "page/Texts.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace tessera::survey {
namespace {

std::string FileName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Lines of a file read in large blocks: millions of lines without a read or an allocation
// per line. A line is given without its line feed.
class LineReader {
public:
    // `buffer`: kept by the caller for the next file, so no file pays for fresh memory.
    // `block`: how much is read at a time (a header needs little, the data a lot).
    LineReader(const std::string& path, std::atomic<std::uint64_t>* bytesRead, std::vector<char>& buffer,
               std::size_t block = 1 << 18)
        : in_(platform::FsPath(path), std::ios::binary), bytesRead_(bytesRead), buffer_(buffer) {
        if (buffer_.size() < block) buffer_.resize(block);
    }
    bool Open() const { return static_cast<bool>(in_); }

    bool Next(std::string_view& line) {
        for (;;) {
            const auto eol = std::find(buffer_.data() + begin_, buffer_.data() + end_, '\n');
            if (eol != buffer_.data() + end_) {
                line =
                    std::string_view(buffer_.data() + begin_, static_cast<std::size_t>(eol - buffer_.data()) - begin_);
                begin_ = static_cast<std::size_t>(eol - buffer_.data()) + 1;
                return true;
            }
            if (eof_) {
                if (begin_ == end_) return false;
                line = std::string_view(buffer_.data() + begin_, end_ - begin_);
                begin_ = end_;
                return true;
            }
            Fill();
        }
    }

private:
    void Fill() {
        // Keep the unfinished line, grow when one line fills the whole buffer.
        const std::size_t rest = end_ - begin_;
        if (begin_ > 0)
            std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                      buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
        begin_ = 0;
        end_ = rest;
        if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
        in_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
        const auto got = static_cast<std::size_t>(in_.gcount());
        end_ += got;
        if (bytesRead_) *bytesRead_ += got;
        if (got == 0 || !in_) eof_ = true;
    }

    std::ifstream in_;
    std::atomic<std::uint64_t>* bytesRead_;
    std::vector<char>& buffer_;
    std::size_t begin_ = 0, end_ = 0;
    bool eof_ = false;
};

// The logger file's own trimming of a line: the line break, then trailing blanks.
std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return line;
}

// The readout's over-range rule: a value shown at the graph's scale above the over-range
// limit reads "O.L.". Values far from the limit are decided without formatting them.
class OverRange {
public:
    OverRange(char unit, int scaleIndex, double maxFullScale)
        : unit_(unit), scaleIndex_(scaleIndex), maxFullScale_(maxFullScale) {
        const logger::DisplayFormat f = logger::FormatFor(unit, scaleIndex);
        factor_ = f.factor;
        step_ = std::pow(10.0, -f.decimals) / f.factor;
    }
    bool operator()(double v) const {
        if (v <= maxFullScale_ - step_) return false;
        if (v > maxFullScale_ + step_) return true;
        return logger::Quantise(v, unit_, scaleIndex_) * factor_ > maxFullScale_ * factor_;
    }

private:
    char unit_;
    int scaleIndex_;
    double maxFullScale_, factor_ = 1, step_ = 0;
};

std::uint8_t OverMask(const OverRange& over, double x, double y, double z) {
    std::uint8_t mask = 0;
    if (over(x)) mask |= ChannelOf(kX);
    if (over(y)) mask |= ChannelOf(kY);
    if (over(z)) mask |= ChannelOf(kZ);
    if (mask) mask |= ChannelOf(kR);  // the readout shows R as "O.L." when any component is
    return mask;
}

LocalMs PeriodMs(int periodIndex, int samplesPerDivision) {
    if (samplesPerDivision <= 0) return 0;
    return static_cast<LocalMs>(logger::SecondsPerDivision(periodIndex)) * 1000 / samplesPerDivision;
}

LocalMs StartMs(const logger::StartTime& t) {
    return ToLocalMs({t.year, t.month, t.day, t.hour, t.minute, t.second, 0});
}

// Values beyond this are no measurement of the meter; File Read treats such a line as
// unreadable (logger/LogFiles.cpp).
constexpr double kLargestReadable = 1e9;
bool Readable(double v) { return std::isfinite(v) && v > -kLargestReadable && v < kLargestReadable; }

enum class Kind { Logger, EntireRead, Unknown, Missing };

Kind KindOf(const std::string& path) {
    if (!platform::FileExists(path)) return Kind::Missing;
    const auto first = logger::FirstLine(path);
    if (!first) return Kind::Missing;
    if (first->find(page::kLoggerBannerKey) != std::string::npos) return Kind::Logger;
    if (first->find(page::kEntireReadBannerKey) != std::string::npos) return Kind::EntireRead;
    return Kind::Unknown;
}

// A logger file's header as File Read checks it.
struct LoggerHeader {
    std::string error;
    logger::ParsedHeader header;
    logger::PeriodChoice period;
    LocalMs start = 0;
};

LoggerHeader ReadLoggerHeader(LineReader& reader) {
    LoggerHeader out;
    std::vector<std::string> lines;
    std::string_view line;
    for (int i = 0; i < 11 && reader.Next(line); ++i)
        lines.push_back(logger::TrimLine(line.substr(0, std::min<std::size_t>(line.size(), 999))));
    const auto parsed = logger::ParseHeader(lines);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        out.error = *message;
        return out;
    }
    out.header = std::get<logger::ParsedHeader>(parsed);
    const auto choice = logger::ChoosePeriod(out.header);
    if (const auto* message = std::get_if<std::string>(&choice)) {
        out.error = *message;
        return out;
    }
    out.period = std::get<logger::PeriodChoice>(choice);
    out.start = StartMs(out.header.start);
    return out;
}

// Where one file's samples go: room for a store's worth, in the series' unit.
struct PartTarget {
    std::array<double*, kQuantities> columns{};  // null where the column is not kept
    std::uint8_t* over = nullptr;
    double factor = 1;  // from the file's unit into the series'
};

struct PartRead {
    std::string error;
    std::size_t count = 0;
    std::vector<std::string> notes;
};

// The data lines of one logger file, as the logger's File Read takes them, written into
// `target` (at most a store's worth, as the page reads).
PartRead ReadLoggerData(const std::string& path, const LoggerHeader& h, const PartTarget& target,
                        std::vector<char>& buffer, std::atomic<std::uint64_t>& bytes, const std::atomic<bool>& stop) {
    PartRead out;
    LineReader reader(path, &bytes, buffer);
    std::string_view line;
    for (int i = 0; i < 11 && reader.Next(line); ++i) {}
    const char unitCode = h.header.record.unit;
    const int rangeIndex = h.header.record.range % 10;
    const OverRange over(unitCode, rangeIndex, logger::BaseFullScale(unitCode) * std::pow(10.0, rangeIndex));
    int lineNumber = 0, unreadable = 0, firstUnreadable = 0;
    bool full = false;
    std::size_t n = 0;
    double lastR = 0;
    std::size_t lastWithResultant = 0;  // samples up to the last one with a resultant
    while (reader.Next(line)) {
        if (stop) return out;
        ++lineNumber;
        const auto values = logger::ParseDataLine(Trimmed(line));
        if (!values) continue;  // a line without its four values is passed over, as File Read does
        if (n >= static_cast<std::size_t>(link::kLogSlots)) {
            full = true;
            break;
        }
        const double x = (*values)[0], y = (*values)[1], z = (*values)[2];
        if (Readable(x) && Readable(y) && Readable(z) && (x >= 1e-10 || y >= 1e-10 || z >= 1e-10)) {
            lastR = logger::Resultant(x, y, z);
            const double v[kQuantities] = {x, y, z, lastR};
            for (int q = 0; q < kQuantities; ++q)
                if (target.columns[q]) target.columns[q][n] = v[q] * target.factor;
            target.over[n] = OverMask(over, x, y, z);
            ++n;
            if (lastR >= 1e-9) lastWithResultant = n;
        } else if (++unreadable == 1) {
            firstUnreadable = lineNumber;
        }
    }
    // File Read drops trailing samples without a resultant (keeping the first), and so do we.
    out.count = std::max<std::size_t>(lastWithResultant, n > 0 ? 1 : 0);
    const std::string name = FileName(path);
    if (unreadable > 0) {
        out.notes.push_back(name + ": " + std::to_string(unreadable) +
                            " data line(s) without a valid sample were skipped (the first is data line " +
                            std::to_string(firstUnreadable) + ").");
    }
    if (full) {
        out.notes.push_back(name + ": holds more samples than the logger's store; only the first " +
                            std::to_string(link::kLogSlots) + " were read, as the logger page reads it.");
    }
    if (out.count == 0) out.error = "There is no valid data in the file.";
    return out;
}

std::string InFile(const std::string& path, const std::string& why) { return "\"" + path + "\": " + why; }

// Answers every question of a reader without a person: a line it cannot read is skipped and
// counted, messages are kept.
class CollectingPrompter final : public page::Prompter {
public:
    int skipped = 0;
    std::vector<std::string> messages;
    page::Answer AskYesNo(const page::Question& q) override {
        if (q.topic == page::Topic::SkipBadLine) {
            ++skipped;
            return page::Answer::Yes;
        }
        return page::Answer::No;
    }
    page::Answer AskYesNoCancel(const page::Question&) override { return page::Answer::Cancel; }
    void Inform(const std::string& message) override { messages.push_back(message); }
    std::string ChooseOpenFile(const page::FileFilter&) override { return {}; }
    std::string ChooseSaveFile(const page::FileFilter&) override { return {}; }
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override { return std::nullopt; }
};

}  // namespace

std::vector<std::string> WithRolloverParts(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    std::set<std::string> seen;
    auto add = [&](const std::string& path) {
        if (seen.insert(path).second) files.push_back(path);
    };
    for (const std::string& path : paths) {
        add(path);
        // Only a first part (a name ending in ".CSV" that is not itself "-NNN.CSV") brings
        // the parts that the logging run saved after it.
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".CSV") != 0) continue;
        for (int part = 2;; ++part) {
            const std::string next = logger::SurveyPartPath(path, part);
            if (!platform::FileExists(next)) break;
            add(next);
        }
    }
    return files;
}

Series FromRecords(const std::vector<link::MemoryRecord>& records, const std::vector<entire_read::RecordValues>& values,
                   const std::string& source, Channels channels) {
    std::size_t percent = 0;
    for (const auto& r : records) percent += r.unit == '3' ? 1 : 0;
    const bool wantPercent = percent * 2 > records.size();
    std::optional<Unit> unit;
    for (const auto& r : records)
        if ((r.unit == '3') == wantPercent && UnitOfCode(r.unit)) {
            unit = UnitOfCode(r.unit);
            break;
        }
    Series series(unit.value_or(*UnitNamed(wantPercent ? "%" : "T")), channels);
    std::size_t other = 0;
    bool inPart = false;
    for (std::size_t i = 0; i < records.size() && i < values.size(); ++i) {
        const link::MemoryRecord& r = records[i];
        const auto own = UnitOfCode(r.unit);
        if (!own || (r.unit == '3') != wantPercent) {
            ++other;
            inPart = false;
            continue;
        }
        if (!inPart) {
            series.BeginPart({source, 0, 0, static_cast<int>(i) + 1, false, 0, 0, wantPercent ? '3' : r.mode});
            inPart = true;
        }
        // What the table shows for this record decides "O.L." (and an empty cell: no reading).
        const entire_read::FormattedRow row =
            entire_read::FormatRow(static_cast<int>(i), r, values[i], entire_read::kOriginalUnit);
        auto notShown = [](const std::string& text) { return text.empty() || text == entire_read::kOverloadText; };
        std::uint8_t mask = 0;
        if (notShown(row.texts.x)) mask |= ChannelOf(kX);
        if (notShown(row.texts.y)) mask |= ChannelOf(kY);
        if (notShown(row.texts.z)) mask |= ChannelOf(kZ);
        if (notShown(row.texts.R)) mask |= ChannelOf(kR);
        const double f = Factor(*own, series.StoredUnit());
        series.Append({values[i].x * f, values[i].y * f, values[i].z * f, values[i].R * f}, mask);
    }
    if (other > 0) {
        series.notes.push_back(std::to_string(other) + " record(s) " +
                               (wantPercent ? "of flux density are" : "of exposure level (%) are") +
                               " left out: one series holds one kind of reading.");
    }
    return series;
}

Series FromEntireReadTable(unsigned recordCount, Channels channels) {
    const unsigned n = std::min<unsigned>(recordCount, entire_read::kMaxRecords);
    std::vector<link::MemoryRecord> records(link::memoryStore.begin(), link::memoryStore.begin() + n);
    std::vector<entire_read::RecordValues> values(entire_read::recordValues.begin(),
                                                  entire_read::recordValues.begin() + n);
    return FromRecords(records, values, "Entire Read", channels);
}

std::variant<Series, std::string> ReadFiles(const std::vector<std::string>& paths, Channels channels,
                                            const Progress& progress, int threads) {
    const std::vector<std::string> files = WithRolloverParts(paths);
    if (files.empty()) return std::string("No file was given.");
    std::vector<Kind> kinds;
    std::uint64_t totalBytes = 0;
    for (const std::string& f : files) {
        const Kind kind = KindOf(f);
        if (kind == Kind::Missing) return page::FileNotFoundMessage(f);
        if (kind == Kind::Unknown) return InFile(f, "An unidentifiable file type.");
        kinds.push_back(kind);
        std::error_code ec;
        totalBytes += std::filesystem::file_size(platform::FsPath(f), ec);
    }
    const bool records = kinds.front() == Kind::EntireRead;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if ((kinds[i] == Kind::EntireRead) != records) {
            return InFile(files[i],
                          "logger files (samples with times) and Entire Read files (records) cannot be "
                          "evaluated together.");
        }
    }

    if (records) {
        Series all;
        bool first = true;
        for (const std::string& f : files) {
            CollectingPrompter prompter;
            const auto read = entire_read::ReadCsvRecords(f, prompter);
            if (!read) return InFile(f, prompter.messages.empty() ? "could not be read." : prompter.messages.front());
            Series one = FromRecords(read->records, read->values, f, channels);
            if (prompter.skipped > 0) {
                one.notes.push_back(FileName(f) + ": " + std::to_string(prompter.skipped) +
                                    " line(s) that Entire Read cannot take were skipped.");
            }
            if (first) {
                all = std::move(one);
                first = false;
                continue;
            }
            if (!SameFamily(one.StoredUnit(), all.StoredUnit()))
                return InFile(f, "its readings are of another kind (% and flux density) than the first file's.");
            if (one.StoredUnit().name != all.StoredUnit().name) {
                // Records of another unit: converted as the table's Unit Change would.
                Series converted(all.StoredUnit(), channels);
                const double factor = Factor(one.StoredUnit(), all.StoredUnit());
                for (const Part& p : one.Parts()) {
                    converted.BeginPart(p);
                    for (std::size_t i = p.first; i < p.first + p.count; ++i) {
                        std::array<double, 4> v{};
                        for (int q = 0; q < kQuantities; ++q)
                            if (one.Has(static_cast<Quantity>(q)))
                                v[q] = one.Value(static_cast<Quantity>(q), i) * factor;
                        converted.Append(v, one.OverMask(i));
                    }
                }
                converted.notes = one.notes;
                one = std::move(converted);
            }
            all.AppendSeries(std::move(one));
        }
        return all;
    }

    // Logger files: first their headers (a few lines each), which fix the order of the runs
    // and their parts and where each part's samples go; then their data side by side.
    std::vector<LoggerHeader> headers(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::vector<char> buffer;
        LineReader reader(files[i], nullptr, buffer, 4096);
        if (!reader.Open()) return page::FileNotFoundMessage(files[i]);
        headers[i] = ReadLoggerHeader(reader);
        if (!headers[i].error.empty()) return InFile(files[i], headers[i].error);
    }
    // Runs in the order they were logged; a run's parts in number order (they follow in the
    // list as WithRolloverParts put them, so a stable sort by start keeps them).
    std::vector<std::size_t> order(files.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return headers[a].start < headers[b].start; });
    const Unit unit = *UnitOfCode(headers[order.front()].header.record.unit);
    Series all(unit, channels);
    std::vector<PartTarget> targets(files.size());
    all.PrepareBulk(files.size() * static_cast<std::size_t>(link::kLogSlots));
    std::set<LocalMs> periods;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        const Unit own = *UnitOfCode(headers[i].header.record.unit);
        if (!SameFamily(own, unit))
            return InFile(files[i], "its readings are of another kind (% and flux density) than the first file's.");
        if (own.name != unit.name)
            all.notes.push_back(FileName(files[i]) + ": values in " + own.name + " were converted into " + unit.name +
                                ".");
        PartTarget& t = targets[i];
        const std::size_t offset = k * static_cast<std::size_t>(link::kLogSlots);
        for (int q = 0; q < kQuantities; ++q)
            if (double* column = all.BulkColumn(static_cast<Quantity>(q))) t.columns[q] = column + offset;
        t.over = all.BulkOver() + offset;
        t.factor = Factor(own, unit);
        periods.insert(PeriodMs(headers[i].period.periodIndex, headers[i].period.samplesPerDivision));
    }

    std::vector<PartRead> read(files.size());
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> next{0}, done{0};
    const unsigned workers = std::max(
        1u, std::min<unsigned>(threads > 0 ? static_cast<unsigned>(threads) : std::thread::hardware_concurrency(),
                               static_cast<unsigned>(files.size())));
    auto work = [&] {
        std::vector<char> buffer;
        for (std::size_t i = next++; i < files.size() && !stop; i = next++) {
            read[i] = ReadLoggerData(files[i], headers[i], targets[i], buffer, bytes, stop);
            ++done;
        }
    };
    std::vector<std::thread> pool;
    for (unsigned w = 1; w < workers; ++w) pool.emplace_back(work);
    if (progress) {
        // The caller hears of progress on its own thread; the reading goes on in the pool.
        if (workers == 1) pool.emplace_back(work);
        while (done < files.size() && !stop) {
            if (!progress(totalBytes ? static_cast<double>(bytes) / static_cast<double>(totalBytes) : 0.0)) stop = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    } else {
        work();
    }
    for (auto& t : pool) t.join();
    if (stop) return std::string("Reading was stopped.");
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!read[i].error.empty()) return InFile(files[i], read[i].error);

    std::vector<Part> parts;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        const LoggerHeader& h = headers[i];
        parts.push_back({files[i], k * static_cast<std::size_t>(link::kLogSlots), read[i].count, 1, true, h.start,
                         PeriodMs(h.period.periodIndex, h.period.samplesPerDivision), h.header.record.mode});
        all.notes.insert(all.notes.end(), read[i].notes.begin(), read[i].notes.end());
    }
    all.FinishBulk(std::move(parts));
    // Each part's marks from its own sidecar; one that is damaged costs its damaged lines.
    for (const Part& p : all.Parts()) {
        std::string problem;
        const auto sidecar = logger::ReadMarksFile(p.source, &problem);
        if (!problem.empty()) all.notes.push_back(problem + " The marks on those lines are left out.");
        if (!sidecar) continue;
        for (const logger::RunMark& m : sidecar->marks.marks) {
            const auto at = static_cast<std::size_t>(m.slot + 1 - p.firstNumber);
            if (m.slot + 1 >= p.firstNumber && at < p.count) all.marks.push_back({p.first + at, m.text});
        }
    }
    std::stable_sort(all.marks.begin(), all.marks.end(),
                     [](const SeriesMark& a, const SeriesMark& b) { return a.sample < b.sample; });
    if (periods.size() > 1)
        all.notes.push_back(
            "The files were logged with different sampling periods; the mean weighs every sample "
            "alike.");
    return all;
}

const char* LiveLogger::SourceName() { return "Effective Value Logger"; }

LiveLogger::Change LiveLogger::Follow(const logger::LoggerModel& model, Series& series) {
    const settings::MeterSettings& record = model.RecordInForce();
    const logger::Scale& scale = model.GraphScale();
    const bool has = model.HasData() && model.DataState() != page::DataState::None;
    // During a run the slot after the last completed sample may hold an unfinished average;
    // after it the count names the last slot holding a sample.
    std::size_t valid = 0;
    if (has) valid = static_cast<std::size_t>(model.Running() ? model.SampleCount() : model.SampleCount() + 1);
    valid = std::min<std::size_t>(valid, link::kLogSlots);

    Fingerprint now;
    now.state = has ? 1 : 0;
    now.start = StartMs(model.StartTimeOfData());
    now.periodMs = PeriodMs(model.DataPeriodIndex(), model.SamplesPerDivision());
    now.unit = record.unit;
    now.mode = record.mode;
    now.maxFullScale = scale.maxFullScale;
    now.scaleIndex = scale.scaleIndex;
    now.firstR = valid > 0 ? link::LogSampleStore[0].R : 0;

    const auto& store = link::LogSampleStore;
    bool replace = !(now == seen_) || valid < taken_;
    // The run's marks, at the samples taken so far (one set while a sample is under way is
    // drawn at the last one until that sample comes).
    auto takeMarks = [&] {
        const auto& set = model.Marks().marks;
        std::vector<SeriesMark> marks;
        if (has && valid > 0)
            for (const logger::RunMark& m : set)
                marks.push_back(
                    {std::min<std::size_t>(static_cast<std::size_t>(std::max(m.slot, 0)), valid - 1), m.text});
        const bool changed = marks != series.marks;
        series.marks = std::move(marks);
        return changed;
    };
    // A sample already taken that reads differently now: the store holds other data.
    if (!replace && taken_ > 0 && series.Size() == taken_ && series.Has(kR) &&
        series.Value(kR, taken_ - 1) != store[taken_ - 1].R)
        replace = true;
    if (!replace && valid == taken_) return takeMarks() ? Change::Appended : Change::None;

    const auto unit = UnitOfCode(record.unit);
    if (replace) {
        const bool wasEmpty = series.Empty();
        series = Series(unit.value_or(*UnitNamed("T")), series.Kept());
        taken_ = 0;
        seen_ = now;
        // Nothing shown before or after (a run that has not taken its first sample yet).
        if (valid == 0) return wasEmpty ? Change::None : Change::Replaced;
    }
    if (series.Parts().empty()) series.BeginPart({SourceName(), 0, 0, 1, true, now.start, now.periodMs, record.mode});
    const OverRange over(record.unit, scale.scaleIndex, scale.maxFullScale);
    for (std::size_t i = taken_; i < valid; ++i) {
        const link::LogSample& s = store[i];
        series.Append({s.x, s.y, s.z, s.R}, OverMask(over, s.x, s.y, s.z));
    }
    taken_ = valid;
    takeMarks();
    return replace ? Change::Replaced : Change::Appended;
}

}  // namespace tessera::survey
