#pragma once
// Reply splitting and decoding, and the two significant-digit routines.

#include <array>
#include <string>
#include <string_view>

#include "settings/MeterSettings.h"

namespace tessera::link {

inline constexpr int kReplyFields = 20;
using ReplyFields = std::array<std::string, kReplyFields>;

ReplyFields SplitReply(std::string_view reply);

// Decodes a "MEAS?" / "DATA? %d" reply into fields 1..13 of the record (memMode untouched).
void DecodeReply(std::string_view reply, settings::MeterSettings& record, bool rounding);

// Cuts an E-notation number text to n significant digits ("1.23456E+03", 4 -> "1235").
std::string RoundNumberText(std::string_view text, int n);
// Cuts a double to n significant digits (0.012345, 3 -> "0.0123").
std::string FormatSignificant(double x, int n);

}  // namespace tessera::link
