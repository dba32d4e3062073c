#include "platform/Handle.h"

#include <windows.h>

namespace tessera::platform {

namespace {
HANDLE AsHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
bool Usable(Handle h) { return h != kInvalidHandle && h != 0; }
}  // namespace

bool ReadHandle(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) {
    if (got) *got = 0;
    if (!Usable(h) || (!buffer && wanted > 0)) return false;
    DWORD n = 0;
    // The pipe handles are opened without overlapped I/O: one ReadFile is one transfer.
    // A message longer than the request (ERROR_MORE_DATA) still delivered what fitted.
    if (!::ReadFile(AsHandle(h), buffer, wanted, &n, nullptr)) {
        if (::GetLastError() != ERROR_MORE_DATA) return false;
    }
    if (got) *got = n;
    return true;
}

bool WriteHandle(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) {
    if (written) *written = 0;
    if (!Usable(h) || (!data && size > 0)) return false;
    DWORD n = 0;
    const BOOL ok = ::WriteFile(AsHandle(h), data, size, &n, nullptr);
    if (written) *written = n;
    return ok != FALSE;
}

void DiscardPending(Handle) {
    // A bulk pipe handle offers no look without a read that may block; a late answer is
    // left to the next exchange, as before.
}

void CloseHandle(Handle h) {
    if (!Usable(h)) return;
    ::CloseHandle(AsHandle(h));
}

}  // namespace tessera::platform
