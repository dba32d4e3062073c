#include "logger/LoggerCsv.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "link/Decode.h"
#include "logger/LoggerTables.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "settings/Vocabulary.h"

namespace tessera::logger {
namespace {

constexpr const char* kWeekdays[7] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
constexpr const char kModes[] = {'0', '1', '2', '3', '4'};
constexpr const char kUnits[] = {'0', '1', '2', '3'};

using settings::EqualsNoCase;

std::string Missing(const char* key) {
    return std::string("The file is a CSV file without information about \"") + key + "\".";
}
std::string Unidentifiable(const char* key) {
    return std::string("An unidentifiable information about \"") + key + "\" in this file.";
}

// The text after the first comma; nullopt when the line has none.
std::optional<std::string> ValueOf(const std::string& line) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) return std::nullopt;
    return line.substr(comma + 1);
}

// Leading decimal digits at `pos` (none: 0), advancing `pos`; large numbers saturate.
int LeadingNumber(std::string_view text, std::size_t& pos) {
    long long n = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (n < 100000000) n = n * 10 + (text[pos] - '0');
        ++pos;
    }
    return static_cast<int>(n);
}
int LeadingNumber(std::string_view text) {
    std::size_t pos = 0;
    return LeadingNumber(text, pos);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::optional<int> RangeIndexFromText(char unit, std::string_view text) {
    const int n = LeadingNumber(text);
    auto pick = [n](std::initializer_list<int> allowed, int firstIndex) -> std::optional<int> {
        int index = firstIndex;
        for (int a : allowed) {
            if (n == a) return index;
            ++index;
        }
        return std::nullopt;
    };
    switch (unit) {
        case '0':
            if (EndsWithNoCase(text, "uT")) return pick({2, 20, 200}, 0);
            if (EndsWithNoCase(text, "mT")) return pick({2}, 3);
            return std::nullopt;
        case '1':
            if (EndsWithNoCase(text, "mG")) return pick({20, 200}, 0);
            if (EndsWithNoCase(text, "0G")) return pick({2, 20}, 2);
            return std::nullopt;
        case '2':
            if (EndsWithNoCase(text, "A/m")) return pick({1, 16, 160, 1600}, 0);
            return std::nullopt;
        case '3':
            if (EndsWithNoCase(text, "%")) return pick({2, 20, 200, 2000}, 0);
            return std::nullopt;
        default: return std::nullopt;
    }
}

std::optional<StartTime> ParseStartTime(std::string_view v) {
    StartTime t;
    std::size_t pos = 0;
    t.year = LeadingNumber(v, pos);
    if (pos >= v.size() || v[pos] != '/') return std::nullopt;
    ++pos;
    t.month = LeadingNumber(v, pos);
    if (pos >= v.size() || v[pos] != '/') return std::nullopt;
    ++pos;
    t.day = LeadingNumber(v, pos);
    if (pos >= v.size() || v[pos] != '(') return std::nullopt;
    const auto close = v.find(')', pos);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view weekday = v.substr(pos + 1, close - pos - 1);
    t.weekday = 0;
    for (int i = 0; i < 7; ++i) {
        if (EqualsNoCase(weekday, kWeekdays[i])) t.weekday = i + 1;
    }
    pos = close + 1;
    if (pos >= v.size() || v[pos] != ',') return std::nullopt;
    ++pos;
    t.hour = LeadingNumber(v, pos);
    if (pos >= v.size() || v[pos] != ':') return std::nullopt;
    ++pos;
    t.minute = LeadingNumber(v, pos);
    if (pos >= v.size() || v[pos] != ':') return std::nullopt;
    ++pos;
    t.second = LeadingNumber(v, pos);
    if (t.weekday == 0 || t.month > 12 || t.day > 31 || t.hour >= 25 || t.minute >= 61 || t.second >= 61) {
        return std::nullopt;
    }
    return t;
}

}  // namespace

std::string StartTimeText(const StartTime& t) {
    const char* weekday = t.weekday >= 1 && t.weekday <= 6 ? kWeekdays[t.weekday - 1] : "SUN";
    char text[96];
    std::snprintf(text, sizeof text, "%d/%d/%d(%s),%.2d:%.2d:%.2d", t.year, t.month, t.day, weekday, t.hour, t.minute,
                  t.second);
    return text;
}

