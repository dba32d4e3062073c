// The library's exports: thin forwarders to the one process-wide transport state.

#include "transport/Bulklink.h"
#include "transport/Transport.h"

namespace {
tessera::transport::Transport& The() {
    static tessera::transport::Transport transport(tessera::transport::SystemOsCalls());
    return transport;
}
}  // namespace

extern "C" {

std::intptr_t TESSERA_STDCALL OpenUSBBulkFile(std::int32_t pipe) { return The().OpenUSBBulkFile(pipe); }

std::int32_t TESSERA_STDCALL ReadUSBBulk(std::intptr_t handle, void* destination, std::uint32_t wanted,
                                         std::uint32_t* delivered) {
    return The().ReadUSBBulk(handle, destination, wanted, delivered);
}

std::int32_t TESSERA_STDCALL WriteUSBBulk(std::intptr_t handle, const void* source, std::uint32_t count,
                                          std::uint32_t* written) {
    return The().WriteUSBBulk(handle, source, count, written);
}

std::int32_t TESSERA_STDCALL GetDeviceStr(char* destination) { return The().GetDeviceStr(destination); }

std::int32_t TESSERA_STDCALL CheckUSBDevices(char* serialOut) { return The().CheckUSBDevices(serialOut); }

std::intptr_t TESSERA_STDCALL Open7708Usb2(std::int32_t index, std::int32_t pipe, std::int32_t overlapped) {
    return The().Open7708Usb2(index, pipe, overlapped);
}

std::int32_t TESSERA_STDCALL GetSerialStringAllDevices(char* destination) {
    return The().GetSerialStringAllDevices(destination);
}

}  // extern "C"
