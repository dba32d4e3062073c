#pragma once
// The identities this project's instrument driver package uses. The bulk driver (on
// Windows the driver package, on Linux tessera-usbd or the virtual meter) registers every
// instrument under INSTRUMENT_INTERFACE_CLASS; the serial-number walk recognises an
// instrument by INSTRUMENT_VENDOR_ID and product 0x3000 in its device descriptor.
//
// The vendor id comes from the build (the CMake cache variable TESSERA_INSTRUMENT_VENDOR_ID,
// by default 0x1209, the pid.codes shared vendor id, used because the instrument's own id
// comes with the driver package of a real installation), which also writes it into the
// udev rule: the program and the rule must never disagree.
// The interface class GUID was generated once for this driver package and never changes:
// every driver, registry entry and client must agree on it.

#include <cstdint>

#ifndef TESSERA_INSTRUMENT_VENDOR_ID
#error "TESSERA_INSTRUMENT_VENDOR_ID comes from the build (CMake cache variable of that name)"
#endif

namespace tessera::transport {

inline constexpr std::uint16_t INSTRUMENT_VENDOR_ID = TESSERA_INSTRUMENT_VENDOR_ID;
inline constexpr std::uint16_t INSTRUMENT_PRODUCT_ID = 0x3000;

// {B1EC3545-819C-4484-ACC3-BB36BAA1FC9A}
struct InterfaceClassGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
inline constexpr InterfaceClassGuid INSTRUMENT_INTERFACE_CLASS = {
    0xB1EC3545, 0x819C, 0x4484, {0xAC, 0xC3, 0xBB, 0x36, 0xBA, 0xA1, 0xFC, 0x9A}};

// The GUID in its registry text form: on POSIX the name of the class directory under each
// device registry root.
inline constexpr const char* INSTRUMENT_INTERFACE_CLASS_TEXT = "{B1EC3545-819C-4484-ACC3-BB36BAA1FC9A}";

// Pipe numbers: 0 commands (bulk OUT), 1 replies (bulk IN), 3 and 4 the byte counter
// (command byte out, 4-byte big-endian count in).
inline constexpr int kCommandPipe = 0;
inline constexpr int kReplyPipe = 1;
inline constexpr int kCounterCommandPipe = 3;
inline constexpr int kCounterReplyPipe = 4;
// One bulk packet; a zero-length packet ends a reply.
inline constexpr int kPacketSize = 64;

}  // namespace tessera::transport
