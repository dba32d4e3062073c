#include "survey/Series.h"

#include <algorithm>

namespace tessera::survey {

const char* QuantityName(Quantity q) {
    switch (q) {
        case kX: return "x";
        case kY: return "y";
        case kZ: return "z";
        case kR: return "R";
    }
    return "R";
}

std::optional<Quantity> QuantityNamed(std::string_view name) {
    if (name == "R" || name == "r") return kR;
    if (name == "x" || name == "X") return kX;
    if (name == "y" || name == "Y") return kY;
    if (name == "z" || name == "Z") return kZ;
    return std::nullopt;
}

Series::Series(Unit unit, Channels channels) : unit_(std::move(unit)), channels_(channels & kAllChannels) {}

const Part& Series::PartOf(std::size_t i) const {
    // Parts are few (one per file); the one whose range holds i.
    auto it = std::upper_bound(parts_.begin(), parts_.end(), i,
                               [](std::size_t index, const Part& p) { return index < p.first; });
    return *(it - 1);
}

LocalMs Series::TimeOf(std::size_t i) const {
    const Part& p = PartOf(i);
    return p.start + static_cast<LocalMs>(i - p.first) * p.periodMs;
}

int Series::NumberOf(std::size_t i) const {
    const Part& p = PartOf(i);
    return p.firstNumber + static_cast<int>(i - p.first);
}

bool Series::ExposureLevels() const {
    return !parts_.empty() &&
           std::all_of(parts_.begin(), parts_.end(), [](const Part& p) { return p.mode == '3' || p.mode == '4'; });
}

void Series::Reserve(std::size_t samples) {
    for (int q = 0; q < kQuantities; ++q)
        if (Has(static_cast<Quantity>(q))) columns_[q].reserve(samples);
    over_.reserve(samples);
}

void Series::BeginPart(Part part) {
    part.first = Size();
    part.count = 0;
    parts_.push_back(std::move(part));
}

void Series::Append(const std::array<double, 4>& xyzR, std::uint8_t overMask) {
    for (int q = 0; q < kQuantities; ++q)
        if (Has(static_cast<Quantity>(q))) columns_[q].push_back(xyzR[q]);
    over_.push_back(overMask);
    ++parts_.back().count;
}

void Series::AppendSeries(Series&& other) {
    const std::size_t offset = Size();
    for (int q = 0; q < kQuantities; ++q) {
        if (!Has(static_cast<Quantity>(q))) continue;
        if (columns_[q].empty()) columns_[q] = std::move(other.columns_[q]);
        else columns_[q].insert(columns_[q].end(), other.columns_[q].begin(), other.columns_[q].end());
    }
    if (over_.empty()) over_ = std::move(other.over_);
    else over_.insert(over_.end(), other.over_.begin(), other.over_.end());
    for (Part& p : other.parts_) {
        p.first += offset;
        parts_.push_back(std::move(p));
    }
    notes.insert(notes.end(), other.notes.begin(), other.notes.end());
    other.Clear();
}

void Series::Clear() {
    for (auto& c : columns_) c.clear();
    over_.clear();
    parts_.clear();
    notes.clear();
}

}  // namespace tessera::survey
