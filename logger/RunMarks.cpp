#include "logger/RunMarks.h"

#include <algorithm>
#include <charconv>

#include "link/Stores.h"
#include "page/Sidecar.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "settings/Vocabulary.h"

namespace tessera::logger {
namespace {

constexpr std::string_view kColumns = "sample,time,text";

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

std::optional<int> Number(std::string_view text) {
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

char SensorCode(std::string_view text) {
    for (char code : {'1', '2'})
        if (settings::SensorCsvText(code) == text) return code;
    return 0;
}

}  // namespace

std::string MarkText(std::string_view typed) {
    std::string text(typed);
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.size() > kMarkTextLimit) {
        std::size_t cut = kMarkTextLimit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        text.resize(cut);
    }
    return text;
}

std::string MarksPath(const std::string& logPath) { return page::SidecarPath(logPath, kMarksSidecar); }

std::string MarksFileText(const RunMarks& marks, int lastSlot) {
    std::string text = "# TESSERA logging run\r\n";
    if (marks.utcOffsetMinutes)
        text += page::FactLine("utc_offset", page::OffsetText(*marks.utcOffsetMinutes)) + "\r\n";
    if (marks.sensor != 0) text += page::FactLine("sensor", settings::SensorCsvText(marks.sensor)) + "\r\n";
    text += std::string(kColumns) + "\r\n";
    for (const RunMark& m : marks.marks) {
        const int slot = std::clamp(m.slot, 0, std::max(lastSlot, 0));
        text += std::to_string(slot + 1) + "," + (m.time.local.year > 0 ? page::IsoTime(m.time) : std::string()) + "," +
                page::CsvField(m.text) + "\r\n";
    }
    return text;
}

MarksFile ParseMarksFile(std::string_view text) {
    MarksFile file;
    for (std::string_view line : page::TextLines(text)) {
        if (line.empty()) continue;
        if (line.front() == '#') {
            if (const auto fact = page::FactOf(line)) {
                if (fact->key == "utc_offset") file.marks.utcOffsetMinutes = page::ParseOffset(fact->value);
                else if (fact->key == "sensor") file.marks.sensor = SensorCode(fact->value);
            }
            continue;
        }
        const auto fields = page::SplitCsvLine(line);
        if (fields && !fields->empty() && SameLetters((*fields)[0], "sample")) continue;  // the column names
        const auto sample = fields && fields->size() >= 3 ? Number((*fields)[0]) : std::nullopt;
        if (!sample || *sample < 1 || *sample > link::kLogSlots) {
            ++file.skippedLines;
            continue;
        }
        RunMark mark;
        mark.slot = *sample - 1;
        if (!(*fields)[1].empty()) {
            const auto time = page::ParseIsoTime((*fields)[1]);
            if (!time) {
                ++file.skippedLines;
                continue;
            }
            mark.time = *time;
        }
        // A text with commas that was not quoted comes back whole: all after the second comma.
        std::string said = (*fields)[2];
        if (fields->size() > 3) {
            const auto rest = line.find(',', line.find(',') + 1) + 1;
            if (line.find('"', rest) == std::string_view::npos) said = line.substr(rest);
        }
        mark.text = MarkText(said);
        file.marks.marks.push_back(std::move(mark));
    }
    return file;
}

std::optional<MarksFile> ReadMarksFile(const std::string& logPath, std::string* problem) {
    const std::string path = MarksPath(logPath);
    const auto text = platform::ReadWholeFile(path);
    if (!text) return std::nullopt;
    MarksFile file = ParseMarksFile(*text);
    if (problem && file.skippedLines > 0) {
        *problem = "\"" + path + "\": " + page::LinesNotReadText(file.skippedLines);
    }
    return file;
}

bool WriteMarksFile(const std::string& logPath, const RunMarks& marks, int lastSlot, std::string* error) {
    if (!marks.Empty()) return platform::ReplaceFileContents(MarksPath(logPath), MarksFileText(marks, lastSlot), error);
    // A sidecar of whatever the file held before would now speak for other samples.
    if (!page::RemoveSidecar(MarksPath(logPath))) {
        if (error) *error = "an older \"" + MarksPath(logPath) + "\" could not be removed";
        return false;
    }
    return true;
}

}  // namespace tessera::logger
