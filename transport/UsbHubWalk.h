#pragma once
// The USB walk of the Windows backend: host controllers, root hubs and external hubs through
// the hub control codes, reading every connected device's descriptors and its strings (the
// instruments are picked out of the result by the shared code). The walk is plain C++ over a small
// device-access interface, so the same code runs against the system (UsbHubWalk_win.cpp)
// and against a made-up USB tree in the tests.

#include <cstdint>
#include <string>
#include <vector>

#include "transport/OsCalls.h"

namespace tessera::transport {

// Control codes of the USB host-controller and hub drivers.
inline constexpr std::uint32_t kIoctlHcdDriverKeyName = 0x220424;
inline constexpr std::uint32_t kIoctlRootHubName = 0x220408;
inline constexpr std::uint32_t kIoctlNodeInformation = 0x220408;
inline constexpr std::uint32_t kIoctlNodeConnectionInformation = 0x22040C;
inline constexpr std::uint32_t kIoctlNodeConnectionDriverKeyName = 0x220420;
inline constexpr std::uint32_t kIoctlDescriptorFromNodeConnection = 0x220410;
inline constexpr std::uint32_t kIoctlNodeConnectionName = 0x220414;

// Sizes and offsets of the system's USB structures (little-endian, packed).
namespace usb_layout {
inline constexpr std::uint32_t kNodeInformationSize = 76;
inline constexpr std::uint32_t kNodeInfoPortCount = 6;            // NodeType(4) + bLength + bType
inline constexpr std::uint32_t kConnectionInformationSize = 365;  // room for 30 pipes
inline constexpr std::uint32_t kConnIndex = 0;
inline constexpr std::uint32_t kConnDeviceDescriptor = 4;  // 18 bytes
inline constexpr std::uint32_t kConnDeviceIsHub = 24;
inline constexpr std::uint32_t kConnStatus = 31;
inline constexpr std::uint32_t kDeviceConnected = 1;
inline constexpr std::uint32_t kRequestHeaderSize = 12;  // connection index + setup packet
inline constexpr std::uint32_t kRequestValue = 6;
inline constexpr std::uint32_t kRequestIndex = 8;
inline constexpr std::uint32_t kRequestLength = 10;
inline constexpr std::uint32_t kMaxDescriptorData = 255;
// Device descriptor fields.
inline constexpr std::uint32_t kDevVendor = 8, kDevProduct = 10;
inline constexpr std::uint32_t kDevManufacturer = 14, kDevProductString = 15, kDevSerial = 16;
}  // namespace usb_layout

// What the walk needs from the system: open "\\.\<name>" (host controllers "HCD0".."HCD9"
// and hubs by the names the drivers report), send one control code, close.
class UsbHostAccess {
public:
    virtual ~UsbHostAccess() = default;
    // Answers an opaque non-null device, or nullptr when the name does not open.
    virtual void* Open(const std::u16string& name) = 0;
    virtual bool Control(void* device, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t* returned) = 0;
    virtual void Close(void* device) = 0;
};

// Walks host controllers 0..9, their root hubs and every hub behind them (any depth) and
// answers every connected device whose configuration descriptor could be read, in the order
// found, with the last serial-number string descriptor that was accepted.
std::vector<UsbDevice> WalkUsbDevices(UsbHostAccess& host);

}  // namespace tessera::transport
