#include "logger/Journal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

#include "logger/Geometry.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace tessera::logger {
namespace {

constexpr std::string_view kMagic = "TESSERA LOGGING JOURNAL 1";
// A journal whose syncs come further apart than this could lose more than a second of
// samples in a power cut.
constexpr std::uint32_t kSyncIntervalMs = 1000;
// A journal the disk stopped taking is tried again this often while samples come (a write
// that fails on a full disk costs little, but not at every sample of a fast run).
constexpr std::uint32_t kRetryIntervalMs = 5000;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// --- writing ---

void AddNumber(std::string& out, long long v) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out += ' ';
    out.append(text, r.ptr);
}

void AddNumber(std::string& out, double v) {
    char text[40];
    const auto r = std::to_chars(text, text + sizeof text, v);  // shortest text that reads back exactly
    out += ' ';
    out.append(text, r.ptr);
}

void AddCode(std::string& out, char c) { AddNumber(out, static_cast<long long>(static_cast<unsigned char>(c))); }

void AddTime(std::string& out, const StartTime& t) {
    for (int v : {t.year, t.month, t.day, t.weekday, t.hour, t.minute, t.second})
        AddNumber(out, static_cast<long long>(v));
}

std::string Sealed(std::string content) {
    char crc[16];
    std::snprintf(crc, sizeof crc, " *%08x\n", static_cast<unsigned>(Crc32(content)));
    return content + crc;
}

// Paths go into a SAVED line as one word: every byte that could end or split it (and '%')
// as %XX.
std::string EscapedPath(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (c <= 0x20 || c == '%' || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> UnescapedPath(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size()) return std::nullopt;
        const auto r = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
        if (r.ec != std::errc() || r.ptr != text.data() + i + 3) return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

// --- reading ---

// The next whole line (without its line feed), taken off `bytes`; nothing when only an
// incomplete line is left.
std::optional<std::string_view> NextLine(std::string_view& bytes) {
    const auto end = bytes.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end + 1);
    return line;
}

// The content of a sealed line; nothing when its CRC does not match.
std::optional<std::string_view> Unseal(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 10 || line.substr(line.size() - 10, 2) != " *") return std::nullopt;
    const std::string_view hex = line.substr(line.size() - 8);
    std::uint32_t crc = 0;
    const auto r = std::from_chars(hex.data(), hex.data() + hex.size(), crc, 16);
    if (r.ec != std::errc() || r.ptr != hex.data() + hex.size()) return std::nullopt;
    const std::string_view content = line.substr(0, line.size() - 10);
    if (Crc32(content) != crc) return std::nullopt;
    return content;
}

std::optional<std::string_view> TakeLine(std::string_view& bytes) {
    const auto line = NextLine(bytes);
    return line ? Unseal(*line) : std::nullopt;
}

// Space-separated words of a line's content.
class Words {
public:
    explicit Words(std::string_view text) : text_(text) {}

    std::optional<std::string_view> Next() {
        if (text_.empty()) return std::nullopt;
        const auto space = text_.find(' ');
        const std::string_view word = text_.substr(0, space);
        text_.remove_prefix(space == std::string_view::npos ? text_.size() : space + 1);
        if (word.empty()) return std::nullopt;
        return word;
    }
    std::optional<long long> Integer(long long lowest, long long highest) {
        const auto word = Next();
        if (!word) return std::nullopt;
        long long v = 0;
        const auto r = std::from_chars(word->data(), word->data() + word->size(), v);
        if (r.ec != std::errc() || r.ptr != word->data() + word->size() || v < lowest || v > highest)
            return std::nullopt;
        return v;
    }
    std::optional<double> Real() {
        const auto word = Next();
        if (!word) return std::nullopt;
        double v = 0;
        const auto r = std::from_chars(word->data(), word->data() + word->size(), v);
        if (r.ec != std::errc() || r.ptr != word->data() + word->size() || !std::isfinite(v)) return std::nullopt;
        return v;
    }
    std::optional<char> Code() {
        const auto v = Integer(0, 255);
        if (!v) return std::nullopt;
        return static_cast<char>(static_cast<unsigned char>(*v));
    }
    bool Done() const { return text_.empty(); }

private:
    std::string_view text_;
};

