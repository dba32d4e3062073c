#pragma once
// One series type for everything a survey evaluates: the samples of a logging run (live,
// or read back from logger files, rollover parts joined in order, each part timed from
// its own START TIME) or the records of the meter's memory (no time). Values are kept in
// one unit per series, one contiguous column per quantity, so a statistic over millions
// of samples reads memory in order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "survey/LocalTime.h"
#include "survey/Units.h"

namespace tessera::survey {

// Storage that a reader fills itself: growing it leaves the new room as it is instead of
// writing zeros first, so threads that fill their own parts also take the memory's first
// touch upon themselves.
template <class T>
struct FillLater : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = FillLater<U>;
    };
    FillLater() = default;
    template <class U>
    explicit FillLater(const FillLater<U>&) {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
template <class T>
using Storage = std::vector<T, FillLater<T>>;

enum Quantity : int { kX = 0, kY = 1, kZ = 2, kR = 3 };
inline constexpr int kQuantities = 4;
// "R", "x", "y", "z" (the names of the pages' columns).
const char* QuantityName(Quantity q);
// "R", "x", "y" or "z"; upper and lower case alike.
std::optional<Quantity> QuantityNamed(std::string_view name);

// Which columns a reader keeps (bit 1 << quantity). A statistic over millions of samples of
// one quantity need not hold the other three.
using Channels = unsigned;
inline constexpr Channels kAllChannels = 0xF;
inline constexpr Channels ChannelOf(Quantity q) { return 1u << q; }

// A stretch of samples that came from one place: one logger file (a rollover part), one
// logging run, or one table of records.
struct Part {
    std::string source;     // the file, or the page the samples were taken from
    std::size_t first = 0;  // index of its first sample in the series
    std::size_t count = 0;  // samples it holds
    int firstNumber = 1;    // the number its first sample has there (the file's NO, the record number)
    bool timed = false;     // logger samples; records have no time
    LocalMs start = 0;      // time of its first sample
    LocalMs periodMs = 0;   // the sampling period
    char mode = '0';        // the meter's measurement mode of its readings ('0'..'4')
};

// A mark set during a logging run ("heater on", logger/RunMarks.h), at a sample of the series.
struct SeriesMark {
    std::size_t sample = 0;
    std::string text;
    bool operator==(const SeriesMark&) const = default;
};

class Series {
public:
    // Values are kept in `unit`; only the columns in `channels` are kept.
    explicit Series(Unit unit = *UnitNamed("T"), Channels channels = kAllChannels);

    const Unit& StoredUnit() const { return unit_; }
    Channels Kept() const { return channels_; }
    bool Has(Quantity q) const { return (channels_ & ChannelOf(q)) != 0; }

    std::size_t Size() const { return over_.size(); }
    bool Empty() const { return over_.empty(); }
    // Samples with times (logger data) or records without.
    bool Timed() const { return !parts_.empty() && parts_.front().timed; }

    // The column of a kept quantity, Size() values long.
    const double* Column(Quantity q) const { return columns_[q].data(); }
    double Value(Quantity q, std::size_t i) const { return columns_[q][i]; }
    // The reading of this quantity was "O.L." (over range): it is no measurement.
    bool Over(Quantity q, std::size_t i) const { return (over_[i] & ChannelOf(q)) != 0; }
    std::uint8_t OverMask(std::size_t i) const { return over_[i]; }

    const std::vector<Part>& Parts() const { return parts_; }
    // The part holding sample i.
    const Part& PartOf(std::size_t i) const;
    LocalMs TimeOf(std::size_t i) const;
    // The sample's number in its source (the file's NO or the record number).
    int NumberOf(std::size_t i) const;
    // Every part's measurement mode is an exposure mode: the values are % of the meter's own standard.
    bool ExposureLevels() const;

    // What readers left out or joined with a remark, one sentence each, for the people reading results.
    std::vector<std::string> notes;
    // The marks of logger samples (each file's sidecar, the logger's run), in sample order.
    std::vector<SeriesMark> marks;

    // --- building ---
    void Reserve(std::size_t samples);
    // Starts a part; its `first` and `count` are set here.
    void BeginPart(Part part);
    // Appends a sample to the last part: x, y, z, R (in the series unit) and its "O.L." marks.
    void Append(const std::array<double, 4>& xyzR, std::uint8_t overMask);
    // Appends a whole series read elsewhere (same unit and channels) as further parts.
    void AppendSeries(Series&& other);
    void Clear();

    // Bulk building, for readers that fill many samples at once from several threads: room
    // for `samples` (kept columns and marks, not yet written), written through the pointers; then
    // Finish moves the parts' samples together in order and keeps `parts` (whose `first`
    // name where each one's samples were written, `count` how many).
    void PrepareBulk(std::size_t samples);
    double* BulkColumn(Quantity q) { return Has(q) ? columns_[q].data() : nullptr; }
    std::uint8_t* BulkOver() { return over_.data(); }
    void FinishBulk(std::vector<Part> parts);

private:
    Unit unit_;
    Channels channels_;
    std::array<Storage<double>, kQuantities> columns_;
    Storage<std::uint8_t> over_;
    std::vector<Part> parts_;
};

}  // namespace tessera::survey
