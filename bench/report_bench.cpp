// The survey report's speed: a logging run of 32000 samples (with three marks) and a table of
// the 99 stored records, from their files to a finished PDF in memory, in three steps:
// reading the files, building the report description, drawing its pages. Best of five, on the
// clock and in processor time.
//
//   report_bench [DIR]   (the files are written into DIR, default a temporary folder)

#include <QBuffer>
#include <QGuiApplication>
#include <QPdfWriter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logger/LoggerCsv.h"
#include "logger/RunMarks.h"
#include "survey/ReportPainter.h"
#include "survey/SurveyReport.h"
#include "tests/support/LogHeaders.h"
#include "ui/Fonts.h"

namespace {

using namespace tessera;

double Cpu() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }
double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void WriteFiles(const std::string& dir) {
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{2024, 3, 1, 5, 22, 0, 0}, 3, 1);
    std::vector<link::LogSample> samples(link::kLogSlots);
    for (int i = 0; i < link::kLogSlots; ++i) {
        const double r = (0.2 + 0.1 * std::sin(i / 3000.0) + (i % 97) * 0.001) * 1e-6;
        samples[static_cast<std::size_t>(i)] = {i, 0.3 * r, 0.4 * r, 0.866 * r, r};
    }
    logger::WriteLogFile(dir + "/run.CSV", h, samples.data(), link::kLogSlots - 1);
    logger::RunMarks marks;
    marks.sensor = '1';
    marks.marks = {{4000, {}, "heater on"}, {12000, {}, "heater off"}, {25000, {}, "door opened"}};
    logger::WriteMarksFile(dir + "/run.CSV", marks, link::kLogSlots - 1);
    std::ofstream er(dir + "/memory.CSV", std::ios::binary);
    er << "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN\r\nDATA\r\n"
          "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\r\n";
    for (int i = 1; i <= 99; ++i) {
        char line[200];
        const double r = 0.1 + i * 0.03;
        std::snprintf(
            line, sizeof line,
            "%d,Magnetic Flux Density(10Hz-400kHz),R,uT,20.00uT,%.2f,%.2f,%.2f,%.2f,OFF,OFF,8621,%.2f,%.2f\r\n", i,
            0.3 * r, 0.4 * r, 0.866 * r, r, r * 1.05, r * 0.95);
        er << line;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tessera-report-bench").string();
    std::filesystem::create_directories(dir);
    WriteFiles(dir);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ui::InstallFontSubstitutes();

    double best[4] = {1e9, 1e9, 1e9, 1e9}, bestCpu = 1e9;
    int pages = 0;
    qsizetype size = 0;
    for (int round = 0; round < 5; ++round) {
        const double t0 = Now(), c0 = Cpu();
        auto read = survey::ReadReportSources({dir + "/run.CSV", dir + "/memory.CSV"});
        auto& sources = std::get<survey::ReadSources>(read);
        const double t1 = Now();
        survey::ReportInput input;
        input.runs = std::move(sources.runs);
        input.tables = std::move(sources.tables);
        input.fields.title = "Benchmark";
        input.fields.reference = survey::TypedProfile("200uT");
        const survey::SurveyReport report = survey::BuildReport(input);
        const double t2 = Now();
        QByteArray bytes;
        {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QPdfWriter writer(&buffer);
            writer.setPageSize(QPageSize(QPageSize::A4));
            pages = survey::PrintReport(writer, report);
        }
        const double t3 = Now();
        size = bytes.size();
        best[0] = std::min(best[0], t1 - t0);
        best[1] = std::min(best[1], t2 - t1);
        best[2] = std::min(best[2], t3 - t2);
        best[3] = std::min(best[3], t3 - t0);
        bestCpu = std::min(bestCpu, Cpu() - c0);
    }
    std::printf("report of 32000 samples (3 marks) and 99 records: %d pages, %lld bytes of PDF\n", pages,
                static_cast<long long>(size));
    std::printf("  read the files    %7.1f ms\n", best[0] * 1e3);
    std::printf("  build the report  %7.1f ms\n", best[1] * 1e3);
    std::printf("  draw the pages    %7.1f ms\n", best[2] * 1e3);
    std::printf("  in all            %7.1f ms on the clock, %.1f ms of processor time (best of 5)\n", best[3] * 1e3,
                bestCpu * 1e3);
    return 0;
}
