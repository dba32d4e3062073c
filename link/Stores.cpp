#include "link/Stores.h"

namespace tessera::link {

namespace {
// Static storage: zero at program start, alive for the whole run, never freed.
std::array<MemoryRecord, kMemorySlots> memoryStorage{};
std::array<LogSample, kLogSlots> logStorage{};
}  // namespace

std::array<MemoryRecord, kMemorySlots>& memoryStore = memoryStorage;
std::array<LogSample, kLogSlots>& LogSampleStore = logStorage;

bool loggerRunning = false;
bool loggerPageShown = false;

void ClearStores(unsigned mask) {
    if (mask & kClearLogStore) logStorage.fill(LogSample{});
    if (mask & kClearMemoryStore) memoryStorage.fill(MemoryRecord{});
}

}  // namespace tessera::link
