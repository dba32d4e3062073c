#include "entire_read/DisplayRule.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "link/Accuracy.h"
#include "link/Decode.h"
#include "settings/Vocabulary.h"

namespace tessera::entire_read {

std::array<RecordValues, kMaxRecords> recordValues{};
std::array<float, kMaxRecords> accuracyPlus{};
std::array<float, kMaxRecords> accuracyMinus{};
std::int32_t savedUnit = kNoUnit;

namespace {

constexpr std::array<std::string_view, kDisplayUnitChoices> kUnitTexts = {
    "Original Unit", "uT", "mT", "T", "mG", "G", "A/m",
};

// One cell of the display rule per range index and column. The four range indexes are
// the same physical ranges in every flux-density unit: 2 uT, 20 uT, 200 uT and 2 mT.
// clang-format off
constexpr DisplayFormat kFormats[4][7] = {
    // uT                 mT                      T                       mG                      G                       A/m                  %
    {{1, 3, "", 2},       {1e3, 3, "E-3", 2},     {1e6, 3, "E-6", 2},     {1, 2, "", 20},         {1e3, 2, "E-3", 20},    {1, 3, "", 1.6},     {1, 3, "", 2}},
    {{1, 2, "", 20},      {1e3, 2, "E-3", 20},    {1e6, 2, "E-6", 20},    {1, 1, "", 200},        {1e3, 1, "E-3", 200},   {1, 2, "", 16},      {1, 2, "", 20}},
    {{1, 1, "", 200},     {1e3, 1, "E-3", 200},   {1e6, 1, "E-6", 200},   {0.001, 3, "E+3", 2},   {1, 3, "", 2},          {1, 1, "", 160},     {1, 1, "", 200}},
    {{0.001, 3, "E+3", 2}, {1, 3, "", 2},         {1e3, 3, "E-3", 2},     {0.001, 2, "E+3", 20},  {1, 2, "", 20},         {1, 0, "", 1600},    {1, 0, "", 2000}},
};

// From a record's own unit to display units 1..6 (uT, mT, T, mG, G, A/m). The factors
// are single-precision constants: 1 G = 100 uT, 1 A/m = 1.256637 uT.
constexpr float kToDisplay[3][6] = {
    {1e6f, 1000.0f, 1.0f, 1e7f, 1e4f, 795774.75f},                         // T
    {100.0f, 0.1f, 0.0001f, 1000.0f, 1.0f, 79.57748f},                     // G
    {1.256637f, 0.001256637f, 1.256637e-6f, 12.56637f, 0.01256637f, 1.0f},  // A/m
};

// From a file's unit text to the tesla, gauss and A/m families.
struct FileFactor {
    std::string_view unit;
    float toTesla, toGauss, toAmpere;
};
constexpr FileFactor kFromFile[] = {
    {"uT", 1e-6f, 0.01f, 0.79577476f},
    {"mT", 0.001f, 10.0f, 795.7747f},
    {"T", 1.0f, 1e4f, 795774.75f},
    {"mG", 1e-7f, 0.001f, 0.079577476f},
    {"G", 0.0001f, 1.0f, 79.57748f},
    {"A/m", 1.256637e-6f, 0.01256637f, 1.0f},
    {"%", 1.0f, 1.0f, 1.0f},
};
// clang-format on

// The conversion factors are single-precision constants, off from the true factor by up to
// half a unit in their last place (0.1, 0.001 and 1e-7 come out slightly too large), and a
// file read converts once more. A reading at exactly full scale must not turn into "O.L."
// through that rounding alone, so the threshold allows a few units of float precision; a
// value that much above full scale shows as the full-scale number anyway.
constexpr double kFactorRounding = 4.0 * std::numeric_limits<float>::epsilon();

bool OverRange(double scaled, double fullScale) { return scaled > fullScale * (1.0 + kFactorRounding); }

}  // namespace

std::string_view DisplayUnitText(int displayUnit) {
    if (displayUnit < 0 || displayUnit >= kDisplayUnitChoices) return {};
    return kUnitTexts[static_cast<std::size_t>(displayUnit)];
}

std::optional<int> DisplayUnitFromText(std::string_view text) {
    for (int u = 0; u < kDisplayUnitChoices; ++u)
        if (text == kUnitTexts[static_cast<std::size_t>(u)]) return u;
    // The exact spelling first, then without regard to case for typed unit names.
    for (int u = 0; u < kDisplayUnitChoices; ++u)
        if (settings::EqualsNoCase(text, kUnitTexts[static_cast<std::size_t>(u)])) return u;
    if (settings::EqualsNoCase(text, "original")) return kOriginalUnit;
    return std::nullopt;
}

std::optional<DisplayFormat> FormatFor(int rangeIndex, FormatColumn column) {
    if (rangeIndex < 0 || rangeIndex > 3) return std::nullopt;
    return kFormats[rangeIndex][static_cast<int>(column)];
}

std::optional<FormatColumn> ColumnFor(char recordUnit, int displayUnit) {
    if (recordUnit == '3') return FormatColumn::Percent;
    if (recordUnit < '0' || recordUnit > '2') return std::nullopt;
    if (displayUnit >= kUnitMicroTesla && displayUnit <= kUnitAmperePerMetre)
        return static_cast<FormatColumn>(displayUnit - 1);
    switch (recordUnit) {
        case '0': return FormatColumn::Tesla;
        case '1': return FormatColumn::Gauss;
        default: return FormatColumn::AmperePerMetre;
    }
}

double ConversionFactor(char recordUnit, int displayUnit) {
    if (recordUnit < '0' || recordUnit > '2') return 1.0;
    if (displayUnit < kUnitMicroTesla || displayUnit > kUnitAmperePerMetre) return 1.0;
    return static_cast<double>(kToDisplay[recordUnit - '0'][displayUnit - 1]);
}

std::optional<double> FileUnitFactor(std::string_view unitText, char familyUnit) {
    for (const FileFactor& f : kFromFile) {
        if (!settings::EqualsNoCase(unitText, f.unit)) continue;
        switch (familyUnit) {
            case '0': return static_cast<double>(f.toTesla);
            case '1': return static_cast<double>(f.toGauss);
            case '2': return static_cast<double>(f.toAmpere);
            case '3': return 1.0;
            default: return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string FormatNumber(double scaled, const DisplayFormat& format) {
    std::string text = link::FormatFixed(scaled, format.decimals);
    text += format.suffix;
    return text;
}

std::string ZeroText(int decimals) {
    if (decimals <= 0) return "0";
    return "0." + std::string(static_cast<std::size_t>(decimals), '0');
}

std::string RangeFileText(char unitCode, int rangeIndex) {
    if (rangeIndex < 0 || rangeIndex > 3) return {};
    return settings::RangeText(unitCode, static_cast<std::uint8_t>(rangeIndex + 1), settings::Column::Current);
}

FormattedRow FormatRow(int index, const link::MemoryRecord& record, const RecordValues& values, int displayUnit) {
    FormattedRow out;
    RowTexts& t = out.texts;
    t.number = std::to_string(index + 1);
    t.mode = settings::ModeText(record.mode);
    t.axis = settings::AxisText(record.axis);
    t.sensor = settings::SensorText(record.sensor);
    t.slow = settings::SwitchText(record.slow);

    const bool converted = record.unit != '3' && displayUnit >= kUnitMicroTesla && displayUnit <= kUnitAmperePerMetre;
    t.unit = converted ? std::string(DisplayUnitText(displayUnit)) : settings::UnitText(record.unit);

    const int rangeIndex = record.range % 10;
    const auto column = ColumnFor(record.unit, displayUnit);
    const auto format = column ? FormatFor(rangeIndex, *column) : std::nullopt;
    if (format) {
        const double factor = converted ? ConversionFactor(record.unit, displayUnit) : 1.0;
        const double sx = values.x * factor * format->scale;
        const double sy = values.y * factor * format->scale;
        const double sz = values.z * factor * format->scale;
        const double sR = values.R * factor * format->scale;
        const bool overX = OverRange(sx, format->fullScale);
        const bool overY = OverRange(sy, format->fullScale);
        const bool overZ = OverRange(sz, format->fullScale);
        const bool overAny = overX || overY || overZ;
        t.x = overX ? std::string(kOverloadText) : FormatNumber(sx, *format);
        t.y = overY ? std::string(kOverloadText) : FormatNumber(sy, *format);
        t.z = overZ ? std::string(kOverloadText) : FormatNumber(sz, *format);
        t.R = overAny ? std::string(kOverloadText) : FormatNumber(sR, *format);

        if (overAny) {
            t.plus = t.minus = std::string(kOverloadText);
        } else {
            // The band starts from R as the user reads it: cut to the shown decimals.
            const double shownR = link::ReadLeadingNumber(FormatNumber(sR, {1, format->decimals, "", 0}));
            const bool ownTeslaLowest = record.unit == '0' && rangeIndex == 0 && !converted;
            const link::AccuracyBand band = link::ComputeAccuracyBand(shownR, record.mode, record.range,
                                                                      format->decimals, ownTeslaLowest ? 0.0001 : 0.0);
            if (band.found) {
                out.bandComputed = true;
                out.plus = band.plus;
                out.minus = band.minus;
                t.plus = FormatNumber(band.plus, *format);
                t.minus = (band.minus < 0.0f || std::signbit(band.minus)) ? ZeroText(format->decimals)
                                                                          : FormatNumber(band.minus, *format);
            }
        }
    }

    switch (record.axis) {
        case '0': t.displayed = t.x; break;
        case '1': t.displayed = t.y; break;
        case '2': t.displayed = t.z; break;
        case '3': t.displayed = t.R; break;
        default: break;
    }
    return out;
}

}  // namespace tessera::entire_read
