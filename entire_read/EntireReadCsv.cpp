#include "entire_read/EntireReadCsv.h"

#include <utility>

#include "link/Decode.h"
#include "page/Texts.h"
#include "settings/Vocabulary.h"

namespace tessera::entire_read {

namespace {

// Longer lines are cut here; the rest of such a line is dropped rather than read as a
// line of its own.
constexpr std::size_t kLineLimit = 999;
constexpr std::size_t kFieldCount = 15;

double ReadValue(const std::string& text) {
    if (settings::EqualsNoCase(text, kOverloadText)) return kOverloadValue;
    return link::ReadLeadingNumber(text);  // not a number reads as 0; a point whatever the locale
}

// The unit family ('0'..'3') and range index of a RANGE text.
std::optional<std::pair<char, int>> RangeFromText(std::string_view text) {
    for (char unit = '0'; unit <= '3'; ++unit)
        for (int index = 0; index < 4; ++index)
            if (settings::EqualsNoCase(text, RangeFileText(unit, index))) return std::pair{unit, index};
    if (settings::EqualsNoCase(text, "2000% (only for 8620)")) return std::pair{'3', 3};
    return std::nullopt;
}

// The display unit a UNIT text of the file fixes (0 for "%", which names no flux unit).
int FileUnitCode(std::string_view unitText) {
    for (int u = kUnitMicroTesla; u <= kUnitAmperePerMetre; ++u)
        if (settings::EqualsNoCase(unitText, DisplayUnitText(u))) return u;
    return kOriginalUnit;
}

}  // namespace

std::string LineMessage(std::string_view field, int number) {
    return "An unidentifiable information about \"" + std::string(field) + "\" in line " + std::to_string(number) + ".";
}

std::string RxyzLineMessage(int number) {
    return "An unidentifiable data Rxyz in line " + std::to_string(number) + ".";
}

std::string CsvHeaderText() {
    std::string text;
    for (std::string_view header : {kCsvBanner, kCsvDataLine, kCsvColumns}) {
        text += header;
        text += "\r\n";
    }
    return text;
}

std::string CsvRecordLine(const link::MemoryRecord& rec, const RowTexts& t) {
    // clang-format off
    const std::string fields[] = {
        t.number, t.mode, t.axis, t.unit, RangeFileText(rec.unit, rec.range % 10),
        t.x, t.y, t.z, t.R,
        settings::OutputCsvText(rec.output), settings::SwitchText(rec.slow), settings::SensorCsvText(rec.sensor),
        t.plus, t.minus,
    };
    // clang-format on
    std::string line;
    for (std::size_t f = 0; f < std::size(fields); ++f) {
        if (f) line += ',';
        line += fields[f];
    }
    line += "\r\n";
    return line;
}

bool CsvLineReader::Next(Line& line) {
    std::string s;
    if (!std::getline(in_, s)) return false;
    line.ended = !in_.eof();
    if (!s.empty() && s.back() == '\r') s.pop_back();
    if (s.size() > kLineLimit) s.resize(kLineLimit);
    line.text = std::move(s);
    return true;
}

std::optional<std::string> CsvLineReader::ReadHeader() {
    Line line;
    const bool got1 = Next(line);
    if (!got1 || line.text.find(page::kEntireReadBannerKey) == std::string::npos) {
        return std::string(got1 && line.text.find(page::kLoggerBannerKey) != std::string::npos ? kLoggerFileMessage
                                                                                               : kUnidentifiableFile);
    }
    if (!Next(line) || line.text.find(kCsvDataLine) == std::string::npos) return std::string(kNoDataLine);
    if (!Next(line) || line.text.find(kCsvColumns) == std::string::npos) return std::string(kNoColumnsLine);
    return std::nullopt;
}

bool CsvLineReader::NextRecordFields(std::vector<std::string>& fields) {
    Line line;
    do {
        if (!Next(line)) return false;
    } while (line.text.empty());  // blank lines carry nothing
    std::string text = std::move(line.text);
    if (line.ended) text += '\n';
    fields.assign(1, std::string());
    for (char c : text) {
        if (c == ',') {
            if (fields.size() == kFieldCount) break;  // characters after a fifteenth comma are dropped
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    fields.resize(kFieldCount);
    return true;
}

std::optional<std::string> ParseRecordLine(const std::vector<std::string>& f, int number, CsvRecord& out) {
    const auto mode = settings::ModeFromText(f[1]);
    if (!mode) return LineMessage("Mode", number);
    out.record.mode = *mode;

    char axis = 0;
    if (settings::EqualsNoCase(f[2], "x")) axis = '0';
    else if (settings::EqualsNoCase(f[2], "y")) axis = '1';
    else if (settings::EqualsNoCase(f[2], "z")) axis = '2';
    else if (settings::EqualsNoCase(f[2], "R")) axis = '3';
    else return LineMessage("Axis", number);
    out.record.axis = axis;

    const bool exposure = settings::IsExposureMode(*mode);
    if (settings::EqualsNoCase(f[3], "%")) {
        if (!exposure) return LineMessage("Unit", number);
        out.percent = true;
        out.unit = kOriginalUnit;
    } else {
        const int unit = FileUnitCode(f[3]);
        if (unit == kOriginalUnit || exposure) return LineMessage("Unit", number);
        out.unit = unit;
    }

    const auto range = RangeFromText(f[4]);
    if (!range) return LineMessage("Range", number);
    out.record.unit = range->first;
    out.record.range = static_cast<std::uint8_t>(range->second);

    for (int i = 5; i <= 8; ++i)
        if (f[i].empty()) return RxyzLineMessage(number);
    const double factor = FileUnitFactor(f[3], range->first).value_or(1.0);
    out.values.x = ReadValue(f[5]) * factor;
    out.values.y = ReadValue(f[6]) * factor;
    out.values.z = ReadValue(f[7]) * factor;
    out.values.R = ReadValue(f[8]) * factor;  // taken from the file, not recomputed
    out.record.value1 = out.values.x;
    out.record.value2 = out.values.y;
    out.record.value3 = out.values.z;

    if (settings::EqualsNoCase(f[9], "OFF")) out.record.output = '0';
    else if (settings::EqualsNoCase(f[9], "MON")) out.record.output = '1';
    else if (settings::EqualsNoCase(f[9], "REC")) out.record.output = '2';
    else return LineMessage("Output", number);

    if (settings::EqualsNoCase(f[10], "OFF")) out.record.slow = '0';
    else if (settings::EqualsNoCase(f[10], "ON")) out.record.slow = '1';
    else return LineMessage("Slow", number);

    if (settings::EqualsNoCase(f[11], "NC")) out.record.sensor = '0';
    else if (settings::EqualsNoCase(f[11], "8621")) out.record.sensor = '1';
    else if (settings::EqualsNoCase(f[11], "8622")) out.record.sensor = '2';
    else return LineMessage("Sensor", number);
    return std::nullopt;
}

}  // namespace tessera::entire_read
