#include "tests/support/FakeMeterPort.h"

namespace tessera::testing {

settings::MeterSettings MeterRecord(char slow, std::uint8_t range, char unit) {
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

void FakeMeterPort::Disconnect() {
    current = {};
    refreshStatus = link::kStatusNoDevice;
}

void FakeMeterPort::Queue(double x, double y, double z) {
    auto r = current;
    r.value1 = x;
    r.value2 = y;
    r.value3 = z;
    readings.push_back(r);
}

link::Status FakeMeterPort::RefreshSettings() {
    ++refreshCalls;
    return refreshStatus;
}

link::Status FakeMeterPort::Identify(settings::MeterSettings& reading) {
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

link::Status FakeMeterPort::ReadMemoryEntry(settings::MeterSettings& record, unsigned index) {
    ++memoryReads;
    if (!memoryStatus.empty()) {
        const auto status = memoryStatus.front();
        memoryStatus.pop_front();
        if (status != link::kStatusOk) return status;
    }
    if (index >= memory.size()) return link::kStatusNoEntry;
    record = memory[index];
    return link::kStatusOk;
}

link::Status FakeMeterPort::Command(std::string_view command, Repeat) {
    commands.emplace_back(command);
    if (commandStatus.empty()) return link::kStatusOk;
    const auto status = commandStatus.front();
    commandStatus.pop_front();
    return status;
}

std::vector<bool> FakeMeterPort::Logging() const {
    std::vector<bool> out;
    for (const auto& c : commands) {
        if (c == "LOG 1") out.push_back(true);
        else if (c == "LOG 0") out.push_back(false);
    }
    return out;
}

}  // namespace tessera::testing
