#include "cli/ExitCodes.h"

namespace tessera::cli {

const char* ExitMeaning(int status) {
    switch (status) {
        case kOk: return "success";
        case kFailed: return "the meter or a file reported a failure, or lines of a file were skipped";
        case kUsageError: return "wrong usage";
        case kNoLibrary: return "the transport library is missing";
        case kNoMeter: return "no meter: the connection failed or was lost";
        case kWrongModel: return "the instrument is not a QM8620";
        case kBusy: return "the meter is busy";
        case kNoSensor: return "no sensor attached, or the sensor was removed";
        default: return "";
    }
}

int ExitFor(link::Status status) {
    switch (status) {
        case link::kStatusOk: return kOk;
        case link::kStatusNoDevice: return kNoMeter;
        case link::kStatusWrongModel: return kWrongModel;
        case link::kStatusBusy: return kBusy;
        default: return kFailed;
    }
}

}  // namespace tessera::cli
