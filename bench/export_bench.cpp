// Export speed: a 28-day survey at one sample a second (2 419 200 samples in 76 rollover
// parts) read from its files, against the same series written in each open form (rows
// formed, handed to a sink that keeps nothing, and to a file through the platform's save), and
// tessera-cli export writing it to standard output. Medians of three rounds, time on the
// clock and processor time.
//
//   export_bench [DIR]   (the parts are written into DIR once, default the survey bench's folder)

#include <sys/resource.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/SurveyFixture.h"
#include "platform/FileReplace.h"
#include "survey/Export.h"
#include "survey/Sources.h"

namespace {

using namespace tessera;
using bench::Clock;
using bench::CpuSeconds;
using bench::Median;
using bench::Since;

struct Figures {
    std::vector<double> wall, cpu;
    void Print(const char* what, double readWall) const {
        std::printf("%-44s %.3f s on the clock, %.3f s of processor (%.2f of reading's time)\n", what, Median(wall),
                    Median(cpu), Median(wall) / readWall);
    }
};

template <class F>
void Time(Figures& f, int who, F&& work) {
    const double cpu0 = CpuSeconds(who);
    const auto t0 = Clock::now();
    work();
    f.wall.push_back(Since(t0));
    f.cpu.push_back(CpuSeconds(who) - cpu0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tessera-survey-bench").string();
    std::filesystem::create_directories(dir);
    const std::string first = bench::WriteSurvey(dir);
    const std::string out = dir + "/export.out";
    const std::string cli = (std::filesystem::path(argv[0]).parent_path() / "tessera-cli").string();
    std::printf("survey: %zu parts, %lld samples\n", survey::WithRolloverParts({first}).size(), bench::kSamples);

    Figures read, csv, jsonl, sheet, file, command;
    std::size_t bytes = 0;
    for (int round = 0; round < 3; ++round) {
        std::variant<survey::Series, std::string> series;
        Time(read, RUSAGE_SELF, [&] { series = survey::ReadFiles({first}); });
        const auto& s = std::get<survey::Series>(series);
        const auto facts = survey::FactsOfFiles(s, s.StoredUnit());
        auto form = [&](survey::ExportForm f) {
            return survey::RowForm(f, s.StoredUnit(), s.StoredUnit(), {",", ";"});
        };
        auto discard = [&bytes](std::string_view piece) {
            bytes += piece.size();
            return true;
        };
        bytes = 0;
        Time(csv, RUSAGE_SELF, [&] { survey::WriteExport(s, facts, form(survey::ExportForm::OpenCsv), discard); });
        Time(jsonl, RUSAGE_SELF, [&] { survey::WriteExport(s, facts, form(survey::ExportForm::Jsonl), discard); });
        Time(sheet, RUSAGE_SELF,
             [&] { survey::WriteExport(s, facts, form(survey::ExportForm::Spreadsheet), discard); });
        Time(file, RUSAGE_SELF, [&] {
            platform::ReplaceFileWith(out, [&](const platform::PieceWriter& write) {
                return survey::WriteExport(s, facts, form(survey::ExportForm::OpenCsv), write);
            });
        });
        const std::string line =
            "'" + cli + "' export '" + first + "' --format open-csv --yes -o '" + out + "' >/dev/null";
        Time(command, RUSAGE_CHILDREN, [&] {
            if (std::system(line.c_str()) != 0) std::printf("tessera-cli export failed\n");
        });
    }
    std::printf("bytes of the three forms: %.1f MB; the open CSV file: %.1f MB\n", static_cast<double>(bytes) / 1e6,
                static_cast<double>(std::filesystem::file_size(out)) / 1e6);
    const double r = Median(read.wall);
    read.Print("reading the files (ReadFiles, x y z R)", r);
    csv.Print("open-csv rows formed", r);
    jsonl.Print("jsonl rows formed", r);
    sheet.Print("spreadsheet rows formed", r);
    file.Print("open-csv formed and saved (ReplaceFileWith)", r);
    command.Print("tessera-cli export --format open-csv -o file", r);
    // The series is held once (about 40 bytes a sample); the file's text never is.
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("tessera-cli export -o file: peak memory %.0f MB\n", static_cast<double>(children.ru_maxrss) / 1024.0);
    std::filesystem::remove(out);
    return 0;
}
