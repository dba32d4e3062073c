#pragma once
// The virtual QM8620's brain, free of sockets: its settings (with the pending set that
// "SETUP" applies), its memory of stored measurements, the sensor, the live field, the
// byte counter, the faults a test asked for and the log of every command received.
// The server (Server.h) feeds it one command per packet and sends what it answers.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "meter/FieldModel.h"

namespace tessera::meter {

// The meter's own settings; range 0 is AUTO, 1..4 the fixed ranges from the lowest up
// (the number "RANGE %d" carries).
struct Settings {
    char mode = '0';
    char axis = '3';
    char unit = '0';
    int range = 0;
    char output = '0';
    char autoPowerOff = '1';
    char beep = '1';
    char spare = '1';
    char slow = '0';
    char memMode = '0';
    bool operator==(const Settings&) const = default;
};

// Factory state, restored by "INIT".
inline Settings FactorySettings() { return Settings{}; }

// Status characters of the meter's three-byte status replies.
inline constexpr char kAck = '0';
inline constexpr char kUnknownCommand = '1';
inline constexpr char kBadParameter = '2';
inline constexpr char kNoEntry = '3';

// A value in the meter's reply notation: "1.234E-06".
std::string FormatValue(double v);

// The 13 comma-separated fields of a measurement (without the line end).
std::string FormatMeasurement(const Settings& s, int rangeIndex, const Field& valuesInUnit, char sensor);

// Checks a stored-measurement line: at least 13 comma-separated fields with codes in
// range; answers an explanation when it is not acceptable.
std::optional<std::string> CheckMemoryLine(std::string_view line);
// Parses a memory file's text: one measurement per line, blank lines and lines starting
// with '#' skipped. Answers the lines, or an error naming the first bad line.
struct MemoryParse {
    std::vector<std::string> records;
    std::string error;  // empty on success
};
MemoryParse ParseMemory(std::string_view text);
// The demo memory shipped for `make run` (data/demo-memory.txt holds the same lines).
const std::vector<std::string>& DemoMemory();

enum class FaultKind { Busy, Repeat, Status, Silence, Truncate, Overlong, Delay };

// How many of the latest commands the log keeps unless told otherwise: plenty for any
// scripted scenario, and a meter that serves a logging run for days stays the same size.
inline constexpr std::size_t kDefaultCommandLogSize = 10000;

struct Fault {
    FaultKind kind = FaultKind::Busy;
    int remaining = 1;  // commands it still affects; negative: every one
    std::string match;  // command prefix it applies to; empty: any command
    char status = '9';  // Status: the character answered
    int delayMs = 0;    // Delay: how long the reply waits
};

// Parses "busy 5 [PREFIX]", "status 2 [N] [PREFIX]", "delay 300 [N] [PREFIX]", ... (the
// words after "fault" on the control socket). Answers an error text on failure.
std::optional<std::string> ParseFault(std::string_view words, Fault& out);

// The byte counter behind pipes 3 and 4: one command byte (1 resets the count of bytes sent
// on the reply pipe, 0 asks for it) is answered with that count, four bytes, most significant
// first. Any other packet is not a counter command and gets no answer.
std::optional<std::string> CounterReply(std::string_view packet, std::uint32_t& bytesSent);

// What the server does with one command.
struct Response {
    enum class Kind { Reply, Silence, Unplug } kind = Kind::Reply;
    std::string bytes;  // Reply: the whole reply, sent in packets then a zero-length packet
    int delayMs = 0;    // the reply waits this long
};

class Meter {
public:
    explicit Meter(std::uint32_t seed = 1);

    // One command as it arrived in one packet.
    Response Handle(std::string_view packet);

    // --- state a test or the control socket sets ---
    void SetSettings(const Settings& s) { current_ = pending_ = s; }
    const Settings& Current() const { return current_; }
    const Settings& Pending() const { return pending_; }
    void SetSensor(char sensor) { sensor_ = sensor; }
    char Sensor() const { return sensor_; }
    // The sensor is pulled out after this many further "MEAS?" replies (0 = now).
    void RemoveSensorAfter(int measurements) { sensorRemovalIn_ = measurements; }
    void SetMemory(std::vector<std::string> lines) { memory_ = std::move(lines); }
    const std::vector<std::string>& Memory() const { return memory_; }
    // A fixed field (in tesla) instead of the live model; nullopt returns to the model.
    void SetFixedField(std::optional<Field> f) { fixed_ = f; }
    void SetSeed(std::uint32_t seed) {
        seed_ = seed;
        step_ = 0;
    }
    std::uint64_t Step() const { return step_; }
    bool Logging() const { return logging_; }

    void AddFault(const Fault& f) { faults_.push_back(f); }
    void ClearFaults() {
        faults_.clear();
        unplugAfter_ = -1;
    }
    // Answer this many more commands, then unplug when the next one arrives.
    void UnplugAfter(int commands) { unplugAfter_ = commands; }

    // The latest commands received, oldest first: a ring of CommandLogSize() entries.
    std::vector<std::string> CommandLog() const { return {log_.begin(), log_.end()}; }
    void ClearCommandLog() { log_.clear(); }
    void SetCommandLogSize(std::size_t entries);
    std::size_t CommandLogSize() const { return logSize_; }

    // The measurement "MEAS?" answers now (advances the field model by one poll).
    std::string Measure();

private:
    std::string Answer(std::string_view command);
    std::optional<Fault> TakeFault(std::string_view command, FaultKind kind);

    std::uint32_t seed_;
    std::uint64_t step_ = 0;
    Settings current_{};
    Settings pending_{};
    char sensor_ = '1';
    int sensorRemovalIn_ = -1;
    std::vector<std::string> memory_;
    std::optional<Field> fixed_;
    bool logging_ = false;
    bool app_ = false;
    std::vector<Fault> faults_;
    int unplugAfter_ = -1;
    std::deque<std::string> log_;
    std::size_t logSize_ = kDefaultCommandLogSize;
};

}  // namespace tessera::meter