std::vector<std::string> HeaderLines(const LogHeader& h) {
    const auto& r = h.record;
    const std::string kind = r.range >= 10 ? "auto," : "fixed,";
    return {
        kLogBanner,
        "1 MODE," + settings::ModeText(r.mode),
        "2 UNIT," + settings::UnitText(r.unit),
        "3 RANGE," + kind + RangeText(r.unit, r.range % 10),
        "4 OUTPUT," + settings::OutputCsvText(r.output),
        std::string("5 SLOW,") + (r.slow == '0' ? "OFF" : "ON"),
        "6 START TIME," + StartTimeText(h.start),
        "7 SAMPLING PERIOD," + PeriodFileText(r.slow, h.periodIndex),
        std::string("8 SAMPLING METHOD,") + MethodFileText(h.method),
        "9 DATA",
        "NO,x,y,z,R",
    };
}

std::string DataLine(int number, const link::LogSample& s) {
    return std::to_string(number) + "," + link::FormatSignificant(s.x, 4) + "," + link::FormatSignificant(s.y, 4) +
           "," + link::FormatSignificant(s.z, 4) + "," + link::FormatSignificant(s.R, 4);
}

bool WriteLogFile(const std::string& path, const LogHeader& header, const link::LogSample* slots, int lastSlot) {
    return platform::ReplaceFileContents(path, LogFileText(header, slots, lastSlot));
}

std::string LogFileText(const LogHeader& header, const link::LogSample* slots, int lastSlot) {
    std::string text;
    text.reserve(64 * static_cast<std::size_t>(std::max(lastSlot, 0) + 12));
    bool first = true;
    auto put = [&](const std::string& line) {
        if (!first) text += "\r\n";
        text += line;
        first = false;
    };
    for (const auto& line : HeaderLines(header)) put(line);
    for (int slot = 0; slot <= lastSlot; ++slot) put(DataLine(slot + 1, slots[slot]));
    return text;
}

std::optional<std::string> FirstLine(const std::string& path) {
    std::ifstream in = platform::OpenInput(path);
    if (!in) return std::nullopt;
    std::string line;
    char c;
    while (line.size() < 999 && in.get(c) && c != '\n') line.push_back(c);
    return TrimLine(line);
}

std::string TrimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return std::string(line);
}

std::variant<ParsedHeader, std::string> ParseHeader(const std::vector<std::string>& lines) {
    auto line = [&](std::size_t i) -> const std::string& {
        static const std::string empty;
        return i < lines.size() ? lines[i] : empty;
    };
    ParsedHeader h;
    auto& r = h.record;

    if (line(0).find(page::kLoggerBannerKey) == std::string::npos) {
        if (line(0).find(page::kEntireReadBannerKey) != std::string::npos) {
            return std::string(
                "The file is a CSV file for \"Entire Read\". \n\nPlease open it in \"Entire Read\" page.");
        }
        return std::string("An unidentifiable file type.");
    }

    if (line(1).find("MODE") == std::string::npos) return Missing("MODE");
    {
        const auto v = ValueOf(line(1));
        if (!v) return Unidentifiable("MODE");
        for (char code : kModes) {
            if (EqualsNoCase(*v, settings::ModeText(code))) r.mode = code;
        }
        if (r.mode == 0) return Unidentifiable("MODE");
    }

    if (line(2).find("UNIT") == std::string::npos) return Missing("UNIT");
    {
        const auto v = ValueOf(line(2));
        if (!v || v->empty()) return Unidentifiable("UNIT");
        for (char code : kUnits) {
            if (EqualsNoCase(*v, settings::UnitText(code))) r.unit = code;
        }
        if (r.unit == 0) return Unidentifiable("UNIT");
    }

    if (line(3).find("RANGE") == std::string::npos) return Missing("RANGE");
    {
        const auto v = ValueOf(line(3));
        if (!v) return Unidentifiable("RANGE");
        const auto comma = v->find(',');
        if (comma == std::string::npos) return Unidentifiable("RANGE");
        const std::string kind = v->substr(0, comma);
        const std::string text = v->substr(comma + 1);
        if ((kind != "auto" && kind != "fixed") || text.size() < 2) return Unidentifiable("RANGE");
        const auto index = RangeIndexFromText(r.unit, text);
        if (!index) return Unidentifiable("RANGE");
        r.range = static_cast<std::uint8_t>(*index + (kind == "auto" ? 10 : 0));
    }

    if (line(4).find("OUTPUT") == std::string::npos) return Missing("OUTPUT");
    {
        const auto v = ValueOf(line(4));
        if (!v || v->empty()) return Unidentifiable("OUTPUT");
        if (EqualsNoCase(*v, "OFF")) r.output = '0';
        else if (EqualsNoCase(*v, "MON")) r.output = '1';
        else if (EqualsNoCase(*v, "REC")) r.output = '2';
        else return std::string("The file is a CSV file without valid output mode.");
    }

    if (line(5).find("SLOW") == std::string::npos) return Missing("SLOW");
    {
        const auto v = ValueOf(line(5));
        if (v && EqualsNoCase(*v, "ON")) r.slow = '1';
        else if (v && EqualsNoCase(*v, "OFF")) r.slow = '0';
        else return Unidentifiable("SLOW");
    }

    if (line(6).find("START TIME") == std::string::npos) return Missing("START TIME");
    {
        const auto v = ValueOf(line(6));
        const auto t = v ? ParseStartTime(*v) : std::nullopt;
        if (!t) return Unidentifiable("START TIME");
        h.start = *t;
    }

    if (line(7).find("SAMPLING PERIOD") == std::string::npos) return Missing("SAMPLING PERIOD");
    {
        const auto v = ValueOf(line(7));
        if (!v) return Unidentifiable("SAMPLING PERIOD");
        const auto open = v->find('[');
        if (open == std::string::npos || open + 1 >= v->size()) return Unidentifiable("SAMPLING PERIOD");
        if (v->find(']', open) == std::string::npos) return Unidentifiable("SAMPLING PERIOD");
        std::size_t pos = open + 1;
        h.periodNumber = LeadingNumber(*v, pos);
        if (pos >= v->size()) return Unidentifiable("SAMPLING PERIOD");
        const char letter = (*v)[pos];
        if (letter != 'h' && letter != 'm' && letter != 's') return Unidentifiable("SAMPLING PERIOD");
        h.periodLetter = letter;
    }

    if (line(8).find("SAMPLING METHOD") == std::string::npos) return Missing("SAMPLING METHOD");
    {
        const auto v = ValueOf(line(8));
        if (!v || v->empty()) return Unidentifiable("SAMPLING METHOD");
        int method = -1;
        for (int m = 0; m < 3; ++m) {
            if (EqualsNoCase(*v, MethodFileText(m))) method = m;
        }
        if (method < 0) return Unidentifiable("SAMPLING METHOD");
        h.method = method;
    }

    if (line(9).find("DATA") == std::string::npos) {
        return std::string("There is no description of \"DATA\". This file is an unidentifiable file type.");
    }
    if (line(10).find("NO,x,y,z,R") == std::string::npos) {
        return std::string("There is no description of \"NO,x,y,z,R\". This file is an unidentifiable file type.");
    }
    return h;
}

