// Logger speed: a full graph redraw with the store full (32000 samples), and writing plus
// reading a 32000-sample CSV file through the page model.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "link/Stores.h"
#include "logger/GraphPainter.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "page/Prompter.h"
#include "tests/support/LogHeaders.h"

namespace {

using namespace tessera;

class Quiet final : public page::Prompter {
public:
    page::Answer AskYesNo(const page::Question&) override { return page::Answer::Yes; }
    page::Answer AskYesNoCancel(const page::Question&) override { return page::Answer::No; }
    void Inform(const std::string&) override {}
    std::string ChooseOpenFile(const page::FileFilter&) override { return path; }
    std::string ChooseSaveFile(const page::FileFilter&) override { return path; }
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override { return std::nullopt; }
    std::string path;
};

std::string FullLogFile() {
    const auto path = (std::filesystem::temp_directory_path() / "tessera-logger-bench.CSV").string();
    auto header = tessera::testing::TeslaLogHeader(logger::StartTime{2012, 5, 3, 4, 9, 5, 7}, 2);
    static tessera::link::LogSample samples[tessera::link::kLogSlots];
    for (int i = 0; i < tessera::link::kLogSlots; ++i) {
        const double x = (10 + 8 * std::sin(i * 0.01)) * 1e-6, y = (5 + 4 * std::cos(i * 0.013)) * 1e-6;
        const double z = (i % 400 < 40 ? 45.0 : 3.0) * 1e-6;
        samples[i] = {i, x, y, z, logger::Resultant(x, y, z)};
    }
    logger::WriteLogFile(path, header, samples, tessera::link::kLogSlots - 1);
    return path;
}

void BM_FullRedrawWithFullStore(benchmark::State& state) {
    link::AbsentMeter meter;
    Quiet prompter;
    platform::ManualClock clock;
    logger::LoggerModel model(meter, prompter, clock);
    model.ReadFile(FullLogFile());
    model.ScrollTo(model.ControlState().scrollMax / 2);
    QImage canvas(840, 520, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        canvas.fill(Qt::white);
        QPainter p(&canvas);
        logger::PaintGraph(p, model, logger::GraphForm{});
        logger::PaintCursor(p, model, logger::GraphForm{});
    }
    state.counters["samples"] = model.SampleCount() + 1;
}
BENCHMARK(BM_FullRedrawWithFullStore)->Unit(benchmark::kMillisecond);

void BM_WriteAndRead32000SampleCsv(benchmark::State& state) {
    link::AbsentMeter meter;
    Quiet prompter;
    platform::ManualClock clock;
    logger::LoggerModel model(meter, prompter, clock);
    const std::string source = FullLogFile();
    model.ReadFile(source);
    prompter.path = (std::filesystem::temp_directory_path() / "tessera-logger-bench-out.CSV").string();
    for (auto _ : state) {
        model.SaveCsv();
        model.ReadFile(prompter.path);
    }
    state.counters["samples"] = model.SampleCount() + 1;
    std::filesystem::remove(prompter.path);
    std::filesystem::remove(source);
}
BENCHMARK(BM_WriteAndRead32000SampleCsv)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
