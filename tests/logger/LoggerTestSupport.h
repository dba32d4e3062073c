#pragma once
// Shared pieces of the logger tests: the temporary directory and file helpers of all tests,
// a meter that answers from a script, and a model fixture over it.

#include <deque>
#include <string>
#include <vector>

#include "logger/LoggerModel.h"
#include "tests/support/TempDir.h"

namespace tessera::logger::test {

using tessera::testing::ReadAll;
using tessera::testing::TempDir;
using tessera::testing::WriteAll;

// A meter record as the link decodes it: flux density 10 Hz-400 kHz, x, T, range index.
inline settings::MeterSettings MeterRecord(char slow = '0', std::uint8_t range = 0, char unit = '0') {
    settings::MeterSettings s;
    s.mode = '0';
    s.axis = '3';
    s.unit = unit;
    s.range = range;
    s.output = '0';
    s.sensor = '1';
    s.autoPowerOff = '0';
    s.beep = '0';
    s.spare = '0';
    s.slow = slow;
    s.memMode = '0';
    return s;
}

// Answers Identify with the next scripted reading (the last one repeats).
class ScriptedMeter final : public MeterPort {
public:
    settings::MeterSettings current = MeterRecord();
    link::Status refreshStatus = link::kStatusOk;
    std::deque<settings::MeterSettings> readings;
    std::deque<link::Status> identifyStatus;  // empty: OK
    std::vector<bool> logging;                // every SetLogging call
    int identifyCalls = 0;

    link::Status RefreshSettings() override { return refreshStatus; }
    const settings::MeterSettings& CurrentSettings() const override { return current; }
    link::Status Identify(settings::MeterSettings& reading) override {
        ++identifyCalls;
        if (!identifyStatus.empty()) {
            const auto status = identifyStatus.front();
            identifyStatus.pop_front();
            if (status != link::kStatusOk) {
                reading = {};
                return status;
            }
        }
        reading = readings.empty() ? current : readings.front();
        if (readings.size() > 1) readings.pop_front();
        return link::kStatusOk;
    }
    void SetLogging(bool on) override { logging.push_back(on); }

    // The next reading: x, y, z on the current settings.
    void Queue(double x, double y, double z) {
        auto r = current;
        r.value1 = x;
        r.value2 = y;
        r.value3 = z;
        readings.push_back(r);
    }
};

}  // namespace tessera::logger::test
