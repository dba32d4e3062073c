#pragma once
// Unattended logging ("log --reconnect"): a lost meter, a removed sensor or a meter that
// stays busy does not end a long survey. The samples so far are kept as the survey's next
// part (logger/Survey.h), the meter is looked for every few seconds until it answers with a
// sensor attached (or until the time allowed is over, or the run is asked to stop), and the
// run goes on in the part after it, with that part's own start time. The time without samples
// (from, to, why) is said on standard error, and written into the journal of the part after
// it once that part has its first sample, so a crash keeps it with the samples it precedes.
//
// The window's logger page does none of this: there a lost connection stops the run.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/MeterSession.h"
#include "link/Link.h"
#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "logger/Survey.h"
#include "platform/Clock.h"

namespace tessera::cli {

// How long the run waits between two looks for the meter: TESSERA_RECONNECT_INTERVAL_MS
// (milliseconds, at least 10), or 5 s.
std::chrono::milliseconds ReconnectInterval();

// "90 s", "10 min", "2 h": a time in seconds as the messages say it.
std::string DurationText(long long seconds);

class Reconnection {
public:
    struct Options {
        std::optional<std::chrono::seconds> timeout;  // per loss; none: as long as it takes
        std::chrono::milliseconds interval{5000};
    };

    // `meter` watches `link` (the pages' port to it); the model runs the survey's parts.
    Reconnection(link::Link& link, WatchedMeter& meter, logger::LoggerModel& model, logger::SurveyFiles& survey,
                 platform::Clock& clock, Options options);

    // The loss that ended the model's last run, when it is one the survey outlives.
    std::optional<logger::GapCause> Loss() const;

    enum class Result {
        Resumed,   // the meter is back and the run goes on in the next part
        Stopped,   // `stop` said so while waiting
        TimedOut,  // the meter was not back within the time allowed
        NotKept,   // the samples could not be kept as a part (the survey said why)
    };
    // Keeps the stopped run's samples, waits for the meter and starts the run again. `stop`
    // is asked between looks; `waiting` is told the gap so far (its `to` is now).
    Result Outlive(logger::GapCause cause, const std::function<bool()>& stop,
                   const std::function<void(const logger::JournalGap&)>& waiting);

    // Called after every tick: gaps go into the journal once the part after them has its
    // first sample (the journal begins with it).
    void AfterTick();

    // The times the run went on after a loss.
    int Count() const { return count_; }

private:
    bool MeterBack();
    logger::StartTime Now() { return logger::StartTime::From(clock_.Now()); }

    link::Link& link_;
    WatchedMeter& meter_;
    logger::LoggerModel& model_;
    logger::SurveyFiles& survey_;
    platform::Clock& clock_;
    Options options_;
    int count_ = 0;
    std::vector<logger::JournalGap> unjournalled_;
};

}  // namespace tessera::cli
