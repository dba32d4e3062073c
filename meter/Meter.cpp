#include "meter/Meter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace tessera::meter {

namespace {

std::string StatusReply(char c) { return std::string(1, c) + "\r\n"; }

std::string_view Trim(std::string_view s) {
    // A client may end a command with a line end or a terminating zero; the meter reads
    // the command's characters only.
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == '\0' || s.back() == ' '))
        s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

std::vector<std::string> SplitFields(std::string_view line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ',') out.emplace_back();
        else out.back().push_back(c);
    }
    return out;
}

bool InCodes(const std::string& field, char lo, char hi) {
    return field.size() == 1 && field[0] >= lo && field[0] <= hi;
}

bool IsNumber(const std::string& field) {
    if (field.empty()) return false;
    char* end = nullptr;
    std::strtod(field.c_str(), &end);
    return end && *end == '\0';
}

bool ParseInt(std::string_view s, int& out) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        std::size_t j = i;
        while (j < s.size() && s[j] != ' ') ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

// Brings the unit in line with the mode, as the meter does when it applies settings:
// the exposure modes measure in percent only, the flux density modes never in percent.
void Normalise(Settings& s) {
    if (s.mode > '2') s.unit = '3';
    else if (s.unit == '3') s.unit = '0';
}

}  // namespace

std::string FormatValue(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3E", v);
    return buf;
}

std::string FormatMeasurement(const Settings& s, int rangeIndex, const Field& v, char sensor) {
    std::string out;
    out += s.mode;
    out += ',';
    out += s.axis;
    out += ',';
    out += s.unit;
    out += ',' + std::to_string(rangeIndex) + ',';
    out += FormatValue(v.x) + ',' + FormatValue(v.y) + ',' + FormatValue(v.z) + ',';
    out += s.output;
    out += ',';
    out += sensor;
    out += ',';
    out += s.autoPowerOff;
    out += ',';
    out += s.beep;
    out += ',';
    out += s.spare;
    out += ',';
    out += s.slow;
    return out;
}

std::optional<std::string> CheckMemoryLine(std::string_view line) {
    const auto f = SplitFields(line);
    if (f.size() < 13) return "expected 13 comma-separated fields, found " + std::to_string(f.size());
    if (!InCodes(f[0], '0', '4')) return "mode must be 0..4";
    if (!InCodes(f[1], '0', '3')) return "axis must be 0..3";
    if (!InCodes(f[2], '0', '3')) return "unit must be 0..3";
    int range = 0;
    if (!ParseInt(f[3], range) || range > 255) return "range must be a number 0..255";
    for (int i = 4; i <= 6; ++i)
        if (!IsNumber(f[i])) return "field " + std::to_string(i) + " must be a number";
    if (!InCodes(f[7], '0', '2')) return "output must be 0..2";
    if (!InCodes(f[8], '0', '2')) return "sensor must be 0..2";
    for (int i = 9; i <= 12; ++i)
        if (f[i].size() != 1) return "field " + std::to_string(i) + " must be one character";
    return std::nullopt;
}

MemoryParse ParseMemory(std::string_view text) {
    MemoryParse out;
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        ++lineNo;
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') {
            if (end == text.size()) break;
            continue;
        }
        if (auto err = CheckMemoryLine(line)) {
            out.records.clear();
            out.error = "line " + std::to_string(lineNo) + ": " + *err;
            return out;
        }
        out.records.emplace_back(line);
        if (end == text.size()) break;
    }
    return out;
}

