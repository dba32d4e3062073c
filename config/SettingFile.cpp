#include "config/SettingFile.h"

#include <array>
#include <optional>
#include <sstream>

#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "settings/Vocabulary.h"

namespace tessera::config {

using settings::MeterSettings;

namespace {

constexpr std::array<std::string_view, settings::kRowCount> kKeys = {"MODE", "AXIS", "UNIT", "RANGE",   "OUTPUT",
                                                                     "APS",  "BEEP", "SLOW", "MEM.MODE"};

// A line longer than this is cut; no valid line comes anywhere near it.
constexpr std::size_t kMaxLineLength = 999;

// One line as a text-mode line read delivers it: a CR LF pair arrives as LF and the LF
// stays on the line; the last line may come without one. False when nothing was left.
bool ReadLine(std::istream& in, std::string& line) {
    line.clear();
    bool readAny = false;
    bool pendingCr = false;
    int c;
    while ((c = in.get()) != std::char_traits<char>::eof()) {
        readAny = true;
        if (c == '\n') {
            pendingCr = false;
            if (line.size() < kMaxLineLength + 1) line.push_back('\n');
            return true;
        }
        if (pendingCr && line.size() < kMaxLineLength) line.push_back('\r');
        pendingCr = (c == '\r');
        if (!pendingCr && line.size() < kMaxLineLength) line.push_back(static_cast<char>(c));
    }
    // A CR at the very end of the file has no LF to pair with; it stays on the line.
    if (pendingCr && line.size() < kMaxLineLength) line.push_back('\r');
    return readAny;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The value of a keyed line: everything after the first comma, once blanks at the very
// end of the line are gone and the line end is taken off the value. Nullopt: no comma.
std::optional<std::string> ValueOf(std::string line) {
    while (!line.empty() && IsBlank(line.back())) line.pop_back();
    const auto comma = line.find(',');
    if (comma == std::string::npos) return std::nullopt;
    std::string value = line.substr(comma + 1);
    if (!value.empty() && value.back() == '\n') value.pop_back();
    if (!value.empty() && value.back() == '\r') value.pop_back();
    return value;
}

// A file must say ON or OFF; anything else is refused, unlike a chosen text.
std::optional<char> SwitchFromFile(std::string_view text) {
    if (settings::EqualsNoCase(text, "ON")) return '1';
    if (settings::EqualsNoCase(text, "OFF")) return '0';
    return std::nullopt;
}

SettingFileResult Fail(std::string message) {
    SettingFileResult r;
    r.message = std::move(message);
    return r;
}

}  // namespace

std::string_view SettingKey(int row) {
    return row >= 0 && row < settings::kRowCount ? kKeys[static_cast<std::size_t>(row)] : std::string_view{};
}

std::string NewSettingText(int row, const MeterSettings& s) {
    if (row == settings::kRowRange && settings::IsExposureMode(s.mode) && s.unit == '3' && s.range == 1) return {};
    return settings::SettingText(row, s, settings::Column::NewSetting);
}

std::string SettingFileText(const MeterSettings& s) {
    std::string text(kSettingFileBanner);
    for (int row = 0; row < settings::kRowCount; ++row) {
        text += "\r\n";
        text += std::to_string(row + 1);
        text += ' ';
        text += SettingKey(row);
        text += ',';
        std::string value = NewSettingText(row, s);
        // The column leaves the never-offered "2.000%" blank, but the file must keep the
        // range it came with, or a file read and saved again could not be read back.
        if (row == settings::kRowRange && value.empty())
            value = settings::RangeText(s.unit, s.range, settings::Column::NewSetting);
        text += value;
    }
    return text;
}

std::string WithSetExtension(std::string path) { return page::WithExtension(std::move(path), kSettingFileExtension); }

std::string FileNotFoundMessage(const std::string& path) { return page::FileNotFoundMessage(path); }

std::string MissingKeyMessage(std::string_view key) {
    return "The file is a SET file without information about \"" + std::string(key) + "\".";
}

std::string BadValueMessage(std::string_view key) {
    return "An unidentifiable information about \"" + std::string(key) + "\" in this file.";
}

SettingFileResult ParseSettingFile(std::istream& in) {
    std::string line;
    if (!ReadLine(in, line) || line.find(kSettingFileBannerKey) == std::string::npos)
        return Fail(std::string(kUnidentifiableFileType));

    MeterSettings s{};
    for (int row = 0; row < settings::kRowCount; ++row) {
        const std::string_view key = SettingKey(row);
        if (!ReadLine(in, line)) line.clear();
        if (line.find(key) == std::string::npos) return Fail(MissingKeyMessage(key));
        const auto value = ValueOf(line);
        if (!value) return Fail(BadValueMessage(key));
        const std::string& v = *value;

        std::optional<char> code;
        switch (row) {
            case settings::kRowMode:
                code = settings::ModeFromText(v);
                if (code) s.mode = *code;
                break;
            case settings::kRowAxis:
                code = settings::AxisFromText(v);
                if (code) s.axis = *code;
                break;
            case settings::kRowUnit: {
                if (v.empty()) break;
                const char first = v.front();
                bool exposureUnit = false;
                if (first == '%') {
                    code = '3';
                    exposureUnit = true;
                } else if (first == 'A') {
                    if (settings::EqualsNoCase(v, "A/m")) code = '2';
                } else if (first == 'G') {
                    code = '1';
                } else if (first == 'T') {
                    code = '0';
                }
                if (!code) break;
                if (exposureUnit != settings::IsExposureMode(s.mode)) return Fail(std::string(kUnitModeMismatch));
                s.unit = *code;
                break;
            }
            case settings::kRowRange:
                if (settings::EqualsNoCase(v, "AUTO")) {
                    s.range = settings::kRangeAuto;
                    code = '\0';
                } else if (auto rangeCode = settings::RangeCodeFromText(s.unit, v)) {
                    s.range = *rangeCode;
                    code = '\0';
                }
                break;
            case settings::kRowOutput:
                code = settings::OutputFromText(v);
                if (code) s.output = *code;
                break;
            default:
                code = SwitchFromFile(v);
                if (!code) break;
                if (row == settings::kRowAutoPowerOff) s.autoPowerOff = *code;
                else if (row == settings::kRowBeep) s.beep = *code;
                else if (row == settings::kRowSlow) s.slow = *code;
                else s.memMode = *code;
                break;
        }
        if (!code) return Fail(BadValueMessage(key));
    }
    SettingFileResult r;
    r.ok = true;
    r.settings = s;
    return r;
}

SettingFileResult ParseSettingText(std::string_view text) {
    std::istringstream in{std::string(text)};
    return ParseSettingFile(in);
}

bool WriteSettingFile(const std::string& path, const MeterSettings& newSetting) {
    return platform::ReplaceFileContents(path, SettingFileText(newSetting));
}

}  // namespace tessera::config
