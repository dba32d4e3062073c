#pragma once
// The header of a logger file as most tests and benchmarks write one: flux density in tesla,
// effective values, normal response, on the 20 uT range unless another is given.

#include "logger/LoggerCsv.h"

namespace tessera::testing {

inline logger::LogHeader TeslaLogHeader(const logger::StartTime& start, int periodIndex, int method = 0,
                                        int range = 1) {
    logger::LogHeader h;
    h.record.mode = '0';
    h.record.unit = '0';
    h.record.range = range;
    h.record.output = '0';
    h.record.slow = '0';
    h.start = start;
    h.periodIndex = periodIndex;
    h.method = method;
    return h;
}

}  // namespace tessera::testing
