#pragma once
// Pipe handles as the transport library hands them out: a file descriptor on POSIX,
// a HANDLE on Windows. Both fit an intptr_t, and all bits set means "invalid".

#include <cstdint>

// The calling convention of the transport library's exports (callee pops on 32-bit Windows).
#if defined(_WIN32)
#define TESSERA_STDCALL __stdcall
#else
#define TESSERA_STDCALL
#endif

namespace tessera::platform {

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// One read of at most `wanted` bytes. Returns false when the read failed; `got` is then 0.
// A successful read of 0 bytes is the empty read that ends a reply.
bool ReadHandle(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got);
// One write of the given bytes; returns the system's result.
bool WriteHandle(Handle h, const void* data, std::uint32_t size, std::uint32_t* written);
void CloseHandle(Handle h);
// Drops, without waiting, whatever a reply pipe already holds: an answer that arrived after
// its reader gave up must not be taken for the answer to the next command. Where the system
// cannot look into a handle without blocking, nothing happens.
void DiscardPending(Handle h);

}  // namespace tessera::platform
