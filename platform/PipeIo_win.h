#pragma once
// Reads and writes on a meter pipe handle that never wait longer than a bound, whatever kind
// of handle it is: a synchronous one (a kernel driver's pipe file, opened without overlapped
// I/O) or an overlapped one (the named pipes of the user-space device registry). A silent
// meter then costs the bound, never a hung program.
//
// Header-only on purpose: the transport library uses it too and links nothing of the rest of
// the system.

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstdlib>

namespace tessera::platform::win {

// How long one pipe read or write may wait: TESSERA_PIPE_TIMEOUT_MS (1..60000), else 2 s.
inline DWORD PipeTimeoutMs() {
    char text[16];
    const DWORD n = ::GetEnvironmentVariableA("TESSERA_PIPE_TIMEOUT_MS", text, sizeof text);
    if (n > 0 && n < sizeof text) {
        const long ms = std::strtol(text, nullptr, 10);
        if (ms > 0 && ms <= 60000) return static_cast<DWORD>(ms);
    }
    return 2000;
}

// Whether the handle was opened for overlapped I/O (no synchronous mode bit set).
inline bool IsOverlapped(HANDLE h) {
    constexpr ULONG kSynchronousModes = 0x10 | 0x20;  // FILE_SYNCHRONOUS_IO_ALERT / _NONALERT
    constexpr auto kFileModeInformation = static_cast<FILE_INFORMATION_CLASS>(16);
    IO_STATUS_BLOCK io{};
    ULONG mode = 0;
    if (::NtQueryInformationFile(h, &io, &mode, sizeof mode, kFileModeInformation) < 0) return false;
    return (mode & kSynchronousModes) == 0;
}

// Cancels the calling thread's synchronous I/O once the bound has passed, and again every
// 100 ms after that, so an operation that started late is still cut off.
class SynchronousIoDeadline {
public:
    explicit SynchronousIoDeadline(DWORD ms) {
        if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &thread_,
                               THREAD_TERMINATE, FALSE, 0)) {
            thread_ = nullptr;
            return;
        }
        if (!::CreateTimerQueueTimer(&timer_, nullptr, &Fire, thread_, ms, 100, WT_EXECUTEINTIMERTHREAD))
            timer_ = nullptr;
    }
    ~SynchronousIoDeadline() {
        // Waits for a callback in progress, so none can cancel the caller's next operation.
        if (timer_) ::DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
        if (thread_) ::CloseHandle(thread_);
    }
    SynchronousIoDeadline(const SynchronousIoDeadline&) = delete;
    SynchronousIoDeadline& operator=(const SynchronousIoDeadline&) = delete;

private:
    static VOID CALLBACK Fire(PVOID thread, BOOLEAN) { ::CancelSynchronousIo(static_cast<HANDLE>(thread)); }
    HANDLE thread_ = nullptr;
    HANDLE timer_ = nullptr;
};

// One overlapped operation waited for at most `ms`; cancelled after that.
template <typename Start>
bool OverlappedOperation(HANDLE h, DWORD ms, DWORD* done, Start start) {
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent) return false;
    DWORD n = 0;
    BOOL ok = start(&ov);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    if (ok || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) {
        if (error == ERROR_IO_PENDING && ::WaitForSingleObject(ov.hEvent, ms) != WAIT_OBJECT_0) ::CancelIoEx(h, &ov);
        // Waits for the cancellation to settle; an operation that completed meanwhile counts.
        ok = ::GetOverlappedResult(h, &ov, &n, TRUE);
        error = ok ? ERROR_SUCCESS : ::GetLastError();
    }
    ::CloseHandle(ov.hEvent);
    *done = n;
    // A message longer than the request still delivered what fitted; the rest waits.
    return ok || error == ERROR_MORE_DATA;
}

inline bool BoundedRead(HANDLE h, void* buffer, DWORD wanted, DWORD* got, DWORD ms) {
    *got = 0;
    if (IsOverlapped(h)) {
        return OverlappedOperation(h, ms, got,
                                   [&](OVERLAPPED* ov) { return ::ReadFile(h, buffer, wanted, nullptr, ov); });
    }
    DWORD n = 0;
    BOOL ok;
    {
        SynchronousIoDeadline deadline(ms);
        ok = ::ReadFile(h, buffer, wanted, &n, nullptr);
    }
    if (!ok && ::GetLastError() != ERROR_MORE_DATA) return false;
    *got = n;
    return true;
}

inline bool BoundedWrite(HANDLE h, const void* data, DWORD size, DWORD* written, DWORD ms) {
    *written = 0;
    if (IsOverlapped(h)) {
        return OverlappedOperation(h, ms, written,
                                   [&](OVERLAPPED* ov) { return ::WriteFile(h, data, size, nullptr, ov); });
    }
    DWORD n = 0;
    BOOL ok;
    {
        SynchronousIoDeadline deadline(ms);
        ok = ::WriteFile(h, data, size, &n, nullptr);
    }
    *written = n;
    return ok != FALSE;
}

// Drops, without waiting, what a reply pipe already holds, zero-length messages included.
// Only an overlapped handle can be looked into that way. A synchronous one is left alone:
// dropping only the bytes a peek can see would leave the late answer's zero-length message
// behind, and every later exchange would read an empty answer.
inline void DiscardWaiting(HANDLE h) {
    if (!IsOverlapped(h)) return;
    char buffer[512];
    // Bounded, so a peer that never stops sending cannot keep us here.
    for (int i = 0; i < 1024; ++i) {
        DWORD n = 0;
        if (!OverlappedOperation(h, 0, &n,
                                 [&](OVERLAPPED* ov) { return ::ReadFile(h, buffer, sizeof buffer, nullptr, ov); }))
            return;  // nothing was waiting (the read was cancelled) or the pipe is gone
    }
}

}  // namespace tessera::platform::win
