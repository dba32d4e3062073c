#pragma once
// Records and accuracy tables the Entire Read tests share.

#include <cmath>

#include "entire_read/DisplayRule.h"
#include "link/Accuracy.h"
#include "link/Stores.h"

namespace tessera::entire_read::testdata {

inline link::MemoryRecord Record(char mode, char axis, char unit, std::uint8_t range, double x, double y, double z,
                                 char sensor = '1', char slow = '0', char output = '0') {
    link::MemoryRecord r{};
    r.mode = mode;
    r.axis = axis;
    r.unit = unit;
    r.range = range;
    r.value1 = x;
    r.value2 = y;
    r.value3 = z;
    r.output = output;
    r.sensor = sensor;
    r.slow = slow;
    return r;
}

inline RecordValues Values(const link::MemoryRecord& r) {
    return {0, r.value1, r.value2, r.value3,
            std::sqrt(r.value1 * r.value1 + r.value2 * r.value2 + r.value3 * r.value3)};
}

// Every mode and range index gets the same coefficients.
inline link::AccuracyTable UniformTable(float a, float b) {
    link::AccuracyTable table{};
    int i = 0;
    for (char mode = '0'; mode <= '4'; ++mode)
        for (std::uint8_t range = 0; range < 4; ++range) table[static_cast<std::size_t>(i++)] = {mode, range, a, b};
    return table;
}

}  // namespace tessera::entire_read::testdata
