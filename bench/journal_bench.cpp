// What the logging journal costs a run: one sample appended (written through to the
// operating system at once, onto the disk once a second), and the share of one core that a
// 250 ms run spends on it. Usage: journal_bench [--benchmark_filter=...]; the journal
// goes to $TMPDIR (put TMPDIR on the disk the state directory lives on to measure that disk).
// Recovery: reading back a journal of a full store (32000 samples).

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "logger/Journal.h"

namespace {

using namespace tessera;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string ScratchDirectory() {
    auto dir = std::filesystem::temp_directory_path() / ("tessera-journal-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

logger::JournalSample SampleAt(int slot) {
    const double v = 1.234e-6 + slot * 1e-10;
    return {{slot, v, v * 0.5, v * 0.25, v * 1.146}, 0};
}

// Samples 250 ms apart on the journal's own clock: it syncs every fourth, as in a real run.
void BM_JournalAppendAt250ms(benchmark::State& state) {
    const std::string dir = ScratchDirectory();
    platform::ManualClock clock;
    logger::RunJournal journal(dir, clock);
    logger::JournalHeader header;
    header.start = {2012, 5, 3, 4, 9, 5, 7};
    journal.Begin(header, SampleAt(0));
    int slot = 1;
    const double cpu0 = CpuSeconds();
    for (auto _ : state) {
        clock.millis += 250;
        journal.Append(SampleAt(slot));
        if (++slot == 32000) {  // a full store; a new journal as a new run would begin
            state.PauseTiming();
            journal.Discard();
            journal.Begin(header, SampleAt(0));
            slot = 1;
            state.ResumeTiming();
        }
    }
    const double cpuPerSample = (CpuSeconds() - cpu0) / static_cast<double>(state.iterations());
    state.counters["cpu_us_per_sample"] = cpuPerSample * 1e6;
    // Four samples a second at 250 ms.
    state.counters["core_percent_at_250ms"] = cpuPerSample * 4 * 100;
    journal.Discard();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_JournalAppendAt250ms)->Unit(benchmark::kMicrosecond)->MinTime(5.0);

void BM_ReadFullJournal(benchmark::State& state) {
    std::string text = logger::JournalHeaderText({});
    for (int slot = 0; slot < 32000; ++slot) text += logger::JournalSampleText(SampleAt(slot));
    for (auto _ : state) benchmark::DoNotOptimize(logger::ParseJournal(text));
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ReadFullJournal)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
