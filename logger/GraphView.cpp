#include "logger/GraphView.h"

#include <algorithm>

namespace tessera::logger {

namespace {

const auto& Store() { return link::LogSampleStore; }

}  // namespace

GraphView::GraphView(const LogData& data, const link::MeterPort& meter, const PlotArea& area)
    : data_(data), meter_(meter), area_(area) {}

link::LogSample GraphView::DisplaySample(int slot) const {
    link::LogSample s = Store()[slot];
    const char unit = data_.RecordInForce(meter_.CurrentSettings()).unit;
    s.x = Quantise(s.x, unit, scale_.scaleIndex);
    s.y = Quantise(s.y, unit, scale_.scaleIndex);
    s.z = Quantise(s.z, unit, scale_.scaleIndex);
    s.R = Quantise(s.R, unit, scale_.scaleIndex);
    return s;
}

std::vector<int> GraphView::VisibleSegments() const {
    std::vector<int> slots;
    const int L = samplesPerDivision_;
    if (L <= 0) return slots;
    const auto& store = Store();
    for (int d = 0; d <= visibleDivsFilled_ && d < 12; ++d) {
        for (int k = 1; k <= L; ++k) {
            const int a = (scrollDivision_ + d) * L + k;
            if (a > data_.sampleCount || a >= link::kLogSlots) return slots;
            if (store[a].index == 0) continue;
            slots.push_back(a);
        }
    }
    return slots;
}

DrawRequests GraphView::TakeDrawRequests() {
    DrawRequests taken = std::move(requests_);
    requests_ = {};
    return taken;
}

void GraphView::SetPlotArea(const PlotArea& area) {
    area_ = area;
    RequestFull();
}

void GraphView::ToggleTrace(int trace) {
    if (trace < 0 || trace > 3) return;
    show_[trace] = !show_[trace];
    RequestFull();
}

void GraphView::ScrollLeft() {
    if (scrollDivision_ <= 0) return;
    --scrollDivision_;
    RefreshReadout();
    RequestFull();
}

void GraphView::ScrollRight() {
    if (divisionCount_ - scrollDivision_ < 13) return;
    ++scrollDivision_;
    RefreshReadout();
    RequestFull();
}

void GraphView::ScrollTo(int division) {
    const int target = std::clamp(division, 0, std::max(0, scrollMax_));
    if (target == scrollDivision_) return;
    scrollDivision_ = target;
    RefreshReadout();
    RequestFull();
}

void GraphView::SetCursorToLocal(int local) { cursorX_ = LocalSampleX(area_, samplesPerDivision_, local); }

void GraphView::PlaceCursor(int x, int y) {
    if (!area_.Contains(x, y)) return;
    if (samplesPerDivision_ > 0) {
        const auto local = SnapToSample(area_, samplesPerDivision_, x);
        if (local) SetCursorToLocal(*local);
    } else {
        cursorX_ = std::clamp(x, area_.left + 1, area_.right - 2);
    }
    RefreshReadout();
    requests_.cursor = true;
}

void GraphView::MoveCursor(int step) {
    if (step == 0) return;
    const int L = samplesPerDivision_;
    if (L <= 0) {
        if (!data_.RecordKnown(meter_.CurrentSettings())) return;
        cursorX_ = std::clamp(CursorX() + (step < 0 ? -1 : 1), area_.left + 1, area_.right - 2);
    } else {
        int local = LocalSampleAt(area_, L, CursorX());
        if (step < 0) {
            if (local > 0) {
                --local;
            } else if (scrollDivision_ > 0) {
                --scrollDivision_;
                local = L - 1;
                RequestFull();
            }
        } else {
            if (local < 12 * L) {
                ++local;
            } else if (divisionCount_ - scrollDivision_ >= 13) {
                ++scrollDivision_;
                local = 11 * L + 1;
                RequestFull();
            }
        }
        SetCursorToLocal(local);
    }
    RefreshReadout();
    requests_.cursor = true;
}

void GraphView::Empty(const Scale& scale) {
    samplesPerDivision_ = 0;
    scale_ = scale;
    scrollDivision_ = divisionCount_ = visibleDivsFilled_ = divSampleCount_ = 0;
    readout_.clear();
    scrollEnabled_ = false;
    scrollMax_ = 0;
    RequestFull();
}

void GraphView::BeginRun(const Scale& scale, int samplesPerDivision) {
    readout_.clear();
    scale_ = scale;
    divSampleCount_ = visibleDivsFilled_ = divisionCount_ = scrollDivision_ = 0;
    samplesPerDivision_ = samplesPerDivision;
    scrollEnabled_ = false;
    scrollMax_ = 0;
    RequestFull();
}

void GraphView::NoSamples() {
    samplesPerDivision_ = 0;
    readout_.clear();
}

void GraphView::ClearDivisions() {
    divSampleCount_ = visibleDivsFilled_ = divisionCount_ = scrollDivision_ = 0;
    scrollEnabled_ = false;
    scrollMax_ = 0;
    RequestFull();
}

void GraphView::FirstSample() {
    divisionCount_ = 1;
    divSampleCount_ = 0;
    requests_.newSegments.push_back(0);
}

void GraphView::FollowRange(int rangeCode) {
    while (scale_.scaleIndex < rangeCode % 10 && scale_.scaleIndex < 3) {
        scale_.StepUp();
        RequestFull();
    }
}

void GraphView::SampleCompleted(int slot) {
    ++divSampleCount_;
    const bool inView = divisionCount_ - scrollDivision_ <= 12;
    if (inView) requests_.newSegments.push_back(slot);
    if (divSampleCount_ < samplesPerDivision_) return;
    if (inView) {
        if (visibleDivsFilled_ >= 11) {
            scrollEnabled_ = true;
            scrollMax_ = divisionCount_ - 11;
            ++scrollDivision_;
            RequestFull();
        } else {
            ++visibleDivsFilled_;
        }
    } else {
        scrollMax_ = divisionCount_ - 11;  // the person looks back; the thumb stays
    }
    divSampleCount_ = 0;
    ++divisionCount_;
}

void GraphView::ShowRead(const Scale& scale, int samplesPerDivision) {
    const int samples = data_.sampleCount;
    scale_ = scale;
    samplesPerDivision_ = samplesPerDivision;
    scrollDivision_ = 0;
    divisionCount_ = std::max(1, (samples + samplesPerDivision - 1) / samplesPerDivision);
    divSampleCount_ = samples % samplesPerDivision;
    if (divisionCount_ < 13) {
        visibleDivsFilled_ = samples / samplesPerDivision - (samples % samplesPerDivision == 0 ? 1 : 0);
        visibleDivsFilled_ = std::max(visibleDivsFilled_, 0);
        scrollEnabled_ = false;
        scrollMax_ = 0;
    } else {
        scrollDivision_ = divisionCount_ - 12;
        visibleDivsFilled_ = 11;
        scrollEnabled_ = true;
        scrollMax_ = scrollDivision_;
    }
}

void GraphView::ShowRecovered(const Scale& scale, int samplesPerDivision, int lastSlot) {
    samplesPerDivision_ = samplesPerDivision;
    scale_ = scale;
    scrollEnabled_ = false;
    scrollMax_ = 0;
    divisionCount_ = 1;
    divSampleCount_ = visibleDivsFilled_ = scrollDivision_ = 0;
    for (int slot = 1; slot <= lastSlot; ++slot) SampleCompleted(slot);
    requests_ = {};
}

void GraphView::RefreshReadout() {
    readout_.clear();
    requests_.cursor = true;
    const int L = samplesPerDivision_;
    const auto& meterNow = meter_.CurrentSettings();
    if (L <= 0 || !data_.RecordKnown(meterNow) || !StoreHoldsData()) return;
    const int slot = L * scrollDivision_ + LocalSampleAt(area_, L, CursorX());
    if (slot < 0 || slot >= link::kLogSlots) return;
    const auto& stored = Store()[slot];
    if (slot != 0 && stored.index == 0) return;
    const auto& record = data_.RecordInForce(meterNow);
    const long long elapsed = static_cast<long long>(slot) * SecondsPerDivision(data_.periodIndex) / L;
    readout_ = ReadoutDateTime(AddSeconds(data_.start, elapsed)) +
               ReadoutValues(DisplaySample(slot), record.unit, scale_.scaleIndex, scale_.maxFullScale);
}

}  // namespace tessera::logger
