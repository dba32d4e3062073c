#pragma once
// Reaching the meter as the program does at start-up (bind the transport library, open the
// session) and turning what went wrong into one line on stderr and an exit code.

#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "link/Link.h"
#include "transport/Transport.h"

namespace tessera::cli {

inline constexpr const char* kNoTransport = link::kMsgNoTransport;
inline constexpr const char* kConnectionFailed = link::kMsgConnectionFailed;

// How a meter that does not answer is reported: the program's message alone (page commands),
// or with the status code and its name (the commands for scripts and support).
enum class NoMeterText { Message, MessageAndStatus };

// Binds the transport library and opens the session unless the link has done so; kOk, or
// the failure reported on stderr and its exit code (kNoLibrary, kNoMeter). A meter chosen by
// its serial number that is not there is named.
int OpenMeter(link::Link& link, NoMeterText text = NoMeterText::Message);

// The meters present, as the transport's search sees them (whichever is chosen).
std::vector<transport::Transport::PresentMeter> PresentMeters();
bool MeterPresent(const std::string& serial);

// "0x80000003".
std::string StatusHex(link::Status s);
// "no device", "busy", "meter answered 'E'", ...
std::string StatusName(link::Status s);

// One line on stderr naming the status, and the exit code that goes with it.
int ReportStatus(link::Status s);

// After a page's own message about a failed exchange: a lost meter is what the page said
// already; any other status is named on a line of its own. Answers the exit code.
int AfterPageMessage(link::Status s);

// The meter as the pages reach it, remembering what went wrong last: the pages turn every
// failure into their own message, and the command still ends with the exit status of what
// really happened (a lost meter, a busy one, a removed sensor).
class WatchedMeter final : public link::MeterPort {
public:
    explicit WatchedMeter(link::MeterPort& meter) : meter_(meter) {}

    link::Status RefreshSettings() override { return Note(meter_.RefreshSettings(), meter_.CurrentSettings()); }
    const settings::MeterSettings& CurrentSettings() const override { return meter_.CurrentSettings(); }
    link::Status Identify(settings::MeterSettings& reading) override { return Note(meter_.Identify(reading), reading); }
    link::Status ReadMemoryEntry(settings::MeterSettings& record, unsigned index) override {
        return Note(meter_.ReadMemoryEntry(record, index));
    }
    link::Status Command(std::string_view command, Repeat repeat) override {
        return Note(meter_.Command(command, repeat));
    }
    bool HeldByLogger() const override { return meter_.HeldByLogger(); }
    void SetHeldByLogger(bool held) override { meter_.SetHeldByLogger(held); }

    // The first failing status since the last success of an identification (kStatusOk: none).
    link::Status Failure() const { return failure_; }
    // The last reading the meter gave said that no sensor is attached.
    bool SensorMissing() const { return sensorMissing_; }

private:
    link::Status Note(link::Status s) {
        if (s != link::kStatusOk && failure_ == link::kStatusOk) failure_ = s;
        return s;
    }
    link::Status Note(link::Status s, const settings::MeterSettings& reading) {
        if (s == link::kStatusOk) {
            failure_ = link::kStatusOk;
            sensorMissing_ = reading.sensor == '0';
        }
        return Note(s);
    }

    link::MeterPort& meter_;
    link::Status failure_ = link::kStatusOk;
    bool sensorMissing_ = false;
};

}  // namespace tessera::cli
