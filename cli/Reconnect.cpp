#include "cli/Reconnect.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace tessera::cli {

std::chrono::milliseconds ReconnectInterval() {
    if (const char* text = std::getenv("TESSERA_RECONNECT_INTERVAL_MS")) {
        char* end = nullptr;
        const long long ms = std::strtoll(text, &end, 10);
        if (end != text && *end == '\0' && ms > 0) return std::chrono::milliseconds(std::max(ms, 10LL));
    }
    return std::chrono::seconds(5);
}

std::string DurationText(long long seconds) {
    if (seconds >= 3600 && seconds % 3600 == 0) return std::to_string(seconds / 3600) + " h";
    if (seconds >= 60 && seconds % 60 == 0) return std::to_string(seconds / 60) + " min";
    return std::to_string(seconds) + " s";
}

Reconnection::Reconnection(link::Link& link, WatchedMeter& meter, logger::LoggerModel& model,
                           logger::SurveyFiles& survey, platform::Clock& clock, Options options)
    : link_(link), meter_(meter), model_(model), survey_(survey), clock_(clock), options_(options) {}

std::optional<logger::GapCause> Reconnection::Loss() const {
    using Outcome = logger::LogRun::Outcome;
    switch (model_.LastRunEnd()) {
        case Outcome::ConnectionLost:
            // A meter that stayed busy is there; the wait is the same, its reason is not.
            return meter_.Failure() == link::kStatusBusy ? logger::GapCause::MeterBusy
                                                         : logger::GapCause::ConnectionLost;
        case Outcome::SensorRemoved: return logger::GapCause::SensorRemoved;
        default: return std::nullopt;  // stopped, full, or a part not kept: not a loss
    }
}

bool Reconnection::MeterBack() {
    // A session whose meter went is opened anew at once: the meter may be back already, under
    // a new entry of the registry.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!link_.SessionOpen() && !link_.OpenSession()) return false;
        const link::Status status = meter_.RefreshSettings();
        if (status == link::kStatusOk) return meter_.CurrentSettings().sensor != '0';
        if (status != link::kStatusNoDevice) return false;  // there, but busy or not answering well: later
        link_.CloseSession();
    }
    return false;
}

Reconnection::Result Reconnection::Outlive(logger::GapCause cause, const std::function<bool()>& stop,
                                           const std::function<void(const logger::JournalGap&)>& waiting) {
    logger::JournalGap gap{0, Now(), {}, cause};
    if (!survey_.SaveStoppedRun(model_)) return Result::NotKept;

    const char* what = cause == logger::GapCause::SensorRemoved ? "a sensor" : "the QM8620";
    const long long ms = options_.interval.count();
    std::cerr << "Waiting for " << what << " (a look every "
              << (ms % 1000 == 0 ? DurationText(ms / 1000) : std::to_string(ms) + " ms");
    if (options_.timeout) std::cerr << ", for at most " << DurationText(options_.timeout->count());
    std::cerr << ").\n";

    const auto began = std::chrono::steady_clock::now();
    auto nextLook = began;
    for (;;) {
        if (stop()) {
            gap.to = Now();
            std::cerr << logger::GapText(gap) << '\n';
            return Result::Stopped;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextLook) {
            if (MeterBack() && model_.Start()) {
                gap.to = Now();
                ++count_;
                unjournalled_.push_back(gap);
                // Also a mark at the first sample after the gap, so the part's marks file, the
                // Survey graph and the report show where and why the samples stopped.
                model_.Mark(logger::GapText(gap));
                std::cerr << logger::GapText(gap) << " Logging goes on in " << survey_.CurrentPath() << ".\n";
                return Result::Resumed;
            }
            nextLook = now + options_.interval;
        }
        if (options_.timeout && now - began >= *options_.timeout) {
            gap.to = Now();
            std::cerr << logger::GapText(gap) << '\n';
            // What was still missing at the last look: the exit status says the same.
            const link::Status missing = meter_.Failure();
            std::cerr << (missing == link::kStatusOk     ? "No sensor was attached"
                          : missing == link::kStatusBusy ? "The QM8620 stayed busy"
                                                         : "The QM8620 did not come back")
                      << " within " << DurationText(options_.timeout->count()) << "; the logging run ends.\n";
            return Result::TimedOut;
        }
        gap.to = Now();
        waiting(gap);
        const auto untilLook = std::chrono::duration_cast<std::chrono::milliseconds>(nextLook - now);
        std::this_thread::sleep_for(
            std::clamp(untilLook, std::chrono::milliseconds(1), std::chrono::milliseconds(100)));
    }
}

void Reconnection::AfterTick() {
    logger::RunJournal* journal = model_.Journal();
    if (unjournalled_.empty() || model_.SampleCount() == 0 || !journal) return;
    for (const auto& gap : unjournalled_) journal->NoteGap(gap);
    unjournalled_.clear();
}

}  // namespace tessera::cli
