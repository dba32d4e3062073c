#include "platform/NamedLock.h"

#include <windows.h>

#include <string>

#include "platform/Text_win.h"

namespace tessera::platform {

namespace {
// A backslash in a mutex name selects a kernel namespace ("Global\", "Local\"); a plain lock
// name must never do that by accident.
std::wstring MutexName(const std::string& name) {
    std::wstring out = win::Widen(name);
    for (auto& c : out) {
        if (c == L'\\') c = L'_';
    }
    return out;
}
}  // namespace

NamedLock::NamedLock(std::string name) : name_(std::move(name)) {}

NamedLock::~NamedLock() { Release(); }

bool NamedLock::TryAcquire() {
    failure_.clear();
    if (handle_ != -1) return true;
    // The mutex is never waited on: its existence is the lock. Whoever creates it holds the
    // lock, and owns the mutex, until the handle closes (the system closes it for a crashed
    // holder, too); anyone who only opens an existing one is told "busy" and lets go at once.
    HANDLE h = ::CreateMutexW(nullptr, TRUE, MutexName(name_).c_str());
    if (h == nullptr) {
        failure_ = "cannot create the mutex \"" + name_ + "\" (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);  // the initial ownership was not granted: the mutex was not ours
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void NamedLock::Release() {
    if (handle_ == -1) return;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    handle_ = -1;
    ::ReleaseMutex(h);
    ::CloseHandle(h);
}

bool NamedLock::Held() const { return handle_ != -1; }

}  // namespace tessera::platform
