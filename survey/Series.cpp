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
    // Taking the other's storage whole pays only while ours has no room reserved; otherwise
    // the next part would make it grow again (and copy everything) over and over.
    auto take = [](auto& mine, auto& theirs) {
        if (mine.empty() && mine.capacity() < theirs.size()) mine = std::move(theirs);
        else mine.insert(mine.end(), theirs.begin(), theirs.end());
    };
    for (int q = 0; q < kQuantities; ++q)
        if (Has(static_cast<Quantity>(q))) take(columns_[q], other.columns_[q]);
    take(over_, other.over_);
    for (Part& p : other.parts_) {
        p.first += offset;
        parts_.push_back(std::move(p));
    }
    for (SeriesMark& m : other.marks) marks.push_back({m.sample + offset, std::move(m.text)});
    notes.insert(notes.end(), other.notes.begin(), other.notes.end());
    other.Clear();
}

void Series::PrepareBulk(std::size_t samples) {
    for (int q = 0; q < kQuantities; ++q)
        if (Has(static_cast<Quantity>(q))) {
            columns_[q].clear();
            columns_[q].resize(samples);
        }
    over_.clear();
    over_.resize(samples);
    parts_.clear();
}

void Series::FinishBulk(std::vector<Part> parts) {
    // Parts come in order and were written at or after where they end up: moving each one
    // down in turn never overwrites one still to come.
    std::size_t at = 0;
    for (Part& p : parts) {
        if (p.first != at) {
            for (auto& column : columns_)
                if (!column.empty())
                    std::copy(column.begin() + static_cast<std::ptrdiff_t>(p.first),
                              column.begin() + static_cast<std::ptrdiff_t>(p.first + p.count),
                              column.begin() + static_cast<std::ptrdiff_t>(at));
            std::copy(over_.begin() + static_cast<std::ptrdiff_t>(p.first),
                      over_.begin() + static_cast<std::ptrdiff_t>(p.first + p.count),
                      over_.begin() + static_cast<std::ptrdiff_t>(at));
        }
        p.first = at;
        at += p.count;
    }
    for (auto& column : columns_)
        if (!column.empty()) column.resize(at);
    over_.resize(at);
    parts_ = std::move(parts);
}

void Series::Clear() {
    for (auto& c : columns_) c.clear();
    over_.clear();
    parts_.clear();
    notes.clear();
    marks.clear();
}

}  // namespace tessera::survey
