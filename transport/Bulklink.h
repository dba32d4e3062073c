#pragma once
// The transport library's interface: seven C exports with the platform's standard calling
// convention, looked up by name. Handles are file descriptors on POSIX and HANDLEs on
// Windows, carried in an intptr_t; all bits set is the invalid handle.

#include <cstdint>

#include "platform/Handle.h"  // TESSERA_STDCALL only; the library links nothing of the system

#if defined(_WIN32)
#define TESSERA_BULKLINK_API __declspec(dllexport)
#else
#define TESSERA_BULKLINK_API __attribute__((visibility("default")))
#endif

extern "C" {

// Opens pipe `pipe` of the first instrument that opens; opening pipe 0 also resets the
// device's byte counter. All bits set when there is no such instrument or pipe.
TESSERA_BULKLINK_API std::intptr_t TESSERA_STDCALL OpenUSBBulkFile(std::int32_t pipe);

// Buffered read of `wanted` bytes (any size: requests beyond what the 1024-byte buffer
// holds are served in several rounds). 1 with *delivered set; 0 when a pipe read failed
// or an argument is missing.
TESSERA_BULKLINK_API std::int32_t TESSERA_STDCALL ReadUSBBulk(std::intptr_t handle, void* destination,
                                                              std::uint32_t wanted, std::uint32_t* delivered);

// One write; the operating system's result (non-zero on success).
TESSERA_BULKLINK_API std::int32_t TESSERA_STDCALL WriteUSBBulk(std::intptr_t handle, const void* source,
                                                               std::uint32_t count, std::uint32_t* written);

// Copies the device path (256 bytes at most, with its terminating zero); answers its
// length plus one, 0 for a null destination.
TESSERA_BULKLINK_API std::int32_t TESSERA_STDCALL GetDeviceStr(char* destination);

// Walks the USB tree; answers the number of instruments found. `serialOut` (10 bytes or
// more, may be null) receives the last serial found.
TESSERA_BULKLINK_API std::int32_t TESSERA_STDCALL CheckUSBDevices(char* serialOut);

// Opens pipe `pipe` of instrument `index` (0 or 1) in enumeration order, without the
// counter reset. `overlapped` asks for overlapped I/O where the platform has it.
TESSERA_BULKLINK_API std::intptr_t TESSERA_STDCALL Open7708Usb2(std::int32_t index, std::int32_t pipe,
                                                                std::int32_t overlapped);

// Copies the serial list of the last walk (64 bytes at most, comma-separated). 1, or 0
// for a null destination.
TESSERA_BULKLINK_API std::int32_t TESSERA_STDCALL GetSerialStringAllDevices(char* destination);

}  // extern "C"
