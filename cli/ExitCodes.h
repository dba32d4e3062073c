#pragma once
// The exit statuses of tessera-cli: one per kind of event, whichever command meets it.
// "tessera-cli help" lists them all, each command's help those it may end with.

#include <vector>

#include "link/Status.h"

namespace tessera::cli {

enum Exit {
    kOk = 0,
    kFailed = 1,      // the meter or a file reported a failure, or lines of a file were skipped
    kUsageError = 2,  // wrong usage
    kNoLibrary = 3,   // the transport library is missing
    kNoMeter = 4,     // no meter: the connection failed or was lost (a damaged reply too)
    kWrongModel = 5,  // the instrument is not a QM8620
    kBusy = 6,        // the meter is busy
    kNoSensor = 7,    // the meter answers, but no sensor is attached (or it was removed)
};

// What a status means, in the words of the help.
const char* ExitMeaning(int status);

// The exit status of what the link answered; a failure without a status of its own
// (a status the table does not name) is kFailed.
int ExitFor(link::Status status);

// The statuses the kinds of command may end with (their help lists them).
inline const std::vector<int> kFileExits = {kOk, kFailed, kUsageError};
inline const std::vector<int> kMeterExits = {kOk, kFailed, kUsageError, kNoLibrary, kNoMeter, kWrongModel, kBusy};
inline const std::vector<int> kLoggingExits = {kOk,      kFailed,     kUsageError, kNoLibrary,
                                               kNoMeter, kWrongModel, kBusy,       kNoSensor};

}  // namespace tessera::cli
