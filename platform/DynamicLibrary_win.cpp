#include "platform/DynamicLibrary.h"

#include <windows.h>

#include "platform/Paths.h"
#include "platform/Text_win.h"

namespace tessera::platform {

std::string SharedLibraryFileName(const std::string& baseName, int) { return baseName + ".dll"; }

DynamicLibrary::~DynamicLibrary() { Unload(); }

bool DynamicLibrary::Load(const std::string& baseName, int abiVersion) {
    Unload();
    const std::string file = SharedLibraryFileName(baseName, abiVersion);
    // The copy beside the program wins, whatever the current directory or PATH say.
    if (LoadPath(ProgramDirectory() + "\\" + file)) return true;
    // No "could not load" dialog from the system: a missing library is the caller's message.
    const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    handle_ = reinterpret_cast<void*>(::LoadLibraryW(win::Widen(file).c_str()));
    ::SetErrorMode(oldMode);
    return handle_ != nullptr;
}

bool DynamicLibrary::LoadPath(const std::string& path) {
    Unload();
    if (path.empty()) return false;
    const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // With a full path the library's own dependencies are looked up beside it, too.
    handle_ =
        reinterpret_cast<void*>(::LoadLibraryExW(win::Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    ::SetErrorMode(oldMode);
    return handle_ != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::Unload() {
    if (!handle_) return;
    ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

}  // namespace tessera::platform