bool ParseSettings(std::string_view content, settings::MeterSettings& s) {
    Words w(content);
    if (w.Next() != "SETTINGS") return false;
    const auto mode = w.Code(), axis = w.Code(), unit = w.Code();
    const auto range = w.Integer(0, 255);
    const auto v1 = w.Real(), v2 = w.Real(), v3 = w.Real();
    const auto output = w.Code(), sensor = w.Code(), aps = w.Code(), beep = w.Code(), spare = w.Code(), slow = w.Code(),
               mem = w.Code();
    if (!mode || !axis || !unit || !range || !v1 || !v2 || !v3 || !output || !sensor || !aps || !beep || !spare ||
        !slow || !mem || !w.Done()) {
        return false;
    }
    s = {*mode,  *axis, *unit, static_cast<std::uint8_t>(*range), *v1, *v2, *v3, *output, *sensor, *aps, *beep,
         *spare, *slow, *mem};
    return true;
}

bool ParseRun(std::string_view content, JournalHeader& h) {
    Words w(content);
    if (w.Next() != "RUN") return false;
    const auto period = w.Integer(0, kPeriods - 1);
    const auto method = w.Integer(kFixedInterval, kMaximum);
    if (!period || !method || !w.Done()) return false;
    h.periodIndex = static_cast<int>(*period);
    h.method = static_cast<int>(*method);
    return true;
}

// "year month day weekday hour minute second", as a run's start and a gap's ends are written.
bool TakeTime(Words& w, StartTime& t) {
    // Loose limits: any time the clock gave is taken back; only nonsense is refused.
    const auto year = w.Integer(0, 99999), month = w.Integer(0, 12), day = w.Integer(0, 31);
    const auto weekday = w.Integer(0, 7), hour = w.Integer(0, 24), minute = w.Integer(0, 60), second = w.Integer(0, 61);
    if (!year || !month || !day || !weekday || !hour || !minute || !second) return false;
    t = {static_cast<int>(*year), static_cast<int>(*month),  static_cast<int>(*day),   static_cast<int>(*weekday),
         static_cast<int>(*hour), static_cast<int>(*minute), static_cast<int>(*second)};
    return true;
}

bool ParseStart(std::string_view content, StartTime& t) {
    Words w(content);
    if (w.Next() != "START") return false;
    return TakeTime(w, t) && w.Done();
}

// The words of the causes of a gap, as the journal writes them.
constexpr std::pair<GapCause, std::string_view> kGapWords[] = {
    {GapCause::ConnectionLost, "connection"},
    {GapCause::SensorRemoved, "sensor"},
    {GapCause::MeterBusy, "busy"},
};

std::optional<JournalGap> ParseGap(std::string_view content) {
    Words w(content);
    if (w.Next() != "GAP") return std::nullopt;
    JournalGap gap;
    const auto slot = w.Integer(0, link::kLogSlots - 1);
    if (!slot || !TakeTime(w, gap.from) || !TakeTime(w, gap.to)) return std::nullopt;
    const auto cause = w.Next();
    if (!cause || !w.Done()) return std::nullopt;
    const auto known = std::find_if(std::begin(kGapWords), std::end(kGapWords),
                                    [&cause](const auto& word) { return word.second == *cause; });
    if (known == std::end(kGapWords)) return std::nullopt;
    gap.slot = static_cast<int>(*slot);
    gap.cause = known->first;
    return gap;
}

// A sample for slot `lowestSlot` or a later one.
std::optional<JournalSample> ParseSample(std::string_view content, int lowestSlot) {
    Words w(content);
    if (w.Next() != "S") return std::nullopt;
    const auto slot = w.Integer(lowestSlot, link::kLogSlots - 1);
    const auto x = w.Real(), y = w.Real(), z = w.Real(), R = w.Real();
    const auto scale = w.Integer(0, 3);
    if (!slot || !x || !y || !z || !R || !scale || !w.Done()) return std::nullopt;
    return JournalSample{{static_cast<std::int32_t>(*slot), *x, *y, *z, *R}, static_cast<int>(*scale)};
}

