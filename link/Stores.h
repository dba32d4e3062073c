#pragma once
// The two large process-wide data stores. They live for the whole run and are zeroed,
// never freed. Their owners are the Entire Read and logger pages; they sit here so that
// the one clearing routine can reach both without the link depending on the pages.

#include <array>
#include <cstdint>

#include "settings/MeterSettings.h"

namespace tessera::link {

// One stored measurement: the record layout of the meter's settings.
using MemoryRecord = settings::MeterSettings;
inline constexpr int kMemorySlots = 100;  // slot i = memory record i+1; 99 ever written
inline constexpr int kMemoryRecordsMax = 99;

struct LogSample {
    std::int32_t index = 0;  // slot number; 0 in a slot other than slot 0 means empty
    double x = 0.0, y = 0.0, z = 0.0, R = 0.0;
};
inline constexpr int kLogSlots = 32000;

extern std::array<MemoryRecord, kMemorySlots>& memoryStore;
extern std::array<LogSample, kLogSlots>& LogSampleStore;

inline constexpr unsigned kClearLogStore = 1u;     // bit 0
inline constexpr unsigned kClearMemoryStore = 2u;  // bit 1
void ClearStores(unsigned mask);

// Process-wide flags with one writer each: the logger page.
extern bool loggerRunning;    // a logging run is in progress
extern bool loggerPageShown;  // the logger page was shown last (arrow-key routing)

}  // namespace tessera::link
