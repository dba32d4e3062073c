#pragma once
// A meter in the test process for page-model tests whose subject is the page's behaviour:
// it answers from what the test put in it and records what the page asked of it. (What goes
// over the wire is tested against the virtual meter through the real link.)

#include <deque>
#include <string>
#include <vector>

#include "link/MeterPort.h"

namespace tessera::testing {

// A meter record as the link decodes it: flux density 10 Hz-400 kHz, axis R, sensor 8621,
// the given unit, range index and slow response.
settings::MeterSettings MeterRecord(char slow = '0', std::uint8_t range = 0, char unit = '0');

class FakeMeterPort final : public link::MeterPort {
public:
    // The meter's settings as the page sees them, and what a refresh answers.
    settings::MeterSettings current = MeterRecord();
    link::Status refreshStatus = link::kStatusOk;
    // Identify answers the next reading (the last one repeats; none: the current settings).
    std::deque<settings::MeterSettings> readings;
    std::deque<link::Status> identifyStatus;  // empty: OK
    // The stored measurements; past the last one the meter answers "no such entry".
    std::vector<settings::MeterSettings> memory;
    std::deque<link::Status> memoryStatus;  // for the next reads; empty: OK
    // Answers of Command, in order (empty: OK).
    std::deque<link::Status> commandStatus;

    // What the page asked.
    std::vector<std::string> commands;
    int refreshCalls = 0, identifyCalls = 0, memoryReads = 0;
    bool heldByLogger = false;

    // No meter: nothing known, every refresh fails.
    void Disconnect();
    // The next reading: x, y, z on the current settings.
    void Queue(double x, double y, double z);
    // Every "LOG 1" (true) and "LOG 0" (false) the page sent, in order.
    std::vector<bool> Logging() const;

    link::Status RefreshSettings() override;
    const settings::MeterSettings& CurrentSettings() const override { return current; }
    link::Status Identify(settings::MeterSettings& reading) override;
    link::Status ReadMemoryEntry(settings::MeterSettings& record, unsigned index) override;
    link::Status Command(std::string_view command, Repeat repeat) override;
    bool HeldByLogger() const override { return heldByLogger; }
    void SetHeldByLogger(bool held) override { heldByLogger = held; }
};

}  // namespace tessera::testing
