#include "logger/LogRun.h"

#include <algorithm>
#include <cmath>

#include "logger/Journal.h"

namespace tessera::logger {

namespace {

auto& Store() { return link::LogSampleStore; }

}  // namespace

void SetLogging(link::MeterPort& meter, bool on) {
    meter.Command(on ? "LOG 1" : "LOG 0", link::MeterPort::Repeat::WhileBusy);
}

LogRun::LogRun(link::MeterPort& meter, platform::Clock& clock, LogData& data, GraphView& view)
    : meter_(meter), clock_(clock), data_(data), view_(view) {}

void LogRun::Begin(char slow, int periodIndex, int method) {
    schedule_ = MakeSchedule(slow, periodIndex);
    method_ = method;
    halfPollCounter_ = foldCount_ = 0;
    continuing_ = false;
    running_ = true;
    started_ = false;
    lastTick_ = 0;
    elapsedMs_ = 0;
    pollCount_ = 0;
}

void LogRun::Recovered(const Schedule& schedule) {
    schedule_ = schedule;
    continuing_ = false;
    foldCount_ = halfPollCounter_ = 0;
}

std::uint64_t LogRun::ElapsedAt(std::uint32_t nowMs) const {
    // The unsigned difference is right across the counter's wrap; the ticks come far more
    // often than once in 49.7 days.
    return elapsedMs_ + static_cast<std::uint32_t>(nowMs - lastTick_);
}

std::uint32_t LogRun::MillisUntilNextPoll(std::uint32_t nowMs) const {
    if (!running_) return 1000;
    if (!started_) return 0;
    const std::uint64_t dueAt = pollCount_ * static_cast<std::uint64_t>(schedule_.pollPeriodMs);
    const std::uint64_t now = ElapsedAt(nowMs);
    return dueAt > now ? static_cast<std::uint32_t>(std::min<std::uint64_t>(dueAt - now, UINT32_MAX)) : 0;
}

LogRun::Outcome LogRun::Tick(std::uint32_t nowMs) {
    if (!running_) return Outcome::GoingOn;
    if (!started_) {
        started_ = true;
        lastTick_ = nowMs;
    }
    elapsedMs_ = ElapsedAt(nowMs);
    lastTick_ = nowMs;
    const std::uint64_t due = elapsedMs_ / static_cast<std::uint64_t>(schedule_.pollPeriodMs);
    if (pollCount_ > due) return Outcome::GoingOn;

    settings::MeterSettings reading;
    if (pollCount_ != due && pollCount_ != 0) {
        reading = lastReading_;  // behind schedule: this slot repeats the latest reading
    } else {
        const link::Status status = meter_.Identify(reading);
        lastReading_ = reading;
        if (status != link::kStatusOk) return Outcome::ConnectionLost;
    }
    ++pollCount_;
    if (pollCount_ == 1) StartClock();

    if (reading.sensor == '0') return Outcome::SensorRemoved;

    const double x = reading.value1, y = reading.value2, z = reading.value3;
    if (x < 1e-10 && y < 1e-10 && z < 1e-10) return Outcome::GoingOn;
    const double R = Resultant(x, y, z);
    auto& store = Store();
    int& count = data_.sampleCount;

    if (count == 0 && !continuing_) {
        store[0] = {0, x, y, z, R};
        view_.FollowRange(reading.range);
        RecordInJournal(0);
        view_.FirstSample();
        count = 1;
        view_.RefreshReadout();
        return Outcome::GoingOn;
    }

    view_.FollowRange(reading.range);
    halfPollCounter_ += 2;
    const int perSample = schedule_.halfPollsPerSample;
    bool complete = false;
    if (perSample <= 1) {
        complete = true;
        halfPollCounter_ = 0;
    } else if (halfPollCounter_ == perSample) {
        complete = true;
        halfPollCounter_ = 0;
    } else if (halfPollCounter_ - perSample == 1) {
        complete = true;
        halfPollCounter_ = 1;
    }

    link::LogSample& slot = store[count];
    if (method_ == kFixedInterval) {
        if (complete) slot = {count, x, y, z, R};
    } else {
        const int n = ++foldCount_;
        if (method_ == kAverage) {
            auto fold = [n](double old, double now) {
                return RoundFour(std::sqrt((old * old * (n - 1) + now * now) / n), true);
            };
            slot.R = fold(slot.R, R);
            slot.x = fold(slot.x, x);
            slot.y = fold(slot.y, y);
            slot.z = fold(slot.z, z);
        } else {
            slot.R = std::max(slot.R, R);
            slot.x = std::max(slot.x, x);
            slot.y = std::max(slot.y, y);
            slot.z = std::max(slot.z, z);
        }
        if (complete) {
            slot.index = count;
            foldCount_ = 0;
        }
    }
    if (complete) {
        if (continuing_ && count == 0) BeginNextPart();
        else view_.SampleCompleted(count);
        RecordInJournal(count);
        ++count;
    }
    view_.RefreshReadout();

    if (storeFull_) {
        if (count >= link::kLogSlots && !HandOverFullStore()) return Outcome::NotHandedOver;
    } else if (count >= kSampleLimit) {
        return Outcome::LimitReached;
    }
    return Outcome::GoingOn;
}

void LogRun::End() {
    running_ = false;
    SetLogging(meter_, false);
    if (data_.journal) data_.journal->Sync();

    // An average or maximum whose period had begun but not ended is no sample. A period
    // that has just completed leaves its successor's slot empty, and the trim below takes
    // that empty slot away, so the completed sample stays.
    auto& store = Store();
    int& count = data_.sampleCount;
    if (method_ != kFixedInterval && foldCount_ > 0) store[count] = {};
    foldCount_ = 0;
    while (count > 0 && store[count].R < 1e-9) {
        store[count] = {};
        --count;
    }
}

LogHeader LogRun::Header() const {
    LogHeader header{data_.snapshot, data_.start, data_.periodIndex, data_.method};
    header.record.range =
        static_cast<std::uint8_t>((data_.snapshot.range >= 10 ? 10 : 0) + view_.GraphScale().scaleIndex);
    return header;
}

void LogRun::RecordInJournal(int slot) {
    if (!data_.journal) return;
    const JournalSample sample{Store()[slot], view_.GraphScale().scaleIndex};
    if (slot == 0) {
        data_.journal->Begin(
            {data_.snapshot, data_.start, data_.periodIndex, data_.method, data_.marks.utcOffsetMinutes}, sample);
    } else data_.journal->Append(sample);
}

bool LogRun::HandOverFullStore() {
    if (!storeFull_(Header(), data_.sampleCount - 1)) {
        --data_.sampleCount;  // the run's end looks at the slot after the last sample; the store has none
        return false;
    }
    if (data_.journal) data_.journal->Discard();  // those samples are kept now
    data_.marks.marks.clear();                    // and so are their marks
    link::ClearStores(link::kClearLogStore);
    data_.sampleCount = 0;
    view_.ClearDivisions();
    continuing_ = true;
    return true;
}

void LogRun::BeginNextPart() {
    // Slot 0 of a new part starts its divisions as a run's first sample does, and its time
    // is the start time of the part.
    StartClock();
    view_.FirstSample();
}

void LogRun::StartClock() {
    data_.start = StartTime::From(clock_.Now());
    data_.marks.utcOffsetMinutes = clock_.UtcOffsetMinutes();
}

void LogRun::Mark(const std::string& text) {
    RunMark mark{data_.sampleCount, {clock_.Now(), clock_.UtcOffsetMinutes()}, MarkText(text)};
    data_.marks.marks.push_back(mark);
    if (data_.journal) data_.journal->NoteMark(mark);
}

}  // namespace tessera::logger
