#include "meter/FieldModel.h"

#include <algorithm>
#include <cmath>

namespace tessera::meter {

namespace {
constexpr double kPi = 3.14159265358979323846;

// SplitMix64: a small, well-mixed hash so the noise depends only on seed and step.
std::uint64_t Mix(std::uint64_t v) {
    v += 0x9E3779B97F4A7C15ull;
    v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9ull;
    v = (v ^ (v >> 27)) * 0x94D049BB133111EBull;
    return v ^ (v >> 31);
}

// Uniform in [-1, 1).
double Noise(std::uint32_t seed, std::uint64_t step, int channel) {
    const std::uint64_t h = Mix((static_cast<std::uint64_t>(seed) << 32) ^ (step * 4 + channel));
    return static_cast<double>(h >> 11) / static_cast<double>(1ull << 52) - 1.0;
}
}  // namespace

Field FieldAt(std::uint32_t seed, std::uint64_t step) {
    // The seed shifts the sweep's phase and the direction's turning rate.
    const double phase = static_cast<double>(Mix(seed) % 1000) / 1000.0;
    const double t = static_cast<double>(step % kSweepPolls) / static_cast<double>(kSweepPolls) + phase;
    // log10 of the magnitude: a triangle wave between -7.0 (0.1 uT) and -2.5 (3.2 mT).
    const double tri = 1.0 - std::fabs(2.0 * (t - std::floor(t)) - 1.0);
    double magnitude = std::pow(10.0, -7.0 + 4.5 * tri);
    magnitude *= 1.0 + 0.02 * Noise(seed, step, 0);

    const double turn = 0.01 + 0.02 * static_cast<double>(Mix(seed + 1) % 100) / 100.0;
    const double theta = 0.6 + 0.4 * std::sin(static_cast<double>(step) * turn);
    const double phi = kPi / 5.0 + static_cast<double>(step) * turn * 0.7;
    Field f;
    f.x = magnitude * std::fabs(std::sin(theta) * std::cos(phi)) * (1.0 + 0.01 * Noise(seed, step, 1));
    f.y = magnitude * std::fabs(std::sin(theta) * std::sin(phi)) * (1.0 + 0.01 * Noise(seed, step, 2));
    f.z = magnitude * std::fabs(std::cos(theta)) * (1.0 + 0.01 * Noise(seed, step, 3));
    return f;
}

Field SlowFieldAt(std::uint32_t seed, std::uint64_t step) {
    Field sum;
    int n = 0;
    for (int i = 0; i < kSlowPolls && static_cast<std::uint64_t>(i) <= step; ++i, ++n) {
        const Field f = FieldAt(seed, step - static_cast<std::uint64_t>(i));
        sum.x += f.x;
        sum.y += f.y;
        sum.z += f.z;
    }
    sum.x /= n;
    sum.y /= n;
    sum.z /= n;
    return sum;
}

double FullScale(char unit, int rangeIndex) {
    static constexpr double kTesla[4] = {2e-6, 20e-6, 200e-6, 2e-3};
    static constexpr double kGauss[4] = {20e-3, 200e-3, 2.0, 20.0};
    static constexpr double kAm[4] = {1.6, 16.0, 160.0, 1600.0};
    static constexpr double kPercent[4] = {2.0, 20.0, 200.0, 2000.0};
    const int i = std::clamp(rangeIndex, 0, 3);
    switch (unit) {
        case '1': return kGauss[i];
        case '2': return kAm[i];
        case '3': return kPercent[i];
        default: return kTesla[i];
    }
}

double InUnit(double tesla, char unit, char mode) {
    switch (unit) {
        case '1': return tesla * 1e4;          // 1 G = 100 uT
        case '2': return tesla / 1.256637e-6;  // 1 A/m = 1.256637 uT
        case '3': {
            // Reference levels of the two exposure standards, in tesla.
            const double reference = mode == '4' ? 1000e-6 : 200e-6;
            return tesla / reference * 100.0;
        }
        default: return tesla;
    }
}

int AutoRangeIndex(const Field& v, char unit, bool exposure) {
    const double peak = std::max({v.x, v.y, v.z});
    for (int i = exposure ? 1 : 0; i < 4; ++i) {
        if (peak <= FullScale(unit, i)) return i;
    }
    return 3;
}

}  // namespace tessera::meter
