#pragma once
// The 28-day survey the survey benchmarks read: one sample a second (2 419 200 samples) in
// 76 rollover parts of 32000, as `tessera-cli log` leaves it; and how they time their work.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "link/Stores.h"
#include "logger/LoggerCsv.h"
#include "logger/Survey.h"
#include "survey/LocalTime.h"
#include "tests/support/LogHeaders.h"

namespace tessera::bench {

using Clock = std::chrono::steady_clock;

// Processor time of this process (RUSAGE_SELF) or of the children it waited for.
inline double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline constexpr long long kSamples = 28LL * 86400;  // one a second for 28 days

// The survey as `tessera-cli log` leaves it: NAME.CSV, NAME-002.CSV, ..., 32000 samples each.
inline std::string WriteSurvey(const std::string& dir) {
    const std::string first = dir + "/survey.CSV";
    const int parts = static_cast<int>((kSamples + link::kLogSlots - 1) / link::kLogSlots);
    if (std::filesystem::exists(logger::SurveyPartPath(first, parts))) return first;
    std::vector<link::LogSample> samples(link::kLogSlots);
    auto h = tessera::testing::TeslaLogHeader(logger::StartTime{}, 3, 0, 11);  // 1 s
    long long done = 0;
    for (int part = 1; part <= parts; ++part) {
        const int n = static_cast<int>(std::min<long long>(link::kLogSlots, kSamples - done));
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i);
            const double x = (0.12 + 0.08 * std::sin(t / 3600.0)) * 1e-6, y = 0.05e-6 + 0.01e-6 * std::cos(t / 600.0);
            const double z = ((done + i) % 86400 < 3600 ? 1.5 : 0.03) * 1e-6;
            samples[static_cast<std::size_t>(i)] = {i, x, y, z, logger::Resultant(x, y, z)};
        }
        const auto start = survey::FromLocalMs(survey::ToLocalMs({2024, 3, 1}) + done * 1000);
        h.start = {start.year, start.month, start.day, 1, start.hour, start.minute, start.second};
        logger::WriteLogFile(logger::SurveyPartPath(first, part), h, samples.data(), n - 1);
        done += n;
    }
    return first;
}

}  // namespace tessera::bench
