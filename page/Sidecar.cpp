#include "page/Sidecar.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Files.h"

namespace tessera::page {
namespace {

bool EndsWithCsv(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] == 'C' || end[1] == 'c') && (end[2] == 'S' || end[2] == 's') &&
           (end[3] == 'V' || end[3] == 'v');
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
    return s;
}

// `digits` decimal digits at `at` of `text`, as a number; nothing when they are not there.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t digits) {
    if (at + digits > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string SidecarPath(const std::string& pagePath, std::string_view kind) {
    std::string path = pagePath;
    if (EndsWithCsv(path)) path.resize(path.size() - 4);
    path += '.';
    path += kind;
    path += ".csv";
    return path;
}

std::string CsvField(std::string_view text) {
    std::string flat(text);
    for (char& c : flat)
        if (c == '\r' || c == '\n') c = ' ';
    const bool quote = flat.find_first_of(",\"") != std::string::npos ||
                       (!flat.empty() && (Blank(flat.front()) || Blank(flat.back()) || flat.front() == '#'));
    if (!quote) return flat;
    std::string out = "\"";
    for (char c : flat) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    for (;;) {
        std::string field;
        // Blanks before an opening quote are no part of the field.
        std::size_t start = i;
        while (start < line.size() && Blank(line[start])) ++start;
        if (start < line.size() && line[start] == '"') {
            i = start + 1;
            for (;;) {
                if (i >= line.size()) return std::nullopt;  // the quote is never closed
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            while (i < line.size() && Blank(line[i])) ++i;
            if (i < line.size() && line[i] != ',') return std::nullopt;  // text after the closing quote
        } else {
            const std::size_t comma = line.find(',', i);
            field = std::string(Trimmed(line.substr(i, comma == std::string_view::npos ? line.npos : comma - i)));
            i = comma == std::string_view::npos ? line.size() : comma;
        }
        fields.push_back(std::move(field));
        if (i >= line.size()) return fields;
        ++i;  // the comma
    }
}

std::vector<std::string_view> TextLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

std::optional<Fact> FactOf(std::string_view line) {
    if (line.empty() || line.front() != '#') return std::nullopt;
    line.remove_prefix(1);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trimmed(line.substr(0, colon));
    if (key.empty()) return std::nullopt;
    return Fact{std::string(key), std::string(Trimmed(line.substr(colon + 1)))};
}

std::string FactLine(std::string_view key, std::string_view value) {
    std::string flat(value);
    for (char& c : flat)
        if (c == '\r' || c == '\n') c = ' ';
    return "# " + std::string(key) + ": " + flat;
}

std::string OffsetText(int minutes) {
    const int size = minutes < 0 ? -minutes : minutes;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', size / 60 % 100, size % 60);
    return text;
}

std::optional<int> ParseOffset(std::string_view text) {
    if (text == "Z" || text == "z") return 0;
    if (text.size() < 3 || (text[0] != '+' && text[0] != '-')) return std::nullopt;
    const auto hours = Digits(text, 1, 2);
    std::optional<int> minutes = 0;
    if (text.size() == 6 && text[3] == ':') minutes = Digits(text, 4, 2);
    else if (text.size() == 5) minutes = Digits(text, 3, 2);
    else if (text.size() != 3) return std::nullopt;
    if (!hours || !minutes || *minutes > 59 || *hours * 60 + *minutes > 18 * 60) return std::nullopt;
    const int total = *hours * 60 + *minutes;
    return text[0] == '-' ? -total : total;
}

std::string IsoTime(const Moment& m) {
    const platform::LocalTime& t = m.local;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    std::string iso = text;
    if (m.utcOffsetMinutes) iso += OffsetText(*m.utcOffsetMinutes);
    return iso;
}

std::optional<Moment> ParseIsoTime(std::string_view text) {
    text = Trimmed(text);
    // 2024-03-01T02:10[:00[.250]][offset]
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2);
    if (!year || !month || !day || !hour || !minute || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != 't' && text[10] != ' ') || text[13] != ':') {
        return std::nullopt;
    }
    Moment m;
    platform::LocalTime& t = m.local;
    t.year = *year, t.month = *month, t.day = *day, t.hour = *hour, t.minute = *minute;
    std::size_t at = 16;
    if (at < text.size() && text[at] == ':') {
        const auto second = Digits(text, at + 1, 2);
        if (!second) return std::nullopt;
        t.second = *second;
        at += 3;
        if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
            ++at;
            int digits = 0, ms = 0;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                if (digits < 3) ms = ms * 10 + (text[at] - '0');
                ++digits, ++at;
            }
            if (digits == 0) return std::nullopt;
            for (int d = digits; d < 3; ++d) ms *= 10;
            t.millisecond = ms;
        }
    }
    if (at < text.size()) {
        m.utcOffsetMinutes = ParseOffset(text.substr(at));
        if (!m.utcOffsetMinutes) return std::nullopt;
    }
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 60)
        return std::nullopt;
    return m;
}

std::string LinesNotReadText(int skipped) {
    return std::to_string(skipped) + (skipped == 1 ? " line could not be read." : " lines could not be read.");
}

bool RemoveSidecar(const std::string& path) { return platform::RemoveFile(path); }

}  // namespace tessera::page
