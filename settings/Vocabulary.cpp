#include "settings/Vocabulary.h"

namespace tessera::settings {

namespace {

// clang-format off
constexpr std::array<std::string_view, 5> kModeTexts = {
    "Magnetic Flux Density(10Hz-400kHz)",
    "Magnetic Flux Density(10Hz-2kHz)",
    "Magnetic Flux Density(2kHz-400kHz)",
    "Exposure Level(General Public)",
    "Exposure Level(Occupational)",
};

constexpr std::array<std::string_view, kRowCount> kRowItems = {
    "Measurement Mode", "Axis", "Unit", "Range", "Output",
    "Auto Power Off", "Beep", "Slow", "MEM.MODE",
};
// clang-format on

// Fixed ranges by unit code '0'..'3' and RangeCode 1..4.
constexpr std::array<std::array<std::string_view, 4>, 4> kRangeTexts = {{
    {"2.000uT", "20.00uT", "200.0uT", "2.000mT"},
    {"20.00mG", "200.0mG", "2.000G", "20.00G"},
    {"1.600A/m", "16.00A/m", "160.0A/m", "1600A/m"},
    {"2.000%", "20.00%", "200.0%", "2000%"},
}};
constexpr std::string_view kRange2000Variant = "2000% (only for 8620)";
constexpr std::string_view kAuto = "AUTO";

constexpr std::string_view kOutputOff = "OFF";
constexpr std::string_view kOutputMonitor = "Monitor";
constexpr std::string_view kOutputMonitorVariant = "Monitor (only for 8620)";
constexpr std::string_view kOutputResultant = "Resultant Effective Value";

int UnitRow(char unit) {
    if (unit < '0' || unit > '3') return -1;
    return unit - '0';
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

std::string_view RowItemText(int row) {
    if (row < 0 || row >= kRowCount) return {};
    return kRowItems[static_cast<std::size_t>(row)];
}

std::string ModeText(char mode) {
    if (mode < '0' || mode > '4') return {};
    return std::string(kModeTexts[static_cast<std::size_t>(mode - '0')]);
}

std::string AxisText(char axis) {
    switch (axis) {
        case '0': return "x";
        case '1': return "y";
        case '2': return "z";
        case '3': return "R";
        default: return {};
    }
}

std::string UnitText(char unit) {
    switch (unit) {
        case '0': return "T";
        case '1': return "G";
        case '2': return "A/m";
        case '3': return "%";
        default: return {};
    }
}

std::string RangeText(char unit, std::uint8_t rangeCode, Column column) {
    if (rangeCode == kRangeAuto) return std::string(kAuto);
    const int row = UnitRow(unit);
    if (row < 0 || rangeCode < 1 || rangeCode > 4) return {};
    if (row == 3 && rangeCode == 4 && column == Column::NewSetting) return std::string(kRange2000Variant);
    return std::string(kRangeTexts[static_cast<std::size_t>(row)][rangeCode - 1u]);
}

std::string RangeTextFromIndex(char unit, std::uint8_t rangeIndex) {
    if (rangeIndex >= 10) return std::string(kAuto);
    return RangeText(unit, static_cast<std::uint8_t>(rangeIndex + 1), Column::Current);
}

std::string OutputText(char output, char mode, Column column) {
    switch (output) {
        case '0': return std::string(kOutputOff);
        case '1':
            return std::string(column == Column::NewSetting && IsExposureMode(mode) ? kOutputMonitorVariant
                                                                                    : kOutputMonitor);
        case '2': return std::string(kOutputResultant);
        default: return {};
    }
}

std::string OutputCsvText(char output) {
    switch (output) {
        case '0': return "OFF";
        case '1': return "MON";
        case '2': return "REC";
        default: return {};
    }
}

std::string SensorText(char sensor) {
    switch (sensor) {
        case '0': return "NC";
        case '1': return "100cm2";
        case '2': return "3cm2";
        default: return {};
    }
}

std::string SensorCsvText(char sensor) {
    switch (sensor) {
        case '0': return "NC";
        case '1': return "8621";
        case '2': return "8622";
        default: return {};
    }
}

std::string SwitchText(char onOff) {
    switch (onOff) {
        case '0': return "OFF";
        case '1': return "ON";
        default: return {};
    }
}

std::string SettingText(int row, const MeterSettings& s, Column column) {
    // No meter known: the column stays empty rather than showing codes of nothing.
    if (!MeterKnown(s)) return {};
    switch (row) {
        case kRowMode: return ModeText(s.mode);
        case kRowAxis: return AxisText(s.axis);
        case kRowUnit: return UnitText(s.unit);
        case kRowRange:
            return column == Column::Current ? RangeTextFromIndex(s.unit, s.range)
                                             : RangeText(s.unit, s.range, Column::NewSetting);
        case kRowOutput: return OutputText(s.output, s.mode, column);
        case kRowAutoPowerOff: return SwitchText(s.autoPowerOff);
        case kRowBeep: return SwitchText(s.beep);
        case kRowSlow: return SwitchText(s.slow);
        case kRowMemMode: return SwitchText(s.memMode);
        default: return {};
    }
}

std::uint8_t RangeCodeFromIndex(std::uint8_t rangeIndex) {
    return rangeIndex < 10 ? static_cast<std::uint8_t>(rangeIndex + 1) : kRangeAuto;
}

int RangeCommandNumber(std::uint8_t rangeCode) { return rangeCode % 10; }

std::optional<std::uint8_t> RangeCodeFromText(char unit, std::string_view text) {
    const int row = UnitRow(unit);
    if (row < 0) return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i)
        if (EqualsNoCase(text, kRangeTexts[static_cast<std::size_t>(row)][i])) return static_cast<std::uint8_t>(i + 1);
    if (row == 3 && EqualsNoCase(text, kRange2000Variant)) return static_cast<std::uint8_t>(4);
    return std::nullopt;
}

std::optional<char> ModeFromText(std::string_view text) {
    for (std::size_t i = 0; i < kModeTexts.size(); ++i)
        if (EqualsNoCase(text, kModeTexts[i])) return static_cast<char>('0' + i);
    return std::nullopt;
}

std::optional<char> OutputFromText(std::string_view text) {
    if (EqualsNoCase(text, kOutputOff)) return '0';
    if (EqualsNoCase(text, kOutputMonitor) || EqualsNoCase(text, kOutputMonitorVariant)) return '1';
    if (EqualsNoCase(text, kOutputResultant)) return '2';
    return std::nullopt;
}

std::optional<char> AxisFromText(std::string_view text) {
    if (text.empty()) return std::nullopt;
    switch (text.front()) {
        case 'R': return '3';
        case 'x': return '0';
        case 'y': return '1';
        case 'z': return '2';
        default: return std::nullopt;
    }
}

char UnitFromText(std::string_view text) {
    const char c = text.empty() ? '\0' : text.front();
    switch (c) {
        case 'A': return '2';
        case 'G': return '1';
        case 'T': return '0';
        default: return '3';
    }
}

char SwitchFromText(std::string_view text) { return EqualsNoCase(text, "ON") ? '1' : '0'; }

std::vector<std::string> ChoiceList(int row, const MeterSettings& ns) {
    std::vector<std::string> out;
    switch (row) {
        case kRowMode:
            for (auto t : kModeTexts) out.emplace_back(t);
            break;
        case kRowAxis: out = {"R", "x", "y", "z"}; break;
        case kRowUnit:
            if (IsExposureMode(ns.mode)) out = {"%"};
            else out = {"T", "G", "A/m"};
            break;
        case kRowRange: {
            // An output needs a fixed range, so AUTO is offered only while output is off.
            if (ns.output == '0') out.emplace_back(kAuto);
            const int unitRow = UnitRow(ns.unit);
            if (unitRow < 0) break;
            // The lowest percentage range does not exist in the exposure modes.
            const std::uint8_t first = unitRow == 3 ? 2 : 1;
            for (std::uint8_t code = first; code <= 4; ++code)
                out.push_back(RangeText(ns.unit, code, Column::NewSetting));
            break;
        }
        case kRowOutput:
            out.emplace_back(kOutputOff);
            out.emplace_back(IsExposureMode(ns.mode) ? kOutputMonitorVariant : kOutputMonitor);
            out.emplace_back(kOutputResultant);
            break;
        case kRowAutoPowerOff:
        case kRowBeep:
        case kRowSlow:
        case kRowMemMode: out = {"ON", "OFF"}; break;
        default: break;
    }
    return out;
}

MeterSettings ApplyChoice(const MeterSettings& ns, int row, std::string_view text) {
    MeterSettings c = ns;
    if (text.empty()) return c;
    switch (row) {
        case kRowMode: {
            const auto mode = ModeFromText(text);
            if (!mode) break;
            const bool toExposure = IsExposureMode(*mode);
            if (!toExposure && IsExposureMode(c.mode)) c.unit = '0';
            if (toExposure) {
                if (!IsExposureMode(c.mode)) c.unit = '3';
                if (c.range == 1) c.range = 2;  // "2.000%" does not exist in the exposure modes
            }
            c.mode = *mode;
            break;
        }
        case kRowAxis:
            if (const auto axis = AxisFromText(text)) c.axis = *axis;
            break;
        case kRowUnit: c.unit = UnitFromText(text); break;
        case kRowRange:
            if (EqualsNoCase(text, kAuto)) {
                c.range = kRangeAuto;
            } else if (const auto code = RangeCodeFromText(c.unit, text)) {
                c.range = *code;
            }
            break;
        case kRowOutput: {
            const auto output = OutputFromText(text);
            if (!output) break;
            c.output = *output;
            // An output never runs with AUTO: take the lowest fixed range offered.
            if (*output != '0' && c.range == kRangeAuto) c.range = c.unit == '3' ? 2 : 1;
            break;
        }
        case kRowAutoPowerOff: c.autoPowerOff = SwitchFromText(text); break;
        case kRowBeep: c.beep = SwitchFromText(text); break;
        case kRowSlow: c.slow = SwitchFromText(text); break;
        case kRowMemMode: c.memMode = SwitchFromText(text); break;
        default: break;
    }
    return c;
}

}  // namespace tessera::settings
