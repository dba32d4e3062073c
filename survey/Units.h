#pragma once
// Units a survey is read and written in, and the values a person types: "0.4uT", "200 µT",
// "20nT", "1.5 mG", "80 A/m", "50%". Flux density and field strength are one family here
// (B = µ0·H in air, where the meter measures), so a limit given in microtesla applies to a
// file logged in A/m; percent (the meter's exposure modes) is a family of its own.

#include <optional>
#include <string>
#include <string_view>

namespace tessera::survey {

enum class Family { Magnetic, Percent };

struct Unit {
    std::string name;  // as written: "uT", "mG", "A/m", "%"
    Family family = Family::Magnetic;
    double perBase = 1;  // how many of this unit make one tesla (one percent for Percent)
};

// "T", "mT", "uT" (also "µT"), "nT", "G", "mG", "A/m", "%"; case matters where it must
// ("mT" is not "MT") and is forgiven elsewhere ("ut", "a/m"). nullopt for anything else.
std::optional<Unit> UnitNamed(std::string_view name);
// The unit a logger file's UNIT code stands for ('0' T, '1' G, '2' A/m, '3' %).
std::optional<Unit> UnitOfCode(char unitCode);

// Factor that turns a value in `from` into `to` (same family only; 1 otherwise).
double Factor(const Unit& from, const Unit& to);
bool SameFamily(const Unit& a, const Unit& b);

// The unit a person reads a magnetic series in when nobody chose one: microtesla for tesla
// files, milligauss for gauss files, the file's own unit otherwise.
Unit ReadableUnit(const Unit& fileUnit);

// A value with an optional unit: "0.4uT", "0.4 uT", "2e-7 T", "0.4" (no unit).
struct TypedValue {
    double value = 0;
    std::optional<Unit> unit;
};
std::optional<TypedValue> ParseTypedValue(std::string_view text);

// A frequency: "50", "50 Hz", "2.5kHz", "0.1 MHz". nullopt unless positive and finite.
std::optional<double> ParseFrequency(std::string_view text);

// A number in plain text for people: four significant digits, plain decimals within
// 0.001 .. 99999, else "1.234e-06" style; "0" for zero. Never a decimal comma.
std::string FourDigits(double value);
// The shortest text that reads back as exactly `value` (for csv and json); "nan"/"inf"
// never occur because callers write null for what they do not have.
std::string ExactNumber(double value);

}  // namespace tessera::survey