std::optional<int> ParseZone(std::string_view content) {
    Words w(content);
    if (w.Next() != "ZONE") return std::nullopt;
    const auto minutes = w.Integer(-18 * 60, 18 * 60);
    if (!minutes || !w.Done()) return std::nullopt;
    return static_cast<int>(*minutes);
}

std::optional<RunMark> ParseMark(std::string_view content) {
    Words w(content);
    if (w.Next() != "MARK") return std::nullopt;
    const auto slot = w.Integer(0, link::kLogSlots - 1);
    const auto year = w.Integer(0, 99999), month = w.Integer(0, 12), day = w.Integer(0, 31);
    const auto hour = w.Integer(0, 24), minute = w.Integer(0, 60), second = w.Integer(0, 61);
    const auto ms = w.Integer(0, 999);
    const auto offset = w.Next();
    const auto text = w.Next();
    if (!slot || !year || !month || !day || !hour || !minute || !second || !ms || !offset || !text || !w.Done())
        return std::nullopt;
    RunMark mark;
    mark.slot = static_cast<int>(*slot);
    platform::LocalTime& t = mark.time.local;
    t.year = static_cast<int>(*year);
    t.month = static_cast<int>(*month);
    t.day = static_cast<int>(*day);
    t.hour = static_cast<int>(*hour);
    t.minute = static_cast<int>(*minute);
    t.second = static_cast<int>(*second);
    t.millisecond = static_cast<int>(*ms);
    if (*offset != "x") {
        int minutes = 0;
        const auto r = std::from_chars(offset->data(), offset->data() + offset->size(), minutes);
        if (r.ec != std::errc() || r.ptr != offset->data() + offset->size() || minutes < -18 * 60 || minutes > 18 * 60)
            return std::nullopt;
        mark.time.utcOffsetMinutes = minutes;
    }
    auto unescaped = UnescapedPath(*text);
    if (!unescaped) return std::nullopt;
    mark.text = MarkText(*unescaped);
    return mark;
}

std::optional<SaveMark> ParseSave(std::string_view content) {
    Words w(content);
    if (w.Next() != "SAVED") return std::nullopt;
    const auto crc = w.Next();
    const auto size = w.Integer(0, 1LL << 50);
    const auto path = w.Next();
    if (!crc || crc->size() != 8 || !size || !path || !w.Done()) return std::nullopt;
    SaveMark mark;
    const auto r = std::from_chars(crc->data(), crc->data() + crc->size(), mark.crc, 16);
    if (r.ec != std::errc() || r.ptr != crc->data() + crc->size()) return std::nullopt;
    auto name = UnescapedPath(*path);
    if (!name || name->empty()) return std::nullopt;
    mark.size = static_cast<std::uint64_t>(*size);
    mark.path = std::move(*name);
    return mark;
}

std::string FileNameFor(const StartTime& t, int attempt) {
    char text[96];
    std::snprintf(text, sizeof text, "run-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    std::string name = text;
    if (attempt > 1) {
        name += '-';
        name += std::to_string(attempt);
    }
    return name + kJournalExtension;
}

// Paths travel as UTF-8 everywhere in the program; std::filesystem takes a plain string in
// the system's code page on Windows, so the conversion is platform's.
std::filesystem::path PathOf(const std::string& utf8) { return platform::FsPath(utf8); }
std::string TextOf(const std::filesystem::path& path) { return platform::Utf8Path(path); }

auto StartKey(const StartTime& t) { return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second); }

// The file a save mark names holds exactly the bytes the mark describes.
bool HoldsSavedContent(const SaveMark& mark) {
    std::error_code ec;
    const auto path = PathOf(mark.path);
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) != mark.size || ec)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(mark.size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return false;
    return Crc32(bytes) == mark.crc;
}

// A name beside `path` for setting it aside, ".unreadable" instead of its extension.
std::string SetAsideName(const std::string& path, int attempt) {
    std::string name = path.substr(0, path.size() - std::string_view(kJournalExtension).size());
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + kSetAsideExtension;
}

