#pragma once
#include <cstdint>

namespace tessera::link {

// Every link operation answers a 32-bit status; pages turn them into messages.
using Status = std::uint32_t;
inline constexpr Status kStatusOk = 0;
inline constexpr Status kStatusNoEntry = 0x80000033;     // meter '3': no measurement at that position
inline constexpr Status kStatusRepeat = 0x80000034;      // meter '4': ask again
inline constexpr Status kStatusNoDevice = 0x80000037;    // no pipe, nothing read, or meter '7'
inline constexpr Status kStatusBusy = 0x80000039;        // exchange lock held, or meter '9'
inline constexpr Status kStatusTooLong = 0xf0000001;     // reply longer than the capacity
inline constexpr Status kStatusWrongModel = 0xf0000002;  // not a QM8620, or a bad accuracy.dat

// The two messages every page shows for the link's shared conditions: the meter is gone,
// and a logging run holds the meter.
inline constexpr char kMsgConnectionFailed[] = "Connection failed. Please connect the QM8620 again.";
inline constexpr char kMsgBusyWithLogger[] = "The QM8620 is busy with \"Effective Value Logger\".";
// What stops the program at start (and tessera-cli before it reaches the meter): the transport
// library or its OpenUSBBulkFile is missing, or the accuracy table cannot be read.
inline constexpr char kMsgNoTransport[] = "You need the DLL -- 'Bulklink.dll'.";
inline constexpr char kMsgBadAccuracyFile[] = "The accuracy file (accuracy.dat) Couldn't be Readed correctly.";

// The status of a meter's three-byte status reply that starts with `c`.
inline constexpr Status MeterStatus(char c) { return 0x80000000u + static_cast<unsigned char>(c); }

}  // namespace tessera::link
