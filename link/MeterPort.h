#pragma once
// What a page needs of the meter, and all it may use of it. The instrument link implements
// it (link::Link); a page model's tests put an in-process fake in its place where the
// behaviour under test is the page's own, and the real link with the virtual meter where it
// is what goes over the wire.

#include <string_view>

#include "link/Status.h"
#include "settings/MeterSettings.h"

namespace tessera::link {

class MeterPort {
public:
    virtual ~MeterPort() = default;

    // Identifies the meter and refills the current settings ("QPID", "MEAS?", "MEM?").
    virtual Status RefreshSettings() = 0;
    // The meter's settings last read; all zero while no meter is known.
    virtual const settings::MeterSettings& CurrentSettings() const = 0;
    // One identification and reading into a record of the caller's.
    virtual Status Identify(settings::MeterSettings& reading) = 0;
    // Stored measurement `index` (0-based) into `record`.
    virtual Status ReadMemoryEntry(settings::MeterSettings& record, unsigned index) = 0;

    enum class Repeat { Never, WhileBusy };
    // A command answered by a status alone ("MCLR", "INIT", "SETUP", "LOG 1", ...), sent once
    // or repeated at once while the meter or the exchange lock is busy.
    virtual Status Command(std::string_view command, Repeat repeat) = 0;

    // A logging run holds the meter (the process-wide `loggerRunning`): the other pages'
    // meter buttons refuse while it does. The logger page is its one writer.
    virtual bool HeldByLogger() const = 0;
    virtual void SetHeldByLogger(bool held) = 0;
};

// A meter that is not there: every request fails as with the meter unplugged, and nothing is
// known of it. For the model of a page that works on files only (printing a saved file).
class AbsentMeter final : public MeterPort {
public:
    Status RefreshSettings() override { return kStatusNoDevice; }
    const settings::MeterSettings& CurrentSettings() const override { return none_; }
    Status Identify(settings::MeterSettings&) override { return kStatusNoDevice; }
    Status ReadMemoryEntry(settings::MeterSettings&, unsigned) override { return kStatusNoDevice; }
    Status Command(std::string_view, Repeat) override { return kStatusNoDevice; }
    bool HeldByLogger() const override { return false; }
    void SetHeldByLogger(bool) override {}

private:
    settings::MeterSettings none_{};
};

}  // namespace tessera::link
