#pragma once
// The logger graph's viewport: the scale of the vertical axis, the divisions the samples
// fill and the twelve in view, scrolling, the cursor and its readout, which traces are
// shown, and what the view has to redraw. It follows the samples as the run or a file
// brings them; the drawing itself is the view's (GraphPainter.h).

#include <string>
#include <vector>

#include "link/MeterPort.h"
#include "link/Stores.h"
#include "logger/Geometry.h"
#include "logger/LogData.h"

namespace tessera::logger {

// What the view has to draw after a model call.
struct DrawRequests {
    bool full = false;             // frame, grid, labels and all traces
    std::vector<int> newSegments;  // segments ending at these samples
    bool cursor = false;           // the cursor line or readout moved
};

class GraphView {
public:
    GraphView(const LogData& data, const link::MeterPort& meter, const PlotArea& area);

    // --- what is shown ---
    const PlotArea& Area() const { return area_; }
    const Scale& GraphScale() const { return scale_; }
    Window View() const { return {samplesPerDivision_, scrollDivision_}; }
    int SamplesPerDivision() const { return samplesPerDivision_; }
    int ScrollDivision() const { return scrollDivision_; }
    int DivisionCount() const { return divisionCount_; }
    int VisibleDivisionsFilled() const { return visibleDivsFilled_; }
    bool ScrollEnabled() const { return scrollEnabled_; }
    int ScrollMax() const { return scrollMax_; }
    int CursorX() const { return cursorX_ != 0 ? cursorX_ : area_.left + 1; }
    bool CursorPlaced() const { return cursorX_ != 0; }
    bool TraceShown(int trace) const { return show_[trace]; }
    const std::string& ReadoutText() const { return readout_; }
    // The sample at a slot with the resolution of the scale in force.
    link::LogSample DisplaySample(int slot) const;
    // Slots whose segment the whole-trace redraw draws, in order.
    std::vector<int> VisibleSegments() const;
    DrawRequests TakeDrawRequests();

    // --- the person's moves ---
    void SetPlotArea(const PlotArea& area);
    void ToggleTrace(int trace);
    void ScrollLeft();
    void ScrollRight();
    void ScrollTo(int division);
    void PlaceCursor(int x, int y);
    void MoveCursor(int step);

    // --- following the samples ---
    void SetScale(const Scale& scale) { scale_ = scale; }
    // Nothing to show: the scale given, no sampling grid, no divisions, no readout.
    void Empty(const Scale& scale);
    // A run begins on an empty store.
    void BeginRun(const Scale& scale, int samplesPerDivision);
    // A run ended without a sample: no sampling grid, no readout.
    void NoSamples();
    // The store was handed over (a long survey): its divisions begin again.
    void ClearDivisions();
    // Slot 0 of a run (or of a survey's next store): the first division begins.
    void FirstSample();
    // The scale steps up to the meter's range (never down).
    void FollowRange(int rangeCode);
    // Sample `slot` is complete: a new segment, and a full division moves the window on.
    void SampleCompleted(int slot);
    // Samples 0..sampleCount read from a file, the newest twelve divisions in view.
    void ShowRead(const Scale& scale, int samplesPerDivision);
    // A recovered run as it stood when it stopped: its divisions refilled, newest in view.
    void ShowRecovered(const Scale& scale, int samplesPerDivision, int lastSlot);

    void RefreshReadout();
    void ClearReadout() { readout_.clear(); }
    void RequestFull() { requests_.full = true; }

private:
    void SetCursorToLocal(int local);

    const LogData& data_;
    const link::MeterPort& meter_;
    PlotArea area_;
    Scale scale_;
    int samplesPerDivision_ = 0;
    int divSampleCount_ = 0;
    int visibleDivsFilled_ = 0;
    int divisionCount_ = 0;
    int scrollDivision_ = 0;
    bool scrollEnabled_ = false;
    int scrollMax_ = 0;
    int cursorX_ = 0;
    bool show_[4] = {true, true, true, true};
    std::string readout_;
    DrawRequests requests_;
};

}  // namespace tessera::logger
