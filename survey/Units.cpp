#include "survey/Units.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace tessera::survey {
namespace {

// µ0 = 4π·10⁻⁷ T·m/A: one A/m is this many tesla in air.
constexpr double kTeslaPerAmperePerMetre = 4e-7 * std::numbers::pi;

struct Known {
    const char* name;
    Family family;
    double perBase;
};
constexpr std::array<Known, 8> kUnits = {{
    {"T", Family::Magnetic, 1},
    {"mT", Family::Magnetic, 1e3},
    {"uT", Family::Magnetic, 1e6},
    {"nT", Family::Magnetic, 1e9},
    {"G", Family::Magnetic, 1e4},
    {"mG", Family::Magnetic, 1e7},
    {"A/m", Family::Magnetic, 1 / kTeslaPerAmperePerMetre},
    {"%", Family::Percent, 1},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A leading decimal number (sign, digits, point, exponent); the rest stays in `text`.
std::optional<double> LeadingNumber(std::string_view& text) {
    double value = 0;
    const char* first = text.data();
    if (!text.empty() && text.front() == '+') ++first;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

}  // namespace

std::optional<Unit> UnitNamed(std::string_view name) {
    name = Trim(name);
    if (name == "\xC2\xB5T" || name == "\xCE\xBCT") name = "uT";  // micro sign, Greek mu
    // The prefixes m and M differ: only an exact "mT"/"mG" is milli. Other letters may be
    // typed in any case ("ut", "NT", "a/m").
    for (const Known& k : kUnits)
        if (name == k.name) return Unit{k.name, k.family, k.perBase};
    if (!name.empty() && (name.front() == 'm' || name.front() == 'M')) return std::nullopt;
    for (const Known& k : kUnits)
        if (EqualNoCase(name, k.name)) return Unit{k.name, k.family, k.perBase};
    return std::nullopt;
}

std::optional<Unit> UnitOfCode(char unitCode) {
    switch (unitCode) {
        case '0': return UnitNamed("T");
        case '1': return UnitNamed("G");
        case '2': return UnitNamed("A/m");
        case '3': return UnitNamed("%");
        default: return std::nullopt;
    }
}

bool SameFamily(const Unit& a, const Unit& b) { return a.family == b.family; }

double Factor(const Unit& from, const Unit& to) {
    if (!SameFamily(from, to) || from.name == to.name) return 1;
    return to.perBase / from.perBase;
}

Unit ReadableUnit(const Unit& fileUnit) {
    if (fileUnit.name == "T") return *UnitNamed("uT");
    if (fileUnit.name == "G") return *UnitNamed("mG");
    return fileUnit;
}

std::optional<TypedValue> ParseTypedValue(std::string_view text) {
    text = Trim(text);
    const auto value = LeadingNumber(text);
    if (!value) return std::nullopt;
    TypedValue typed{*value, std::nullopt};
    text = Trim(text);
    if (text.empty()) return typed;
    typed.unit = UnitNamed(text);
    if (!typed.unit) return std::nullopt;
    return typed;
}

std::optional<double> ParseFrequency(std::string_view text) {
    text = Trim(text);
    auto value = LeadingNumber(text);
    if (!value || !(*value > 0)) return std::nullopt;
    text = Trim(text);
    if (text.empty() || EqualNoCase(text, "Hz")) return value;
    if (EqualNoCase(text, "kHz")) return *value * 1e3;
    if (text == "MHz" || text == "Mhz") return *value * 1e6;
    return std::nullopt;
}

std::string FourDigits(double value) {
    if (value == 0) return "0";
    if (!std::isfinite(value)) return "-";
    // Round to four significant digits once, then choose the notation from the rounded
    // exponent, so 9.99996 becomes "10.00" rather than "10.000".
    char sci[32];
    auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 3);
    const std::string_view text(sci, static_cast<std::size_t>(r.ptr - sci));
    const auto e = text.find('e');
    const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    if (exponent < -3 || exponent > 4) {
        // "1.234e-06" (two exponent digits at least, as people know it from spreadsheets).
        std::string out(text.substr(0, e + 1));
        const std::string_view digits = text.substr(e + 1);
        const bool negative = digits.front() == '-';
        std::string_view magnitude = digits.substr(digits.front() == '-' || digits.front() == '+' ? 1 : 0);
        out += negative ? '-' : '+';
        if (magnitude.size() < 2) out += '0';
        out += magnitude;
        return out;
    }
    double rounded = value;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    char fixed[48];
    r = std::to_chars(fixed, fixed + sizeof fixed, rounded, std::chars_format::fixed, std::max(0, 3 - exponent));
    return std::string(fixed, r.ptr);
}

std::string ExactNumber(double value) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

}  // namespace tessera::survey
