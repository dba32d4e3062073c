#include "logger/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "logger/LoggerTables.h"

namespace tessera::logger {

Scale Scale::AtStart(char unit, int rangeCode) {
    Scale s;
    const double base = BaseFullScale(unit);
    if (unit == '2') {
        s.hDivisions = 7;
        s.fullScaleLine = 4;
    }
    if (rangeCode < 10) {
        s.scaleIndex = std::clamp(rangeCode, 0, 3);
        s.fullScale = base * std::pow(10.0, s.scaleIndex);
        s.maxFullScale = s.fullScale;
    } else {
        s.scaleIndex = 0;
        s.fullScale = base;
        s.maxFullScale = base * 1000.0;
    }
    return s;
}

void Scale::StepUp() {
    if (scaleIndex >= 3) return;
    fullScale *= 10.0;
    ++scaleIndex;
}

int TimeX(const PlotArea& area, const Window& w, int a) {
    const int L = w.samplesPerDivision;
    int x = area.left;
    if (L > 0) {
        const long long offset = static_cast<long long>(a) - static_cast<long long>(L) * w.scrollDivision;
        x = static_cast<int>(area.left + offset * area.Width() / 12 / L);
    }
    if (x <= area.left) x = area.left + 1;
    if (x > area.right - 2) x = area.right - 2;
    return x;
}

double ValueLimit(const Scale& s, bool isR) { return isR ? s.TopValue() : s.fullScale; }

int ValueY(const PlotArea& area, const Scale& s, double value, bool isR) {
    const double v = std::min(value, ValueLimit(s, isR));
    const double y = area.bottom - v * s.fullScaleLine * kPlotHeight / s.hDivisions / s.fullScale;
    int iy = std::isfinite(y) ? static_cast<int>(y) : area.bottom;
    const int top = area.bottom - kPlotHeight;
    return std::clamp(iy, top + 1, area.bottom - 1);
}

bool SegmentClipped(const Scale& s, double from, double to, bool isR) {
    const double limit = ValueLimit(s, isR);
    return from > limit && to > limit;
}

int GridY(const PlotArea& area, const Scale& s, int k) { return area.bottom - kPlotHeight * k / s.hDivisions; }

int FullScaleBandBottom(const PlotArea& area, const Scale& s) {
    return area.bottom - s.fullScaleLine * kPlotHeight / s.hDivisions + 1;
}

int LocalSampleX(const PlotArea& area, int samplesPerDivision, int local) {
    return TimeX(area, Window{samplesPerDivision, 0}, local);
}

std::optional<int> SnapToSample(const PlotArea& area, int L, int x) {
    const int D = area.DivisionWidth();
    if (L <= 0 || D <= 0) return std::nullopt;
    const int v = std::clamp(x - area.left, 0, area.Width());
    int division = v / D;
    int r = v % D;
    if (division >= 12) {  // the pixels right of twelve whole divisions belong to the last one
        division = 11;
        r = v - 11 * D;
    }
    const int m = std::min(L * r / D, L);
    const int o = D * m / L;
    const int step = D / L;
    const int h = step / 2;
    const int d = r - o;
    bool upper;
    if (d == 0 || d < h) {
        upper = false;
    } else if (d == h && h > 0 && d != step) {
        upper = division == 11;  // the exact middle: the later sample only in the twelfth division
    } else {
        upper = true;
    }
    return division * L + std::min(m + (upper ? 1 : 0), L);
}

int LocalSampleAt(const PlotArea& area, int L, int x) {
    const int D = area.DivisionWidth();
    if (L <= 0 || D <= 0) return 0;
    const int v = std::clamp(x - area.left, 0, area.Width());
    const int division = std::min(v / D, 11);
    int best = division * L;
    int bestDistance = std::abs(LocalSampleX(area, L, best) - x);
    for (int local = division * L + 1; local <= (division + 1) * L; ++local) {
        const int distance = std::abs(LocalSampleX(area, L, local) - x);
        if (distance < bestDistance) {
            best = local;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace tessera::logger
