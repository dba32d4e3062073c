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

// Whether a "MEAS?" / "DATA? %d" reply arrived whole: its thirteen fields, then a carriage
// return and line feed that end it. Anything less is damaged and must not become a reading.
bool CompleteMeasurementReply(std::string_view reply);

// Decodes a "MEAS?" / "DATA? %d" reply into fields 1..13 of the record (memMode untouched).
void DecodeReply(std::string_view reply, settings::MeterSettings& record, bool rounding);

// A number read from the longest valid leading part of a text (optional blanks and sign);
// no number gives 0. Independent of the process locale.
double ReadLeadingNumber(std::string_view text);
// An integer read from the leading part of a text (optional blanks and sign, then digits);
// no digits give 0. Digits beyond what fits wrap around like the 8-bit range field does.
long long ReadLeadingInteger(std::string_view text);

// Cuts an E-notation number text to n significant digits ("1.23456E+03", 4 -> "1235").
std::string RoundNumberText(std::string_view text, int n);
// Cuts a double to n significant digits (0.012345, 3 -> "0.0123").
std::string FormatSignificant(double x, int n);
// A double with `decimals` digits after the point (rounded to nearest), always with a decimal
// point whatever the process locale: a decimal comma would split a CSV field in two and not
// read back.
std::string FormatFixed(double x, int decimals);

}  // namespace tessera::link
