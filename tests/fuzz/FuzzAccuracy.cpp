// "accuracy.dat": any bytes are refused or give a table that writes back to the same 204
// bytes; the accuracy band of any displayed R with any table entry is free of undefined
// behaviour.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/Accuracy.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessera;
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto table = link::DecodeAccuracyFile(bytes);
    if (size < static_cast<std::size_t>(link::kAccuracyFileSize)) FUZZ_CHECK(!table);
    if (!table) return 0;
    const auto written = link::EncodeAccuracyFile(*table);
    FUZZ_CHECK(written.size() == static_cast<std::size_t>(link::kAccuracyFileSize));
    FUZZ_CHECK(std::equal(written.begin(), written.end(), bytes.begin()));

    // Bytes after the file's 204 choose a displayed R, a display format and a threshold.
    double r = 1.0;
    if (size >= link::kAccuracyFileSize + 8u) std::memcpy(&r, data + link::kAccuracyFileSize, sizeof r);
    const std::uint8_t pick = size > link::kAccuracyFileSize + 8u ? data[link::kAccuracyFileSize + 8] : 0;
    link::SetAccuracyTable(*table);
    for (const auto& entry : *table) {
        (void)link::FindAccuracy(entry.mode, entry.rangeIndex);
        (void)link::ComputeAccuracyBand(r, entry.mode, entry.rangeIndex, pick % 4, (pick & 4) ? 0.0001 : 0.0);
    }
    return 0;
}
