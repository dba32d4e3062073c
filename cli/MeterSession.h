#pragma once
// Reaching the meter as the program does at start-up (bind the transport library, open the
// session) and turning what went wrong into one line on stderr and an exit code.

#include <string>

#include "cli/ExitCodes.h"
#include "link/Link.h"

namespace tessera::cli {

inline constexpr const char* kNoTransport = link::kMsgNoTransport;
inline constexpr const char* kConnectionFailed = link::kMsgConnectionFailed;

// How a meter that does not answer is reported: the program's message alone (page commands),
// or with the status code and its name (the commands for scripts and support).
enum class NoMeterText { Message, MessageAndStatus };

// Binds the transport library and opens the session unless the link has done so; kOk, or
// the failure reported on stderr and its exit code (kNoLibrary, kNoMeter).
int OpenMeter(link::Link& link, NoMeterText text = NoMeterText::Message);

// "0x80000003".
std::string StatusHex(link::Status s);
// "no device", "busy", "meter answered 'E'", ...
std::string StatusName(link::Status s);

// One line on stderr naming the status, and the exit code that goes with it.
int ReportStatus(link::Status s);

}  // namespace tessera::cli
