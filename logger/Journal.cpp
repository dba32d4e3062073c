#include "logger/Journal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "logger/Geometry.h"
#include "platform/Paths.h"

namespace tessera::logger {
namespace {

constexpr std::string_view kMagic = "TESSERA LOGGING JOURNAL 1";
// A journal whose syncs come further apart than this could lose more than a second of
// samples in a power cut.
constexpr std::uint32_t kSyncIntervalMs = 1000;

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

std::string Sealed(std::string content) {
    char crc[16];
    std::snprintf(crc, sizeof crc, " *%08x\n", static_cast<unsigned>(Crc32(content)));
    return content + crc;
}

// --- reading ---

// The content of one sealed line and the rest after it; nothing when the line is
// incomplete or its CRC does not match.
std::optional<std::string_view> TakeLine(std::string_view& bytes) {
    const auto end = bytes.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(0, end);
    if (line.size() < 10 || line.substr(line.size() - 10, 2) != " *") return std::nullopt;
    const std::string_view hex = line.substr(line.size() - 8);
    std::uint32_t crc = 0;
    const auto r = std::from_chars(hex.data(), hex.data() + hex.size(), crc, 16);
    if (r.ec != std::errc() || r.ptr != hex.data() + hex.size()) return std::nullopt;
    const std::string_view content = line.substr(0, line.size() - 10);
    if (Crc32(content) != crc) return std::nullopt;
    bytes.remove_prefix(end + 1);
    return content;
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

bool ParseStart(std::string_view content, StartTime& t) {
    Words w(content);
    if (w.Next() != "START") return false;
    // Loose limits: any time the clock gave is taken back; only nonsense is refused.
    const auto year = w.Integer(0, 99999), month = w.Integer(0, 12), day = w.Integer(0, 31);
    const auto weekday = w.Integer(0, 7), hour = w.Integer(0, 24), minute = w.Integer(0, 60), second = w.Integer(0, 61);
    if (!year || !month || !day || !weekday || !hour || !minute || !second || !w.Done()) return false;
    t = {static_cast<int>(*year), static_cast<int>(*month),  static_cast<int>(*day),   static_cast<int>(*weekday),
         static_cast<int>(*hour), static_cast<int>(*minute), static_cast<int>(*second)};
    return true;
}

std::optional<JournalSample> ParseSample(std::string_view content, int expectedSlot) {
    Words w(content);
    if (w.Next() != "S") return std::nullopt;
    const auto slot = w.Integer(expectedSlot, expectedSlot);
    const auto x = w.Real(), y = w.Real(), z = w.Real(), R = w.Real();
    const auto scale = w.Integer(0, 3);
    if (!slot || !x || !y || !z || !R || !scale || !w.Done()) return std::nullopt;
    return JournalSample{{static_cast<std::int32_t>(*slot), *x, *y, *z, *R}, static_cast<int>(*scale)};
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
// the system's code page on Windows, so the conversion is spelled out.
std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string TextOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

auto StartKey(const StartTime& t) { return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second); }

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
    for (int v :
         {h.start.year, h.start.month, h.start.day, h.start.weekday, h.start.hour, h.start.minute, h.start.second}) {
        AddNumber(start, static_cast<long long>(v));
    }
    return Sealed(std::string(kMagic)) + Sealed(settings) + Sealed(run) + Sealed(start);
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
    while (!bytes.empty() && run.samples.size() < static_cast<std::size_t>(link::kLogSlots)) {
        const auto line = TakeLine(bytes);
        const auto sample = line ? ParseSample(*line, static_cast<int>(run.samples.size())) : std::nullopt;
        if (!sample) break;
        run.samples.push_back(*sample);
    }
    run.tailCut = !bytes.empty();
    return run;
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

std::string RunStartText(const StartTime& t) {
    return std::to_string(t.year) + "/" + TwoDigits(t.month) + "/" + TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" +
           TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string JournalDirectory() { return platform::StateDirectory(); }

// --- RunJournal ---

RunJournal::RunJournal(std::string directory, platform::Clock& clock)
    : directory_(std::move(directory)), clock_(clock) {}

void RunJournal::Fail(const std::string& why) {
    // A journal that broke off stays held: what it has is still recovered after a crash,
    // and it still goes when the data are saved.
    problem_ = why;
    writable_ = false;
}

void RunJournal::Begin(const JournalHeader& header, const JournalSample& first) {
    Discard();
    problem_.clear();
    std::string dir = directory_.empty() ? JournalDirectory() : directory_;
    if (dir.empty()) {
        Fail("There is no state directory for the logging journal.");
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(PathOf(dir), ec);
    const std::string text = JournalHeaderText(header) + JournalSampleText(first);
    // Two runs may start within the same second (the window and tessera-cli).
    for (int attempt = 1; attempt <= 100 && !file_.IsOpen(); ++attempt) {
        const std::string path = dir + "/" + FileNameFor(header.start, attempt);
        if (platform::FileExists(path)) continue;
        if (auto created = platform::LockedFile::Create(path, text)) file_ = std::move(*created);
    }
    if (!file_.IsOpen()) {
        Fail("The logging journal cannot be written in \"" + dir + "\".");
        return;
    }
    writable_ = true;
    file_.Sync();
    lastSync_ = clock_.Millis();
    unsynced_ = false;
}

void RunJournal::Append(const JournalSample& sample) {
    if (!file_.IsOpen() || !writable_) return;
    if (!file_.Append(JournalSampleText(sample))) {
        Fail("The logging journal \"" + file_.Path() + "\" could not be written further.");
        return;
    }
    unsynced_ = true;
    const std::uint32_t now = clock_.Millis();
    if (now - lastSync_ >= kSyncIntervalMs) Sync();
}

void RunJournal::Sync() {
    if (!file_.IsOpen() || !unsynced_) return;
    file_.Sync();
    lastSync_ = clock_.Millis();
    unsynced_ = false;
}

void RunJournal::Discard() {
    if (file_.IsOpen()) file_.Remove();
    unsynced_ = false;
}

void RunJournal::Adopt(platform::LockedFile file) {
    Discard();
    problem_.clear();
    file_ = std::move(file);
    writable_ = false;  // nothing more is appended to a finished run
}

std::vector<UnfinishedRun> ClaimUnfinishedRuns(const std::string& directory) {
    std::vector<UnfinishedRun> runs;
    const std::string dir = directory.empty() ? JournalDirectory() : directory;
    if (dir.empty()) return runs;
    std::error_code ec;
    std::vector<std::string> paths;
    for (std::filesystem::directory_iterator it(PathOf(dir), ec), end; !ec && it != end; it.increment(ec)) {
        const auto& p = it->path();
        if (p.extension() == kJournalExtension && it->is_regular_file(ec)) paths.push_back(TextOf(p));
    }
    for (const std::string& path : paths) {
        auto file = platform::LockedFile::Claim(path);
        if (!file) continue;  // a running program's journal, or gone meanwhile
        const auto bytes = file->ReadAll();
        auto contents = bytes ? ParseJournal(*bytes) : std::nullopt;
        if (!contents || LastValidSlot(*contents) < 0) {
            if (bytes) file->Remove();  // nothing in it to recover
            continue;
        }
        runs.push_back({std::move(*file), std::move(*contents)});
    }
    std::sort(runs.begin(), runs.end(), [](const UnfinishedRun& a, const UnfinishedRun& b) {
        const auto ka = StartKey(a.contents.header.start), kb = StartKey(b.contents.header.start);
        if (ka != kb) return ka > kb;
        return a.file.Path() > b.file.Path();
    });
    return runs;
}

}  // namespace tessera::logger