std::variant<PeriodChoice, std::string> ChoosePeriod(const ParsedHeader& h) {
    const bool slowOn = h.record.slow == '1';
    const int n = h.periodNumber;
    PeriodChoice c;
    bool known = true;
    switch (h.periodLetter) {
        case 's':
            if (n == 1 || n == 5) {
                if (slowOn) return std::string("The State of SLOW isn't matched for \"SAMPLING PERIOD\".");
                c = {n == 1 ? 0 : 1, n == 1 ? 4 : 20, true};
            } else if (n == 10) {
                c = {2, slowOn ? 5 : 20, slowOn};
            } else if (n == 20) {
                c = {3, slowOn ? 10 : 20, slowOn};
            } else {
                known = false;
            }
            break;
        case 'm':
            switch (n) {
                case 1: c = {4, 20, false}; break;
                case 2: c = {5, 20, false}; break;
                case 5: c = {6, 20, false}; break;
                case 10: c = {7, 20, false}; break;
                case 20: c = {8, 20, false}; break;
                default: known = false;
            }
            break;
        case 'h':
            if (n == 1) c = {9, 20, false};
            else known = false;
            break;
        default: known = false;
    }
    if (!known) return Unidentifiable("SAMPLING METHOD");
    if (c.fixedOnly && h.method != kFixedInterval) {
        return std::string("The State of SLOW isn't matched for \"SAMPLING METHOD\".");
    }
    return c;
}

std::optional<std::array<double, 4>> ParseDataLine(std::string_view line) {
    std::array<std::string_view, 6> fields{};
    int count = 0;
    std::size_t start = 0;
    while (count < 6) {
        const auto comma = line.find(',', start);
        fields[count++] = line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (count < 5) return std::nullopt;
    std::array<double, 4> values{};
    for (int i = 0; i < 4; ++i) {
        const std::string_view f = fields[i + 1];
        if (f.empty()) return std::nullopt;
        // As every reader of the program's files reads numbers: a point, whatever the locale.
        values[i] = link::ReadLeadingNumber(f);
    }
    return values;
}

std::string DataErrorQuestion(int lineNumber) {
    return "Data error in line " + std::to_string(lineNumber) +
           ".\n\nWould you like to go on reading data?\nIf you click \"No\", the set of data will be ignored";
}

}  // namespace tessera::logger
