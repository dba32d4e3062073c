#pragma once
// The logger page's fixed layout in page pixels. The view places its controls here and the
// printout reuses the same coordinates (vertical ones stretched by 1.3), so the screen and
// the paper show the same picture.

#include "logger/Geometry.h"

namespace tessera::logger {

struct Box {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    int CentreX() const { return left + width / 2; }
    int CentreY() const { return top + height / 2; }
};

struct PageLayout {
    int width = 840, height = 520;
    PlotArea plot{90, 160, 690, 412};  // 600 wide: twelve 50-pixel divisions
    Box scrollBar{90, 412, 600, 16};
    Box legendFrame{705, 160, 125, 136};
    Box traceButtons[4] = {{790, 172, 30, 24}, {790, 202, 30, 24}, {790, 232, 30, 24}, {790, 262, 30, 24}};
    int yLabelRight = 84;  // value labels end here
    int captionX = 24;     // the turned mode caption stands about this x (left of long value labels)
    int timeLabelY = 446;  // base line of the time labels
    int infoLineY = 468;   // base line of the info line
    Box readout{90, 482, 600, 24};
};

inline const PageLayout& DefaultLayout() {
    static const PageLayout layout;
    return layout;
}

// The printout: an 840 x 630 logical page; graph parts keep their x and have y x 1.3.
inline constexpr int kPrintWidth = 840;
inline constexpr int kPrintHeight = 630;
inline constexpr double kPrintStretch = 1.3;
inline constexpr int kPrintTitleY = 130;
inline constexpr int kPrintStartLineY = 188;

}  // namespace tessera::logger
