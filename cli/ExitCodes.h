#pragma once
// The exit codes every tessera-cli command shares (listed by "tessera-cli help").

#include <vector>

namespace tessera::cli {

enum Exit {
    kOk = 0,
    kFailed = 1,      // the meter or a file reported a failure
    kUsageError = 2,  // wrong usage
    kNoLibrary = 3,   // the transport library is missing
    kNoMeter = 4,     // no meter: the connection failed or was lost
    kWrongModel = 5,  // the instrument is not a QM8620
    kBusy = 6,        // the meter is busy
    kNoSensor = 7,    // the meter answers, but no sensor is attached
};

// The statuses the kinds of command may end with (their help lists them).
inline const std::vector<int> kFileExits = {kOk, kFailed, kUsageError};
inline const std::vector<int> kMeterExits = {kOk, kFailed, kUsageError, kNoLibrary, kNoMeter, kWrongModel, kBusy};
inline const std::vector<int> kLoggingExits = {kOk,      kFailed,     kUsageError, kNoLibrary,
                                               kNoMeter, kWrongModel, kBusy,       kNoSensor};

}  // namespace tessera::cli
