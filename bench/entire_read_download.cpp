// Downloading a full memory (99 records) from the virtual meter: into the page model
// driven step by step, and through the page widget with its timer and event loop.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>

#include "bench/MeterBenchMain.h"
#include "entire_read/CEntireRead.h"
#include "entire_read/EntireReadModel.h"
#include "tests/support/ScriptedPrompter.h"

namespace {

tessera::link::Link* gLink = nullptr;

void BM_ModelDownload99(benchmark::State& state) {
    tessera::testing::ScriptedPrompter prompter;
    tessera::entire_read::EntireRead model(*gLink, prompter);
    for (auto _ : state) {
        model.SetDataState(tessera::page::DataState::None);  // no save question between rounds
        model.Read();
        while (model.Step()) {}
        if (model.RecordCount() != 99 || !prompter.Messages().empty()) state.SkipWithError("download incomplete");
    }
    state.counters["records"] = model.RecordCount();
}
BENCHMARK(BM_ModelDownload99)->Unit(benchmark::kMillisecond);

void BM_PageDownload99(benchmark::State& state) {
    tessera::testing::ScriptedPrompter prompter;
    tessera::entire_read::CEntireRead page(*gLink, prompter);
    page.Refresh();
    for (auto _ : state) {
        page.SetDataState(tessera::page::DataState::None);
        page.ReadButton()->click();
        while (page.Downloading()) QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (page.Model().RecordCount() != 99) state.SkipWithError("download incomplete");
    }
}
BENCHMARK(BM_PageDownload99)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return tessera::bench::RunAgainstMeter(argc, argv, "DeviceChangeEvent-eread-bench", 99, gLink);
}
