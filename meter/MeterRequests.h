#pragma once
// The control requests that script the meter itself: its memory, field model, seed, sensor,
// settings, injected faults and command log. A program serving the meter (virtual-qm8620's
// server, the emulated USB meter) answers its own requests (plug, unplug, status, quit,
// help) and hands every other one to these.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "meter/Meter.h"

namespace tessera::meter {

// One request (a line without its line end) -> response lines, "= ..." lines and last "ok"
// or "error <why>". A request that is none of the meter's is an error naming it.
std::vector<std::string> MeterRequest(Meter& meter, const std::string& line);

// The meter's part of a status: "= memory N", "= sensor C", "= logging 0|1", "= bytes N"
// (`bytesSent` on the reply pipe, as the server counts them), "= polls N".
std::vector<std::string> MeterStatusLines(const Meter& meter, std::uint32_t bytesSent);

// The help lines of the meter's requests ("= memory clear|demo|...", ...).
const std::vector<std::string>& MeterRequestHelp();

// Takes every complete line out of `input` (a control client's bytes so far; a "\r" before
// the "\n" is dropped) and returns the answers of `answer` to them, one "\n"-ended line per
// response line. What follows the last line end stays in `input` for the next read.
std::string AnswerCompleteLines(std::string& input,
                                const std::function<std::vector<std::string>(const std::string&)>& answer);

// "\x0d"-style escaping of a logged command so it fits on one control line.
std::string EscapeForLine(std::string_view raw);

}  // namespace tessera::meter
