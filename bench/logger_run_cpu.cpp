// CPU used by a logging run at 250 ms against the virtual meter, driven the way the page
// drives it: a single-shot Qt timer armed for the next due poll, the run journalled as the
// page journals it. Usage:
//   logger_run_cpu [seconds] [--no-journal]   (default 600: the ten-minute run)
// Prints the process's CPU time (user + system) against the wall time.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bench/BenchMeter.h"
#include "link/Link.h"
#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "page/Prompter.h"

namespace {

using namespace tessera;

class Quiet final : public page::Prompter {
public:
    page::Answer AskYesNo(const page::Question&) override { return page::Answer::No; }
    page::Answer AskYesNoCancel(const page::Question&) override { return page::Answer::No; }
    void Inform(const std::string& m) override { std::fprintf(stderr, "%s\n", m.c_str()); }
    std::string ChooseOpenFile(const page::FileFilter&) override { return {}; }
    std::string ChooseSaveFile(const page::FileFilter&) override { return {}; }
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override { return std::nullopt; }
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 600;
    bool journalled = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-journal") == 0) journalled = false;
        else seconds = std::atoi(argv[i]);
    }
    QCoreApplication app(argc, argv);
    bench::BenchMeter meter;
    if (!meter.Start()) return 1;
    link::Link& meterLink = meter.Link();
    Quiet prompter;
    platform::Clock& clock = platform::DefaultClock();
    logger::LoggerModel model(meterLink, prompter, clock);
    // The journal goes beside the test meter's registry, never into the user's state.
    const std::string journalDir = meter.Meter().DeviceRoot() + "/journal";
    logger::RunJournal journal(journalDir);
    if (journalled) model.SetJournal(&journal);
    model.Refresh();
    model.SelectPeriod(0);  // 1 s/div: a poll and a sample every 250 ms
    if (!model.Start()) return 1;

    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    int wakeups = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++wakeups;
        model.Tick(clock.Millis());
        model.TakeDrawRequests();
        if (model.Running())
            timer.start(static_cast<int>(std::min<std::uint32_t>(model.MillisUntilNextPoll(clock.Millis()), 250)));
    });
    QTimer::singleShot(seconds * 1000, [&] {
        model.Stop();
        app.quit();
    });
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    timer.start(0);
    app.exec();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("run %.1f s, polls %llu, samples %d, timer wake-ups %d\n", wall,
                static_cast<unsigned long long>(model.PollCount()), model.SampleCount() + 1, wakeups);
    std::printf("CPU %.3f s = %.3f %% of one core (%s)\n", cpu, 100.0 * cpu / wall,
                journalled ? "journalled" : "no journal");
    journal.Discard();
    return 0;
}
