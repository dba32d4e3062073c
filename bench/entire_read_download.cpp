// Downloading a full memory (99 records) from the virtual meter: into the page model
// driven step by step, and through the page widget with its timer and event loop.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <cstdio>

#include "entire_read/CEntireRead.h"
#include "entire_read/EntireReadModel.h"
#include "link/Link.h"
#include "tests/support/VirtualMeter.h"
#include "ui/Prompter.h"

namespace {

tessera::link::Link* gLink = nullptr;

void BM_ModelDownload99(benchmark::State& state) {
    tessera::ui::ScriptedPrompter prompter;
    tessera::entire_read::EntireRead model(*gLink, prompter);
    for (auto _ : state) {
        model.SetDataState(0);  // no save question between rounds
        model.Read();
        while (model.Step()) {
        }
        if (model.RecordCount() != 99 || !prompter.Messages().empty()) state.SkipWithError("download incomplete");
    }
    state.counters["records"] = model.RecordCount();
}
BENCHMARK(BM_ModelDownload99)->Unit(benchmark::kMillisecond);

void BM_PageDownload99(benchmark::State& state) {
    tessera::ui::ScriptedPrompter prompter;
    tessera::entire_read::CEntireRead page(*gLink, prompter);
    page.Refresh();
    for (auto _ : state) {
        page.SetDataState(0);
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
    tessera::testing::VirtualMeter meter;
    if (!meter.Start()) {
        std::fprintf(stderr, "virtual meter: %s\n", meter.LastError().c_str());
        return 1;
    }
    for (int i = 0; i < 99; ++i) meter.AddRecord("0,3,0,11,1.523E-05,8.210E-06,3.300E-06,0,1,1,1,1,0");
    tessera::link::Link link("DeviceChangeEvent-eread-bench");
    if (!link.BindTransportPath(tessera::testing::VirtualMeter::BulklinkPath()) || !link.OpenSession()) {
        std::fprintf(stderr, "cannot open a session with the virtual meter\n");
        return 1;
    }
    gLink = &link;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    link.CloseSession();
    return 0;
}
