#pragma once
// The main of a Google Benchmark program against the virtual meter: the meter with `records`
// in its memory, a session with it for the benchmarks (`session` points at it while they
// run), then the command line's benchmarks.

#include <benchmark/benchmark.h>

#include "bench/BenchMeter.h"

namespace tessera::bench {

inline int RunAgainstMeter(int& argc, char** argv, const char* lockName, int records, link::Link*& session) {
    BenchMeter meter(lockName);
    if (!meter.Start(records)) return 1;
    session = &meter.Link();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session = nullptr;
    return 0;
}

}  // namespace tessera::bench
