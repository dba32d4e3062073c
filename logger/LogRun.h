#pragma once
// The logging run: polls the meter on the schedule of its time base (catching up after a
// slow exchange), folds polls into samples by the sampling method, writes them into the
// sample store and the journal, and, for long surveys, hands each full store over and goes
// on. It tells the graph what each sample adds; the page model decides what a run's end
// means for the page.

#include <cstdint>
#include <functional>
#include <string>

#include "link/MeterPort.h"
#include "logger/GraphView.h"
#include "logger/LogData.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerTables.h"
#include "platform/Clock.h"

namespace tessera::logger {

inline constexpr int kSampleLimit = 31999;  // the run stops when this many samples are complete

class LogRun {
public:
    LogRun(link::MeterPort& meter, platform::Clock& clock, LogData& data, GraphView& view);

    // Why a tick ended the run (the run itself is over only once End() was called).
    enum class Outcome { GoingOn, ConnectionLost, SensorRemoved, LimitReached, NotHandedOver };

    // The meter logs (already told) on `slow`'s schedule for `periodIndex`, folding by `method`.
    void Begin(char slow, int periodIndex, int method);
    // `nowMs` is the millisecond counter, which wraps every 49.7 days; a run may last longer
    // (1 h/div fills the store in 66.6 days), so the run sums the differences between ticks.
    Outcome Tick(std::uint32_t nowMs);
    // How long the caller may sleep before the next poll is due (0: tick now).
    std::uint32_t MillisUntilNextPoll(std::uint32_t nowMs) const;
    // Logging off, the journal onto the disk, an unfinished average or maximum dropped and
    // the empty slots at the end trimmed (data.sampleCount is then the last slot holding one).
    void End();

    bool Running() const { return running_; }
    // A mark at the sample being taken now, set with the clock's time and journalled.
    void Mark(const std::string& text);
    const Schedule& CurrentSchedule() const { return schedule_; }
    std::uint64_t PollCount() const { return pollCount_; }
    // A recovered run is shown as stopped: its schedule stays, no poll follows.
    void Recovered(const Schedule& schedule);

    // Long surveys: with a handler, a full store does not end the run. The handler keeps
    // slots 0..lastSlot under `header` and answers true; the run then goes on into an
    // empty store with the same schedule. False stops the run (the handler said why).
    using StoreFullHandler = std::function<bool(const LogHeader& header, int lastSlot)>;
    void SetStoreFullHandler(StoreFullHandler handler) { storeFull_ = std::move(handler); }

    // The header a logger file of the run carries: the range code carries the scale the
    // graph reached (auto ranges keep their mark).
    LogHeader Header() const;

private:
    void RecordInJournal(int slot);
    bool HandOverFullStore();
    void BeginNextPart();
    // The data's start time (and the clock's offset from UTC) is now.
    void StartClock();
    // Milliseconds since the first tick, as of the counter reading `nowMs`.
    std::uint64_t ElapsedAt(std::uint32_t nowMs) const;

    link::MeterPort& meter_;
    platform::Clock& clock_;
    LogData& data_;
    GraphView& view_;
    StoreFullHandler storeFull_;

    bool running_ = false;
    bool started_ = false;         // the first tick came
    std::uint32_t lastTick_ = 0;   // the counter at the latest tick
    std::uint64_t elapsedMs_ = 0;  // from the first tick to the latest
    std::uint64_t pollCount_ = 0;
    Schedule schedule_{};
    int method_ = kFixedInterval;
    int halfPollCounter_ = 0;
    int foldCount_ = 0;  // polls folded into the unfinished average/maximum sample
    settings::MeterSettings lastReading_{};
    bool continuing_ = false;  // a survey goes on after handing over a full store
};

// "LOG 1" / "LOG 0", repeated while the meter is busy; the answer is not examined.
void SetLogging(link::MeterPort& meter, bool on);

}  // namespace tessera::logger
