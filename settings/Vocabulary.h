#pragma once
// Code <-> text tables of every setting, the two range forms, the choice lists and the
// rules that tie the settings together. Pure data and conversion logic.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/MeterSettings.h"

namespace tessera::settings {

// Which column a text is for: output and range texts differ between the meter's
// current settings and the New Setting (and its choice lists).
enum class Column { Current, NewSetting };

// Rows of the settings table, in the order the Configuration page and setting files use.
// clang-format off
enum Row : int {
    kRowMode = 0, kRowAxis, kRowUnit, kRowRange, kRowOutput,
    kRowAutoPowerOff, kRowBeep, kRowSlow, kRowMemMode,
    kRowCount
};
// clang-format on

// "Measurement Mode", "Axis", ... "MEM.MODE" for each row.
std::string_view RowItemText(int row);

constexpr std::uint8_t kRangeAuto = 10;  // RangeCode of AUTO

// --- codes to texts (empty text for a code none of the tables holds) ---
std::string ModeText(char mode);  // "Magnetic Flux Density(10Hz-400kHz)" ...
std::string AxisText(char axis);  // "x" "y" "z" "R"
std::string UnitText(char unit);  // "T" "G" "A/m" "%"
// Range text by unit and RangeCode (1..4, 10 = AUTO). `column` picks "2000%" or
// "2000% (only for 8620)". In the exposure modes code 1 ("2.000%") is still returned
// here; callers that must not show it check themselves.
std::string RangeText(char unit, std::uint8_t rangeCode, Column column);
// The current-settings range text from a reply range index (>= 10 is "AUTO").
std::string RangeTextFromIndex(char unit, std::uint8_t rangeIndex);
// Output text for the Configuration page; in the New Setting column the monitor text
// depends on the mode ("Monitor (only for 8620)" in the exposure modes).
std::string OutputText(char output, char mode, Column column);
std::string OutputCsvText(char output);  // "OFF" "MON" "REC"
std::string SensorText(char sensor);     // "NC" "100cm2" "3cm2"
std::string SensorCsvText(char sensor);  // "NC" "8621" "8622"
std::string SwitchText(char onOff);      // "OFF" / "ON"

// The text of one row of the settings table for `s` (range read as a RangeCode for the
// New Setting column and as a reply range index for the Current Setting column).
// An all-zero record (no meter) gives empty texts.
std::string SettingText(int row, const MeterSettings& s, Column column);

// --- range forms ---
std::uint8_t RangeCodeFromIndex(std::uint8_t rangeIndex);  // <10 -> index+1, else 10
int RangeCommandNumber(std::uint8_t rangeCode);            // code % 10: AUTO -> 0
// Full table lookup: the code (1..4) of `text` in the unit's row of the range table,
// compared without regard to case; for '%' both "2000%" and "2000% (only for 8620)" give 4.
std::optional<std::uint8_t> RangeCodeFromText(char unit, std::string_view text);

// --- texts to codes (whole texts compared without regard to case) ---
std::optional<char> ModeFromText(std::string_view text);
std::optional<char> OutputFromText(
    std::string_view text);  // OFF / Monitor[ (only for 8620)] / Resultant Effective Value
// Axis by the text's first character: 'R' -> '3', 'x' -> '0', 'y' -> '1', 'z' -> '2'.
std::optional<char> AxisFromText(std::string_view text);
// Unit by the text's first character: 'A' -> '2', 'G' -> '1', 'T' -> '0', anything else '3'.
char UnitFromText(std::string_view text);
// "ON" (any case) -> '1', anything else '0'.
char SwitchFromText(std::string_view text);

// --- New Setting editing ---
// The texts offered for `row`, in order, given the New Setting.
std::vector<std::string> ChoiceList(int row, const MeterSettings& newSetting);
// A copy of the New Setting with `text` chosen in `row`, with all rules between settings
// applied. An empty text changes nothing.
MeterSettings ApplyChoice(const MeterSettings& newSetting, int row, std::string_view text);

// Case-insensitive ASCII comparison used wherever a whole text is compared.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tessera::settings
