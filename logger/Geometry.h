#pragma once
// Where things go on the plot: the scale of the vertical axis, time and value positions,
// clipping, cursor snapping and the sample under the cursor. Pure integer arithmetic on
// pixel coordinates, so the screen, the printout and the tests agree to the pixel.

#include <optional>

namespace tessera::logger {

struct PlotArea {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int DivisionWidth() const { return Width() / 12; }
    // A click counts from one pixel right of the left edge to one pixel left of the right.
    bool Contains(int x, int y) const { return x > left && x < right && y >= top && y <= bottom; }
};

// The vertical axis: which of the unit's four ranges it shows and how it is banded.
struct Scale {
    int scaleIndex = 0;       // 0..3
    double fullScale = 2e-6;  // base unit
    double maxFullScale = 2e-6;
    int hDivisions = 9;     // 7 for A/m
    int fullScaleLine = 5;  // 4 for A/m

    double TopValue() const { return fullScale * hDivisions / fullScaleLine; }
    // Unit code and reply range code (10 and above: auto range).
    static Scale AtStart(char unit, int rangeCode);
    void StepUp();  // one range up, never beyond index 3
};

// The drawing and readout window over the store.
struct Window {
    int samplesPerDivision = 0;  // L
    int scrollDivision = 0;      // first visible division
};

// x of sample `a`, kept inside the plot (left + 1 ... right - 2).
int TimeX(const PlotArea& area, const Window& w, int a);

// y of a value; components are limited to the full scale, R to the top of the graph.
// `height` is the plot height in screen pixels (252).
int ValueY(const PlotArea& area, const Scale& s, double value, bool isR);
double ValueLimit(const Scale& s, bool isR);
// A segment is drawn thick when both of its ends lie beyond the limit.
bool SegmentClipped(const Scale& s, double from, double to, bool isR);

// y of grid line k (0 = bottom, hDivisions = top) and of the full-scale line.
int GridY(const PlotArea& area, const Scale& s, int k);
int FullScaleBandBottom(const PlotArea& area, const Scale& s);

// The local sample index (0 ... 12 L, counted from the first visible sample) a click at
// pixel x snaps to; nullopt when there is no sampling grid (L = 0).
std::optional<int> SnapToSample(const PlotArea& area, int samplesPerDivision, int x);
// The pixel of local sample `local` (TimeX with the window's scroll removed).
int LocalSampleX(const PlotArea& area, int samplesPerDivision, int local);
// The local sample drawn at (or nearest before, on ties the earlier) pixel x.
int LocalSampleAt(const PlotArea& area, int samplesPerDivision, int x);

}  // namespace tessera::logger