std::vector<std::string> FilesWithExtension(const std::string& dir, const char* extension) {
    std::vector<std::string> paths;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(PathOf(dir), ec), end; !ec && it != end; it.increment(ec)) {
        const auto& p = it->path();
        if (p.extension() == extension && it->is_regular_file(ec)) paths.push_back(TextOf(p));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace

std::string JournalHeaderText(const JournalHeader& h) {
    const auto& s = h.settings;
    std::string settings = "SETTINGS";
    AddCode(settings, s.mode);
    AddCode(settings, s.axis);
    AddCode(settings, s.unit);
    AddNumber(settings, static_cast<long long>(s.range));
    AddNumber(settings, s.value1);
    AddNumber(settings, s.value2);
    AddNumber(settings, s.value3);
    for (char c : {s.output, s.sensor, s.autoPowerOff, s.beep, s.spare, s.slow, s.memMode}) AddCode(settings, c);
    std::string run = "RUN";
    AddNumber(run, static_cast<long long>(h.periodIndex));
    AddNumber(run, static_cast<long long>(h.method));
    std::string start = "START";
    AddTime(start, h.start);
    std::string text = Sealed(std::string(kMagic)) + Sealed(settings) + Sealed(run) + Sealed(start);
    if (h.utcOffsetMinutes) {
        std::string zone = "ZONE";
        AddNumber(zone, static_cast<long long>(*h.utcOffsetMinutes));
        text += Sealed(zone);
    }
    return text;
}

std::string JournalMarkText(const RunMark& mark) {
    std::string line = "MARK";
    AddNumber(line, static_cast<long long>(mark.slot));
    const auto& t = mark.time.local;
    for (int v : {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond})
        AddNumber(line, static_cast<long long>(v));
    if (mark.time.utcOffsetMinutes) AddNumber(line, static_cast<long long>(*mark.time.utcOffsetMinutes));
    else line += " x";
    // An empty text still makes a word.
    line += ' ' + (mark.text.empty() ? std::string("%20") : EscapedPath(mark.text));
    return Sealed(std::move(line));
}

std::string JournalGapText(const JournalGap& gap) {
    std::string line = "GAP";
    AddNumber(line, static_cast<long long>(gap.slot));
    AddTime(line, gap.from);
    AddTime(line, gap.to);
    for (const auto& [cause, word] : kGapWords) {
        if (cause == gap.cause) line.append(" ").append(word);
    }
    return Sealed(std::move(line));
}

const char* GapCauseText(GapCause cause) {
    switch (cause) {
        case GapCause::ConnectionLost: return "connection lost";
        case GapCause::SensorRemoved: return "sensor removed";
        case GapCause::MeterBusy: return "meter busy";
    }
    return "";
}

std::string GapText(const JournalGap& gap) {
    return "Gap from " + RunStartText(gap.from) + " to " + RunStartText(gap.to) + ": " + GapCauseText(gap.cause) + ".";
}

std::string JournalSaveText(const std::string& path, std::string_view contents) {
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, "SAVED %08x %llu ", static_cast<unsigned>(Crc32(contents)),
                  static_cast<unsigned long long>(contents.size()));
    return Sealed(numbers + EscapedPath(path));
}

std::string JournalSampleText(const JournalSample& js) {
    std::string line = "S";
    AddNumber(line, static_cast<long long>(js.sample.index));
    AddNumber(line, js.sample.x);
    AddNumber(line, js.sample.y);
    AddNumber(line, js.sample.z);
    AddNumber(line, js.sample.R);
    AddNumber(line, static_cast<long long>(js.scaleIndex));
    return Sealed(std::move(line));
}

