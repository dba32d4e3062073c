#pragma once
// How a stored measurement becomes the texts of one table row: unit conversion, the
// per-range display format with its exponent suffix, the over-range mark "O.L." and the
// accuracy band of R. The table, the CSV file and the printout all use these texts, so
// what is saved and printed is exactly what the user saw.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/Stores.h"

namespace tessera::entire_read {

// The working values of one record in its own unit (tesla, gauss, A/m or percent).
struct RecordValues {
    std::uint32_t reserved = 0;
    double x = 0.0, y = 0.0, z = 0.0, R = 0.0;
};

inline constexpr int kMaxRecords = link::kMemoryRecordsMax;  // 99

// Process-wide, parallel to memoryStore. Entries beyond the record count are stale.
extern std::array<RecordValues, kMaxRecords> recordValues;
// The accuracy band of R in the unit and scale the table shows R in.
extern std::array<float, kMaxRecords> accuracyPlus;
extern std::array<float, kMaxRecords> accuracyMinus;
// The display unit of the last CSV file written or read (a DisplayUnit value).
extern std::int32_t savedUnit;

// The unit the table shows, in the order of the unit combo box.
enum DisplayUnit : int {
    kOriginalUnit = 0,
    kUnitMicroTesla = 1,
    kUnitMilliTesla = 2,
    kUnitTesla = 3,
    kUnitMilliGauss = 4,
    kUnitGauss = 5,
    kUnitAmperePerMetre = 6,
    kNoUnit = 255,
};
inline constexpr int kDisplayUnitChoices = 7;

// "Original Unit", "uT", "mT", "T", "mG", "G", "A/m" (empty for anything else).
std::string_view DisplayUnitText(int displayUnit);
// The combo index for a unit text, compared without regard to case; "original" is
// accepted as a short form of "Original Unit" for command lines.
std::optional<int> DisplayUnitFromText(std::string_view text);

// The columns of the display rule: the six flux-density units and percent.
enum class FormatColumn { MicroTesla, MilliTesla, Tesla, MilliGauss, Gauss, AmperePerMetre, Percent };

struct DisplayFormat {
    double scale = 1.0;       // applied to the value in the shown unit
    int decimals = 0;         // 3, 2, 1 or 0
    std::string_view suffix;  // "", "E-3", "E-6", "E+3"
    double fullScale = 0.0;   // over-range threshold (clearly above shows "O.L.", see DisplayRule.cpp)
};

// The format for a range index 0..3; nullopt for an index above 3.
std::optional<DisplayFormat> FormatFor(int rangeIndex, FormatColumn column);

// The column a record is shown in for a display unit: percent records always, and every
// record under "Original Unit", in its own unit. nullopt for a unit code none of the
// tables hold.
std::optional<FormatColumn> ColumnFor(char recordUnit, int displayUnit);

// Factor from a record's own unit ('0' T, '1' G, '2' A/m) to display unit 1..6;
// 1 for percent records and for "Original Unit".
double ConversionFactor(char recordUnit, int displayUnit);
// Factor from a unit text of the file ("uT" ... "A/m", "%") to the unit family of a
// range ('0' tesla, '1' gauss, '2' A/m, '3' percent).
std::optional<double> FileUnitFactor(std::string_view unitText, char familyUnit);

// "O.L." stands for this when a file is read; it is above every over-range threshold in
// every unit, so it shows as "O.L." again.
inline constexpr double kOverloadValue = 999999999999.0;
inline constexpr std::string_view kOverloadText = "O.L.";

// Number text of a scaled value with the format's decimals and suffix.
std::string FormatNumber(double scaled, const DisplayFormat& format);
// The zero text of a format's decimals, without suffix: "0.000", "0.00", "0.0", "0".
std::string ZeroText(int decimals);

// The texts of one row, for both layouts.
struct RowTexts {
    std::string number, mode, axis, unit;
    std::string R, x, y, z;
    std::string sensor, slow;
    std::string plus, minus;  // R+Accuracy, R-Accuracy
    std::string displayed;    // the text of the record's own axis
};

struct FormattedRow {
    RowTexts texts;
    bool bandComputed = false;  // plus/minus hold a band (no "O.L.", entry found)
    float plus = 0.0f;
    float minus = 0.0f;
};

// Formats record `index` (0-based) in `displayUnit` (0 own unit, 1..6 converted).
FormattedRow FormatRow(int index, const link::MemoryRecord& record, const RecordValues& values, int displayUnit);

// The RANGE text of the file for a unit code and range index 0..3 (empty otherwise).
std::string RangeFileText(char unitCode, int rangeIndex);

}  // namespace tessera::entire_read
