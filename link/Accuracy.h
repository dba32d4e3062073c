#pragma once
// The accuracy table from "accuracy.dat" and the accuracy band of a displayed R.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/Status.h"

namespace tessera::link {

struct AccuracyEntry {
    char mode = 0;                // '0'..'4'
    std::uint8_t rangeIndex = 0;  // 0..3
    float a = 0.0f;               // coefficient applied to the reading
    float b = 0.0f;               // count of last-digit steps
};

inline constexpr int kAccuracyEntries = 20;
inline constexpr int kAccuracyFileSize = 204;
using AccuracyTable = std::array<AccuracyEntry, kAccuracyEntries>;

// The file's bytes for a table (200 bytes of packed entries + XOR check word).
std::vector<std::uint8_t> EncodeAccuracyFile(const AccuracyTable& table);
// Parses the first 204 bytes; nullopt when short or the check word differs.
std::optional<AccuracyTable> DecodeAccuracyFile(const std::vector<std::uint8_t>& bytes);

// Loads "accuracy.dat" into the process-wide table: the copy in the current directory when
// there is one, else the one beside the program, else an installed copy's (data directory);
// the first copy found decides, so a damaged one fails. 0 on success,
// kStatusWrongModel on any failure (table unchanged).
Status LoadAccuracyTable();
Status LoadAccuracyTableFrom(const std::string& path);
const AccuracyTable& TheAccuracyTable();
void SetAccuracyTable(const AccuracyTable& table);  // tests and tools

// The last entry for the mode and range value (taken modulo 10), if any.
std::optional<AccuracyEntry> FindAccuracy(char mode, std::uint8_t rangeValue);

struct AccuracyBand {
    float plus = 0.0f;   // R+Accuracy
    float minus = 0.0f;  // R-Accuracy
    bool found = false;  // false: no table entry for this mode and range
};

// R as displayed (already cut to the display resolution), the number of decimals the
// display format shows (3, 2, 1, 0) and the rounding threshold (0.0001 only for a tesla
// record of range index 0 shown in its own unit, else 0).
AccuracyBand ComputeAccuracyBand(double displayedR, char mode, std::uint8_t rangeValue, int decimals, double threshold);

}  // namespace tessera::link
