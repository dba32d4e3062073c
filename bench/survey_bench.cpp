// Survey speed, in two figures:
//  1. `stats` over a 28-day survey at one sample a second (2 419 200 samples in 76 rollover
//     parts of 32000), against awk summing one column of the same files: both the time on
//     the clock and the processor time.
//  2. What the live Survey page adds per sample at 32000 samples: the model following the
//     logger's store, its table, and both pictures drawn into an image.
//
//   survey_bench [DIR]   (the parts are written into DIR, default a temporary folder, once)

#include <sys/resource.h>
#include <sys/time.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/SurveyFixture.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"
#include "survey/CSurvey.h"
#include "survey/Evaluation.h"
#include "survey/Report.h"
#include "survey/Sources.h"
#include "survey/SurveyModel.h"
#include "survey/SurveyPainter.h"
#include "tests/support/FakeMeterPort.h"
#include "tests/support/ScriptedPrompter.h"

namespace {

using namespace tessera;
using bench::Clock;
using bench::CpuSeconds;
using bench::Median;
using bench::Since;
using bench::kSamples;
using bench::WriteSurvey;

// Processor time of this thread: the live figures must not count what other programs on a
// busy machine take from it.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string LoadAverage() {
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    char text[64] = "?";
    if (f) {
        if (!std::fgets(text, sizeof text, f)) text[0] = '\0';
        std::fclose(f);
    }
    std::string s = text;
    return s.substr(0, s.find(' '));
}

void StatsAgainstAwk(const std::string& dir) {
    const std::string first = WriteSurvey(dir);
    const auto files = survey::WithRolloverParts({first});
    std::printf("survey: %zu parts, %lld samples (load average %s)\n", files.size(), kSamples, LoadAverage().c_str());

    // awk adds up R of every data line (the header lines have no number in field 5).
    std::string command = "awk -F, 'FNR > 11 { s += $5 } END { print s }'";
    for (const auto& f : files) command += " '" + f + "'";
    command += " > /dev/null";

    // Turn about, so a busy machine weighs on both alike; medians of five rounds each.
    std::vector<double> statsWall, statsCpu, awkWall, awkCpu;
    std::string mean;
    for (int round = 0; round < 5; ++round) {
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = Clock::now();
        auto read = survey::ReadFiles({first}, survey::ChannelOf(survey::kR));
        const auto& series = std::get<survey::Series>(read);
        survey::Request request;
        request.reference = survey::TypedProfile("0.2uT");
        request.thresholds = {1e-7};
        const survey::Evaluation e = survey::Evaluate(series, request);
        statsWall.push_back(Since(t0));
        statsCpu.push_back(CpuSeconds(RUSAGE_SELF) - cpu0);
        mean = survey::FourDigits(*e.stats.mean * 1e6);

        const double child0 = CpuSeconds(RUSAGE_CHILDREN);
        const auto t1 = Clock::now();
        if (std::system(command.c_str()) != 0) std::printf("awk failed\n");
        awkWall.push_back(Since(t1));
        awkCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - child0);
    }
    std::printf("stats (read, evaluate, reference): %.3f s on the clock, %.3f s of processor  [mean %s uT]\n",
                Median(statsWall), Median(statsCpu), mean.c_str());
    std::printf("awk summing one column:            %.3f s on the clock, %.3f s of processor\n", Median(awkWall),
                Median(awkCpu));
    std::printf("stats takes %.2f of awk's time on the clock\n", Median(statsWall) / Median(awkWall));
}

void LivePage() {
    testing::FakeMeterPort meter;
    testing::ScriptedPrompter prompter;
    platform::ManualClock clock;
    clock.millis = 1000;
    logger::LoggerModel logger(meter, prompter, clock);
    meter.current = testing::MeterRecord('0', 11, '0');
    logger.Refresh();
    logger.SelectPeriod(0);
    survey::SurveyModel model{survey::ProfileBook()};
    model.SetLogger(&logger);
    model.ShowLogger();
    model.SetReference("0.4uT");
    model.SetThresholds("0.2uT");
    logger.Start();
    QImage image(400, 380, QImage::Format_ARGB32_Premultiplied);

    int polls = 0;
    auto poll = [&] {
        const int i = polls++;
        meter.readings.clear();
        meter.Queue((0.1 + 0.05 * std::sin(i * 0.01)) * 1e-6, 0.02e-6, (i % 500 == 0 ? 2.0 : 0.01) * 1e-6);
        if (logger.PollCount() > 0) clock.millis += logger.CurrentSchedule().pollPeriodMs;
        logger.Tick(clock.millis);
    };
    while (logger.SampleCount() < 31000) {
        poll();
        model.LoggerChanged();
    }
    // The model with its table and both pictures drawn into an image.
    const int measured = 500;
    double follow = 0, table = 0, paint = 0, strokes = 0, histogram = 0;
    for (int n = 0; n < measured; ++n) {
        poll();
        double t = ThreadSeconds();
        model.LoggerChanged();
        follow += ThreadSeconds() - t;
        t = ThreadSeconds();
        const auto rows = model.Table();
        table += ThreadSeconds() - t;
        t = ThreadSeconds();
        {
            QPainter p(&image);
            survey::PaintTimeGraph(p, QRect(0, 0, 400, 230), model, {});
            const double h = ThreadSeconds();
            survey::PaintHistogram(p, QRect(0, 230, 400, 150), model);
            histogram += ThreadSeconds() - h;
        }
        paint += ThreadSeconds() - t;
        t = ThreadSeconds();
        (void)model.Strokes(340);
        strokes += ThreadSeconds() - t;
    }
    std::printf(
        "live model at %zu samples, processor time per sample: follow %.1f us, table %.1f us, pictures %.1f us "
        "(strokes alone %.1f us, histogram %.1f us), in all %.3f ms\n",
        model.Shown().Size(), follow / measured * 1e6, table / measured * 1e6, paint / measured * 1e6,
        strokes / measured * 1e6, histogram / measured * 1e6, (follow + table + paint) / measured * 1e3);

    // The page itself, as the window has it: the logger's change reaches it, it follows,
    // fills its table and repaints what changed (offscreen: into the window's backing store).
    survey::CSurvey page(prompter);
    page.resize(1040, 716);
    page.show();
    page.SetLogger(&logger);
    page.Model().SetReference("0.4uT");
    page.Model().SetThresholds("0.2uT");
    QApplication::processEvents();
    double whole = 0;
    int n = 0;
    while (logger.Running() && n < measured) {
        poll();
        const double t = ThreadSeconds();
        page.LoggerChanged();
        QApplication::processEvents();  // what changed is painted, as in the window
        whole += ThreadSeconds() - t;
        ++n;
    }
    std::printf("live page at %zu samples: %.3f ms of processor per sample (follow, table, the page repainted)\n",
                page.Model().Shown().Size(), n > 0 ? whole / n * 1e3 : 0.0);
    if (std::getenv("SURVEY_BENCH_PARTS")) {
        for (QWidget* w :
             std::initializer_list<QWidget*>{page.Graph(), page.Table()->viewport(), page.Notes()->viewport()}) {
            const double t = ThreadSeconds();
            for (int i = 0; i < 50; ++i) w->repaint();
            std::printf("  %s repaint: %.3f ms\n", w->metaObject()->className(), (ThreadSeconds() - t) / 50 * 1e3);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[2]) == "--live") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        LivePage();
        return 0;
    }
    std::string dir = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tessera-survey-bench").string();
    std::filesystem::create_directories(dir);
    StatsAgainstAwk(dir);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LivePage();
    return 0;
}
