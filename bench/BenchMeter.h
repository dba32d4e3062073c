#pragma once
// The set-up every benchmark against the meter shares: the virtual meter in a private
// registry, optionally with records in its memory, and a session with it over the transport
// library. The session is closed before the meter stops.

#include <cstdio>
#include <string>
#include <utility>

#include "link/Link.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::bench {

// One memory record as the meter keeps it: flux density, x/y/z, in T.
inline constexpr const char* kMemoryRecord = "0,3,0,11,1.523E-05,8.210E-06,3.300E-06,0,1,1,1,1,0";

class BenchMeter {
public:
    explicit BenchMeter(std::string lockName = link::kExchangeLockName) : link_(std::move(lockName)) {}
    ~BenchMeter() {
        if (link_.SessionOpen()) link_.CloseSession();
    }
    BenchMeter(const BenchMeter&) = delete;
    BenchMeter& operator=(const BenchMeter&) = delete;

    // Starts the meter with `records` copies of kMemoryRecord in its memory and opens the
    // session; false, with the reason on stderr, when either fails.
    bool Start(int records = 0) {
        if (!meter_.Start()) {
            std::fprintf(stderr, "virtual meter: %s\n", meter_.LastError().c_str());
            return false;
        }
        for (int i = 0; i < records; ++i) meter_.AddRecord(kMemoryRecord);
        if (!link_.BindTransportPath(testing::VirtualMeter::BulklinkPath()) || !link_.OpenSession()) {
            std::fprintf(stderr, "cannot open a session with the virtual meter\n");
            return false;
        }
        return true;
    }

    link::Link& Link() { return link_; }
    testing::VirtualMeter& Meter() { return meter_; }

private:
    testing::VirtualMeter meter_;
    link::Link link_;
};

}  // namespace tessera::bench