const std::vector<std::string>& DemoMemory() {
    // Every mode, unit and range, both sensors, slow on and off, auto and fixed ranges,
    // and one over-range record (record 7: x above the 2 uT range).
    // clang-format off
    static const std::vector<std::string> demo = {
        "0,3,0,10,1.234E-06,5.678E-07,9.100E-08,0,1,1,1,1,0",
        "0,3,0,11,1.523E-05,8.210E-06,3.300E-06,0,1,1,1,1,0",
        "0,3,0,12,1.204E-04,6.650E-05,2.010E-05,0,1,1,1,1,0",
        "0,3,0,13,1.502E-03,4.400E-04,1.210E-04,0,1,1,1,1,0",
        "0,0,0,0,1.880E-06,1.020E-06,4.400E-07,0,1,1,1,1,0",
        "0,1,0,1,3.210E-06,1.754E-05,2.200E-06,1,1,1,1,1,0",
        "0,2,0,0,2.340E-06,1.500E-06,1.100E-06,0,1,1,1,1,0",
        "1,3,0,11,4.560E-06,3.210E-06,1.110E-05,0,2,1,1,1,1",
        "2,3,0,10,2.100E-07,1.900E-07,3.000E-08,0,2,1,1,1,0",
        "0,3,1,10,1.234E-02,5.670E-03,9.100E-04,0,1,1,1,1,0",
        "0,3,1,11,1.520E-01,8.200E-02,3.300E-02,0,1,1,1,1,0",
        "0,3,1,12,1.204E+00,6.650E-01,2.010E-01,2,1,1,1,1,0",
        "1,0,1,13,1.502E+01,4.400E+00,1.210E+00,0,1,1,1,1,1",
        "0,3,2,10,9.820E-01,4.510E-01,7.200E-02,0,1,1,1,1,0",
        "0,3,2,11,1.212E+01,6.540E+00,2.630E+00,0,1,1,1,1,0",
        "2,1,2,12,5.430E+01,9.580E+01,1.230E+01,0,2,1,1,1,0",
        "0,3,2,3,1.195E+03,3.500E+02,9.600E+01,1,1,1,1,1,0",
        "3,3,3,11,1.234E+01,5.670E+00,9.100E-01,0,1,1,1,1,0",
        "3,3,3,12,1.520E+02,8.200E+01,3.300E+01,0,1,1,1,1,1",
        "3,2,3,3,1.204E+03,6.650E+02,2.010E+02,0,2,1,1,1,0",
        "4,3,3,11,2.210E+00,1.330E+00,4.400E-01,0,1,1,1,1,0",
        "4,3,3,12,1.820E+01,2.450E+01,3.060E+00,0,1,1,1,1,0",
        "4,0,3,1,1.500E+01,1.100E+01,2.200E+00,1,1,1,1,1,0",
        "0,3,0,13,8.800E-04,1.210E-03,6.400E-04,0,2,1,1,1,1",
        "1,3,1,10,1.010E-02,2.020E-03,3.030E-03,0,1,1,1,1,0",
    };
    // clang-format on
    return demo;
}

std::optional<std::string> ParseFault(std::string_view text, Fault& out) {
    const auto w = Words(text);
    if (w.empty()) return "fault kind missing";
    Fault f;
    std::size_t next = 1;
    auto takeCount = [&](int& into) {
        if (next < w.size()) {
            if (w[next] == "always") {
                into = -1;
                ++next;
                return;
            }
            int v = 0;
            if (ParseInt(w[next], v)) {
                into = v;
                ++next;
            }
        }
    };
    const std::string_view kind = w[0];
    if (kind == "busy") f.kind = FaultKind::Busy, f.status = '9';
    else if (kind == "repeat") f.kind = FaultKind::Repeat, f.status = '4';
    else if (kind == "silence") f.kind = FaultKind::Silence;
    else if (kind == "truncate") f.kind = FaultKind::Truncate;
    else if (kind == "overlong") f.kind = FaultKind::Overlong;
    else if (kind == "status") {
        f.kind = FaultKind::Status;
        if (w.size() < 2 || w[1].size() != 1) return "status needs one character";
        f.status = w[1][0];
        next = 2;
    } else if (kind == "delay") {
        f.kind = FaultKind::Delay;
        if (w.size() < 2 || !ParseInt(w[1], f.delayMs)) return "delay needs milliseconds";
        next = 2;
        f.remaining = -1;
    } else {
        return "unknown fault \"" + std::string(kind) + "\"";
    }
    takeCount(f.remaining);
    std::string match;
    for (; next < w.size(); ++next) {
        if (!match.empty()) match += ' ';
        match += w[next];
    }
    f.match = match;
    out = f;
    return std::nullopt;
}

std::optional<std::string> CounterReply(std::string_view packet, std::uint32_t& bytesSent) {
    if (packet.size() != 1 || (packet[0] != 0 && packet[0] != 1)) return std::nullopt;
    if (packet[0] == 1) bytesSent = 0;
    std::string count(4, '\0');
    for (int i = 0; i < 4; ++i) count[i] = static_cast<char>((bytesSent >> (24 - 8 * i)) & 0xff);
    return count;
}

Meter::Meter(std::uint32_t seed) : seed_(seed) {}

std::optional<Fault> Meter::TakeFault(std::string_view command, FaultKind kind) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->kind != kind || it->remaining == 0) continue;
        if (!it->match.empty() && command.substr(0, it->match.size()) != it->match) continue;
        Fault f = *it;
        if (it->remaining > 0 && --it->remaining == 0) faults_.erase(it);
        return f;
    }
    return std::nullopt;
}

void Meter::SetCommandLogSize(std::size_t entries) {
    logSize_ = entries;
    while (log_.size() > logSize_) log_.pop_front();
}

