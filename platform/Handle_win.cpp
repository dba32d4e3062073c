#include "platform/Handle.h"

#include <windows.h>

#include "platform/PipeIo_win.h"

namespace tessera::platform {

namespace {
HANDLE AsHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
bool Usable(Handle h) { return h != kInvalidHandle && h != 0; }
}  // namespace

bool ReadHandle(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) {
    if (got) *got = 0;
    if (!Usable(h) || (!buffer && wanted > 0)) return false;
    // One read is one transfer (one message of a message-mode pipe); a silent meter costs
    // the pipe timeout, never a hang.
    DWORD n = 0;
    if (!win::BoundedRead(AsHandle(h), buffer, wanted, &n, win::PipeTimeoutMs())) return false;
    if (got) *got = n;
    return true;
}

bool WriteHandle(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) {
    if (written) *written = 0;
    if (!Usable(h) || (!data && size > 0)) return false;
    DWORD n = 0;
    const bool ok = win::BoundedWrite(AsHandle(h), data, size, &n, win::PipeTimeoutMs());
    if (written) *written = n;
    return ok;
}

void DiscardPending(Handle h) {
    if (Usable(h)) win::DiscardWaiting(AsHandle(h));
}

void CloseHandle(Handle h) {
    if (!Usable(h)) return;
    ::CloseHandle(AsHandle(h));
}

}  // namespace tessera::platform