std::optional<JournalContents> ParseJournal(std::string_view bytes) {
    JournalContents run;
    const auto magic = TakeLine(bytes);
    const auto settings = TakeLine(bytes);
    const auto timing = TakeLine(bytes);
    const auto start = TakeLine(bytes);
    if (!magic || *magic != kMagic || !settings || !ParseSettings(*settings, run.header.settings) || !timing ||
        !ParseRun(*timing, run.header) || !start || !ParseStart(*start, run.header.start)) {
        return std::nullopt;
    }
    // Each sample names its slot: one that comes after a gap fills the slots of the lines
    // lost before it with its predecessor (the first one with itself).
    bool damagedSinceSample = false;
    while (const auto line = NextLine(bytes)) {
        if (line->empty() || *line == "\r") continue;  // what an added line leaves after a torn one
        const auto content = Unseal(*line);
        const int next = static_cast<int>(run.samples.size());
        if (const auto sample = content ? ParseSample(*content, next) : std::nullopt) {
            const JournalSample fill = run.samples.empty() ? *sample : run.samples.back();
            for (int slot = next; slot < sample->sample.index; ++slot) {
                run.samples.push_back(fill);
                run.samples.back().sample.index = slot;
                ++run.skippedLines;
            }
            run.samples.push_back(*sample);
            damagedSinceSample = false;
        } else if (const auto save = content ? ParseSave(*content) : std::nullopt) {
            run.saves.push_back(*save);
        } else if (const auto mark = content ? ParseMark(*content) : std::nullopt) {
            run.marks.push_back(*mark);
        } else if (const auto zone = content ? ParseZone(*content) : std::nullopt) {
            run.header.utcOffsetMinutes = *zone;
        } else if (const auto gap = content ? ParseGap(*content) : std::nullopt) {
            run.gaps.push_back(*gap);
        } else {
            damagedSinceSample = true;
        }
    }
    run.tailCut = damagedSinceSample || !bytes.empty();
    return run;
}

bool RunWasSaved(const JournalContents& run) {
    return std::any_of(run.saves.rbegin(), run.saves.rend(), HoldsSavedContent);
}

int LastValidSlot(const JournalContents& run) {
    // As Stop trims the store: trailing samples without a resultant are no data.
    int last = static_cast<int>(run.samples.size()) - 1;
    while (last > 0 && run.samples[last].sample.R < 1e-9) --last;
    if (last == 0 && run.samples[0].sample.R < 1e-9) return -1;
    return last;
}

LogHeader RecoveredLogHeader(const JournalContents& run) {
    LogHeader h;
    h.record = run.header.settings;
    const int scale =
        run.samples.empty() ? Scale::AtStart(h.record.unit, h.record.range).scaleIndex : run.samples.back().scaleIndex;
    h.record.range = static_cast<std::uint8_t>((h.record.range >= 10 ? 10 : 0) + scale);
    h.start = run.header.start;
    h.periodIndex = run.header.periodIndex;
    h.method = run.header.method;
    return h;
}

std::vector<link::LogSample> RecoveredSamples(const JournalContents& run) {
    std::vector<link::LogSample> out;
    const int last = LastValidSlot(run);
    for (int i = 0; i <= last; ++i) out.push_back(run.samples[i].sample);
    return out;
}

RunMarks RecoveredMarks(const JournalContents& run) {
    RunMarks marks;
    marks.utcOffsetMinutes = run.header.utcOffsetMinutes;
    const char sensor = run.header.settings.sensor;
    if (sensor == '1' || sensor == '2') marks.sensor = sensor;
    marks.marks = run.marks;
    return marks;
}

