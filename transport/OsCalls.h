#pragma once
// The few operating-system calls the transport's algorithms need. Each platform supplies
// one implementation (OsPosix.cpp, a Windows file alongside); tests supply fakes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/MeterIdentity.h"

namespace tessera::transport {

using Handle = std::intptr_t;
inline constexpr Handle kInvalid = -1;

// What the USB walk learnt about one connected device.
struct UsbDevice {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool hasSerialIndex = false;  // the device descriptor names a serial-number string
    std::u16string serial;        // the last serial-number string read (empty if none)
};

class OsCalls {
public:
    virtual ~OsCalls() = default;
    // Paths of the present device interfaces of the instrument's class, in enumeration
    // order; interfaces whose path cannot be read are left out.
    virtual std::vector<std::string> Interfaces() = 0;
    // Whether the device behind an interface path opens for reading and writing.
    virtual bool InterfaceOpens(const std::string& path) = 0;
    // What a person reads to tell the meter behind an interface path apart; empty fields
    // where it does not say.
    virtual MeterIdentity Identity(const std::string& path) = 0;
    // The serial number of the one meter the user chose (TESSERA_METER); empty: any.
    virtual std::string ChosenMeter() = 0;
    // Opens one pipe path (interface path + separator + pipe number).
    virtual Handle OpenPipe(const std::string& pipePath, bool overlapped) = 0;
    // One read of at most `wanted` bytes; false when it failed. A 0-byte success is the
    // zero-length packet that ends a reply.
    virtual bool Read(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) = 0;
    virtual bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) = 0;
    virtual void Close(Handle h) = 0;
    // Between an interface path and a pipe number: '\\' on Windows, '/' on POSIX.
    virtual char PipeSeparator() const = 0;
    // Every connected USB device, host controllers, root hubs and hubs walked in order.
    virtual std::vector<UsbDevice> WalkUsb() = 0;
};

// The platform's implementation (one per backend file).
OsCalls& SystemOsCalls();

}  // namespace tessera::transport
