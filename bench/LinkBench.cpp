// The link's pure routines run once per downloaded record, per logger poll and per table
// row; this shows what they cost. Run: build/bin/link_bench
#include <benchmark/benchmark.h>

#include "link/Accuracy.h"
#include "link/Decode.h"

using namespace tessera::link;

namespace {

const char* const kMeasReply = "0,3,0,12,1.23456E+01,2.5E-06,9.9996E+00,0,1,1,0,0,0\r\n";

void BM_SplitReply(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(SplitReply(kMeasReply));
}
BENCHMARK(BM_SplitReply);

void BM_DecodeReply(benchmark::State& state) {
    const bool rounding = state.range(0) != 0;
    tessera::settings::MeterSettings record;
    for (auto _ : state) {
        DecodeReply(kMeasReply, record, rounding);
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_DecodeReply)->Arg(0)->Arg(1);

void BM_RoundNumberText(benchmark::State& state) {
    const char* texts[] = {"1.23456E+03", "2.5E-06", "9.9996E+00", "7.77E-03"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(RoundNumberText(texts[i++ & 3], 4));
}
BENCHMARK(BM_RoundNumberText);

void BM_FormatSignificant(benchmark::State& state) {
    const double values[] = {0.012345, 2.0, 1234.5, 99.96};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(FormatSignificant(values[i++ & 3], 4));
}
BENCHMARK(BM_FormatSignificant);

void BM_AccuracyBand(benchmark::State& state) {
    AccuracyTable table{};
    for (int i = 0; i < kAccuracyEntries; ++i)
        table[static_cast<std::size_t>(i)] = {static_cast<char>('0' + i / 4), static_cast<std::uint8_t>(i % 4), 0.03f,
                                              5.0f};
    SetAccuracyTable(table);
    double r = 1.234;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeAccuracyBand(r, '4', 3, 3, 0.0));
        r += 0.001;
    }
}
BENCHMARK(BM_AccuracyBand);

void BM_AccuracyFileDecode(benchmark::State& state) {
    const auto bytes = EncodeAccuracyFile(AccuracyTable{});
    for (auto _ : state) benchmark::DoNotOptimize(DecodeAccuracyFile(bytes));
}
BENCHMARK(BM_AccuracyFileDecode);

}  // namespace

BENCHMARK_MAIN();