std::string RunStartText(const StartTime& t) {
    return std::to_string(t.year) + "/" + TwoDigits(t.month) + "/" + TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" +
           TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string SkippedLinesText(const JournalContents& run) {
    if (run.skippedLines <= 0) return {};
    if (run.skippedLines == 1)
        return "1 damaged line of the journal was skipped (that sample repeats the one before it).";
    return std::to_string(run.skippedLines) +
           " damaged lines of the journal were skipped (each of those samples repeats the one before it).";
}

std::string JournalDirectory(const std::string& directory, std::string* problem) {
    if (directory.empty()) return platform::StateDirectory(problem);
    std::string why = platform::StateDirectoryProblem(directory);
    const bool usable = why.empty();
    if (problem) *problem = std::move(why);
    return usable ? directory : std::string();
}

std::string KeptSamplesText(int kept, int total) {
    const std::string n = std::to_string(total);
    if (kept >= total)
        return total == 1 ? "The sample is kept in the logging journal."
                          : "All " + n + " samples are kept in the logging journal.";
    if (kept <= 0)
        return total == 1 ? "The sample is not kept in any logging journal."
                          : "None of the " + n + " samples is kept in a logging journal.";
    return "Only " + std::to_string(kept) + " of " + n + " samples are kept in the logging journal.";
}

std::string SetAsideMessage(const SetAsideJournal& journal) {
    return "The logging journal \"" + journal.journal + "\" could not be read; kept as \"" + journal.keptAs + "\".";
}

// --- RunJournal ---

RunJournal::RunJournal(std::string directory, platform::Clock& clock)
    : directory_(std::move(directory)), clock_(clock) {}

void RunJournal::Fail(const std::string& why) {
    // A journal that broke off stays held: what it has is still recovered after a crash,
    // and it still goes when the data are saved.
    problem_ = why;
}

void RunJournal::Begin(const JournalHeader& header, const JournalSample& first) {
    std::vector<RunMark> early = std::move(early_);
    Discard();
    problem_.clear();
    std::string why;
    const std::string dir = JournalDirectory(directory_, &why);
    if (dir.empty()) {
        problem_ = "The logging run is not journalled: " + why + ".";
        return;
    }
    dir_ = dir;
    start_ = header.start;
    open_ = true;
    std::string text = JournalHeaderText(header) + JournalSampleText(first);
    for (const RunMark& mark : early) text += JournalMarkText(mark);
    behind_.push_back({std::move(text), 1});
    if (WriteBehind()) Sync();
}

bool RunJournal::Create() {
    // Made with its header and first sample in one piece, under the first free name: two
    // runs may start within the same second (the window and tessera-cli).
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string path = dir_ + "/" + FileNameFor(start_, attempt);
        if (platform::FileExists(path)) continue;
        if (auto created = platform::LockedFile::Create(path, behind_.front().text)) {
            file_ = std::move(*created);
            return true;
        }
        if (!platform::FileExists(path)) break;  // not taken by another: the disk refused
    }
    Fail("The logging journal cannot be written in \"" + dir_ + "\".");
    return false;
}

bool RunJournal::WriteBehind() {
    lastTry_ = clock_.Millis();
    if (!file_.IsOpen() && !behind_.empty()) {
        if (!Create()) return false;
        kept_ += behind_.front().samples;
        behind_.pop_front();
        unsynced_ = true;
    }
    while (!behind_.empty()) {
        Pending& front = behind_.front();
        std::size_t taken = 0;
        const bool all = file_.Append(std::string_view(front.text).substr(frontTaken_), &taken);
        frontTaken_ += taken;
        unsynced_ = unsynced_ || taken > 0;
        if (!all) {
            // Written on from where the disk stopped, so no line is ever torn in two.
            Fail("The logging journal \"" + file_.Path() + "\" could not be written further.");
            return false;
        }
        kept_ += front.samples;
        behind_.pop_front();
        frontTaken_ = 0;
    }
    problem_.clear();
    return true;
}

void RunJournal::Append(const JournalSample& sample) {
    if (!open_) return;
    const bool behind = !behind_.empty();
    behind_.push_back({JournalSampleText(sample), 1});
    const std::uint32_t now = clock_.Millis();
    if (behind && now - lastTry_ < kRetryIntervalMs) return;
    if (WriteBehind() && now - lastSync_ >= kSyncIntervalMs) Sync();
}

void RunJournal::NoteSave(const std::string& path, std::string_view contents) {
    if (!open_ && !file_.IsOpen()) return;
    // A recovered journal may end in an incomplete line: the mark goes on a line of its own.
    behind_.push_back({(open_ ? "" : "\n") + JournalSaveText(path, contents), 0});
    // On the disk before the file takes its place; a mark that cannot be written only means
    // the run may be offered once more after a crash.
    if (WriteBehind()) Sync();
}

void RunJournal::NoteMark(const RunMark& mark) {
    if (!open_) {
        early_.push_back(mark);
        return;
    }
    behind_.push_back({JournalMarkText(mark), 0});
    // Rare and typed by a person: onto the disk at once.
    if (WriteBehind()) Sync();
}

void RunJournal::NoteGap(const JournalGap& gap) {
    if (!open_) return;
    behind_.push_back({JournalGapText(gap), 0});
    WriteBehind();  // onto the disk with the next sync, as a sample is
}

