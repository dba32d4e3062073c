#pragma once
// The live magnetic field the virtual meter measures: a seeded, deterministic function of
// the poll number, so a test that polls N times always sees the same N readings. The
// magnitude sweeps logarithmically from about 0.1 uT up past the 2 mT top range and back
// (one sweep every kSweepPolls polls), so a logging run crosses every range and
// over-range; the direction turns slowly and a little seeded noise rides on top.

#include <cstdint>

namespace tessera::meter {

struct Field {
    double x = 0.0, y = 0.0, z = 0.0;  // effective values in tesla, never negative
};

inline constexpr std::uint64_t kSweepPolls = 480;  // two minutes at 250 ms per poll

// The field at poll number `step` for a seed.
Field FieldAt(std::uint32_t seed, std::uint64_t step);

// With slow response on the meter reports the mean of the last kSlowPolls readings.
inline constexpr int kSlowPolls = 8;
Field SlowFieldAt(std::uint32_t seed, std::uint64_t step);

// Full scale of a range index (0..3) in a unit code ('0' T, '1' G, '2' A/m, '3' %).
double FullScale(char unit, int rangeIndex);

// A flux density in tesla expressed in a unit; for '%' the exposure level of a mode
// ('3' general public, '4' occupational) against its reference level.
double InUnit(double tesla, char unit, char mode);

// The lowest range index whose full scale holds every component; 3 when none does
// (over-range). The exposure modes never use index 0.
int AutoRangeIndex(const Field& inUnit, char unit, bool exposure);

}  // namespace tessera::meter