Response Meter::Handle(std::string_view packet) {
    if (logSize_ > 0) {
        if (log_.size() >= logSize_) log_.pop_front();
        log_.emplace_back(packet);
    }
    const std::string_view command = Trim(packet);
    Response r;
    if (unplugAfter_ == 0) {
        unplugAfter_ = -1;
        r.kind = Response::Kind::Unplug;
        return r;
    }
    if (unplugAfter_ > 0) --unplugAfter_;
    if (auto d = TakeFault(command, FaultKind::Delay)) r.delayMs = d->delayMs;
    if (TakeFault(command, FaultKind::Silence)) {
        r.kind = Response::Kind::Silence;
        return r;
    }
    for (FaultKind k : {FaultKind::Busy, FaultKind::Repeat, FaultKind::Status}) {
        if (auto f = TakeFault(command, k)) {
            r.bytes = StatusReply(f->status);
            return r;
        }
    }
    r.bytes = Answer(command);
    if (TakeFault(command, FaultKind::Truncate)) {
        // The first half, never exactly three bytes (which would read as a status reply).
        std::size_t keep = std::max<std::size_t>(1, r.bytes.size() / 2);
        if (keep == 3) keep = 4;
        r.bytes.resize(std::min(keep, r.bytes.size()));
    }
    if (TakeFault(command, FaultKind::Overlong)) {
        std::string body = r.bytes;
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
        body += ',';
        while (body.size() < 318) body += 'X';
        r.bytes = body + "\r\n";
    }
    return r;
}

std::string Meter::Measure() {
    ++step_;
    if (sensorRemovalIn_ == 0) {
        sensor_ = '0';
        sensorRemovalIn_ = -1;
    } else if (sensorRemovalIn_ > 0) {
        --sensorRemovalIn_;
    }
    Field tesla;
    if (sensor_ != '0') {
        if (fixed_) tesla = *fixed_;
        else tesla = current_.slow == '1' ? SlowFieldAt(seed_, step_) : FieldAt(seed_, step_);
    }
    const char unit = current_.unit;
    const Field v{InUnit(tesla.x, unit, current_.mode), InUnit(tesla.y, unit, current_.mode),
                  InUnit(tesla.z, unit, current_.mode)};
    const bool exposure = current_.mode > '2';
    const int rangeIndex = current_.range == 0 ? 10 + AutoRangeIndex(v, unit, exposure) : current_.range - 1;
    return FormatMeasurement(current_, rangeIndex, v, sensor_);
}

std::string Meter::Answer(std::string_view command) {
    if (command == "QPID") return "8620\r\n";
    if (command == "MEAS?") return Measure() + "\r\n";
    if (command == "MEM?") {
        // Longer than three bytes on purpose: a three-byte reply would be a status.
        char buf[16];
        std::snprintf(buf, sizeof buf, "%c,%02zu\r\n", current_.memMode, std::min<std::size_t>(memory_.size(), 99));
        return buf;
    }
    if (command == "MCLR") {
        memory_.clear();
        return StatusReply(kAck);
    }
    if (command == "INIT") {
        current_ = pending_ = FactorySettings();
        return StatusReply(kAck);
    }
    if (command == "SETUP") {
        Normalise(pending_);
        current_ = pending_;
        return StatusReply(kAck);
    }
    const auto w = Words(command);
    if (w.size() != 2) return StatusReply(kUnknownCommand);
    const std::string_view name = w[0];
    const std::string_view arg = w[1];
    if (name == "DATA?") {
        int n = 0;
        if (!ParseInt(arg, n)) return StatusReply(kBadParameter);
        if (n < 1 || static_cast<std::size_t>(n) > memory_.size()) return StatusReply(kNoEntry);
        return memory_[static_cast<std::size_t>(n) - 1] + "\r\n";
    }
    if (name == "RANGE") {
        int n = 0;
        if (!ParseInt(arg, n) || n > 4) return StatusReply(kBadParameter);
        pending_.range = n;
        return StatusReply(kAck);
    }
    struct CodeCommand {
        std::string_view name;
        char hi;
        char Settings::*field;
    };
    static const CodeCommand kCodes[] = {
        {"MODE", '4', &Settings::mode},     {"AXIS", '3', &Settings::axis},        {"UNIT", '3', &Settings::unit},
        {"OUTPUT", '2', &Settings::output}, {"APS", '1', &Settings::autoPowerOff}, {"BEEP", '1', &Settings::beep},
        {"SLOW", '1', &Settings::slow},     {"MEM", '1', &Settings::memMode},
    };
    for (const auto& c : kCodes) {
        if (name != c.name) continue;
        if (arg.size() != 1 || arg[0] < '0' || arg[0] > c.hi) return StatusReply(kBadParameter);
        pending_.*(c.field) = arg[0];
        return StatusReply(kAck);
    }
    if (name == "LOG" || name == "APP") {
        if (arg != "0" && arg != "1") return StatusReply(kBadParameter);
        (name == "LOG" ? logging_ : app_) = arg == "1";
        return StatusReply(kAck);
    }
    if (name == "FUNC") {
        if (arg != "0") return StatusReply(kBadParameter);
        return StatusReply(kAck);
    }
    return StatusReply(kUnknownCommand);
}

}  // namespace tessera::meter