void RunJournal::Sync() {
    if (!behind_.empty()) WriteBehind();
    if (!file_.IsOpen() || !unsynced_) return;
    file_.Sync();
    lastSync_ = clock_.Millis();
    unsynced_ = false;
}

bool RunJournal::CatchUp() {
    Sync();
    return behind_.empty();
}

void RunJournal::Discard() {
    if (file_.IsOpen()) file_.Remove();
    behind_.clear();
    early_.clear();
    frontTaken_ = 0;
    kept_ = 0;
    open_ = false;
    unsynced_ = false;
}

void RunJournal::Adopt(platform::LockedFile file, int samples) {
    Discard();
    problem_.clear();
    file_ = std::move(file);
    kept_ = samples;  // nothing more is appended to a finished run but the mark of its save
}

namespace {

// The sidecar goes first: were it written after the file, a crash between the two would find
// the run saved and remove its journal, with the marks only in the journal.
bool SaveSidecar(const std::string& path, const RunMarks& marks, int lastSlot, std::string* error) {
    std::string why;
    if (WriteMarksFile(path, marks, lastSlot, &why) || marks.marks.empty()) return true;
    if (error) *error = page::FileNotWrittenMessage(MarksPath(path)) + (why.empty() ? "" : " (" + why + ")");
    return false;
}

}  // namespace

bool SaveJournalledRun(RunJournal* journal, const std::string& path, const LogHeader& header,
                       const link::LogSample* slots, int lastSlot, const RunMarks& marks, std::string* error) {
    if (!SaveSidecar(path, marks, lastSlot, error)) return false;
    const std::string text = LogFileText(header, slots, lastSlot);
    if (journal) journal->NoteSave(path, text);
    return platform::ReplaceFileContents(path, text);
}

bool SaveJournalledRun(platform::LockedFile& journal, const std::string& path, const LogHeader& header,
                       const link::LogSample* slots, int lastSlot, const RunMarks& marks, std::string* error) {
    if (!SaveSidecar(path, marks, lastSlot, error)) return false;
    const std::string text = LogFileText(header, slots, lastSlot);
    // On a line of its own: a crash may have left the journal's last line incomplete.
    if (journal.Append("\n" + JournalSaveText(path, text))) journal.Sync();
    return platform::ReplaceFileContents(path, text);
}

// --- finding unfinished runs ---

JournalScan ClaimUnfinishedRuns(const std::string& directory) {
    JournalScan scan;
    const std::string dir = JournalDirectory(directory, &scan.problem);
    if (dir.empty()) return scan;
    for (const std::string& path : FilesWithExtension(dir, kJournalExtension)) {
        auto file = platform::LockedFile::Claim(path);
        if (!file) continue;  // a running program's journal, or gone meanwhile
        const auto bytes = file->ReadAll();
        if (!bytes) continue;  // stays for another try
        auto contents = ParseJournal(*bytes);
        const bool nothingRead = contents && contents->samples.empty() && contents->tailCut;
        if (!contents || nothingRead) {
            // Never deleted unread: its bytes stay under a name no program takes for a run.
            for (int attempt = 1; attempt <= 100; ++attempt) {
                if (file->MoveTo(SetAsideName(path, attempt))) {
                    scan.setAside.push_back({path, file->Path()});
                    break;
                }
            }
            continue;
        }
        if (LastValidSlot(*contents) < 0 || RunWasSaved(*contents)) {
            file->Remove();  // nothing in it to recover, or saved already: a crash came before it went
            continue;
        }
        scan.runs.push_back({std::move(*file), std::move(*contents)});
    }
    std::sort(scan.runs.begin(), scan.runs.end(), [](const UnfinishedRun& a, const UnfinishedRun& b) {
        const auto ka = StartKey(a.contents.header.start), kb = StartKey(b.contents.header.start);
        if (ka != kb) return ka > kb;
        return a.file.Path() > b.file.Path();
    });
    return scan;
}

std::vector<std::string> SetAsideJournals(const std::string& directory) {
    const std::string dir = JournalDirectory(directory, nullptr);
    if (dir.empty()) return {};
    return FilesWithExtension(dir, kSetAsideExtension);
}

}  // namespace tessera::logger
