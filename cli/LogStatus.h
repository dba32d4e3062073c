#pragma once
// The status line of "log" on a terminal (cli/StatusLine.h): the samples taken, the time since
// the run began, the latest sample's R with its unit, the survey's part being written and the
// times the run went on after a lost meter; while it waits for the meter, since when and why.
//
//   1234 samples  02:03:04  R 86.1E-6 T  part 2  1 reconnection
//   waiting since 03:00:07 (connection lost)  1234 samples  02:03:04  part 3  1 reconnection

#include <chrono>
#include <optional>
#include <string>

#include "cli/StatusLine.h"
#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"

namespace tessera::cli {

struct LogProgress {
    long long samples = 0;
    long long seconds = 0;  // since the run began
    std::string lastR;      // the latest sample's R with its unit; empty before the first
    int part = 1;
    int reconnections = 0;
    std::optional<logger::JournalGap> waiting;  // the gap being waited out
};

std::string LogStatusText(const LogProgress& progress);

// The samples of the survey so far: those of its saved parts, and those of the part being
// taken (or taken and not yet saved).
long long SamplesTaken(const logger::LoggerModel& model, const logger::SurveyFiles& survey);

class LogStatus {
public:
    LogStatus(const logger::LoggerModel& model, const logger::SurveyFiles& survey);

    // After each tick of the run.
    void Running(int reconnections);
    // While the run waits for the meter, with the gap so far.
    void Waiting(const logger::JournalGap& gap, int reconnections);

private:
    void Show(int reconnections);

    const logger::LoggerModel& model_;
    const logger::SurveyFiles& survey_;
    const std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
    LogProgress progress_;
    StatusLine line_;
};

}  // namespace tessera::cli
