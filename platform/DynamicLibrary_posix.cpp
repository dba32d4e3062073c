#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include "platform/InstallLayout.h"
#include "platform/Paths.h"

namespace tessera::platform {

std::string SharedLibraryFileName(const std::string& baseName, int abiVersion) {
#if defined(__APPLE__)
    if (abiVersion >= 0) return "lib" + baseName + "." + std::to_string(abiVersion) + ".dylib";
    return "lib" + baseName + ".dylib";
#else
    if (abiVersion >= 0) return "lib" + baseName + ".so." + std::to_string(abiVersion);
    return "lib" + baseName + ".so";
#endif
}

DynamicLibrary::~DynamicLibrary() { Unload(); }

bool DynamicLibrary::Load(const std::string& baseName, int abiVersion) {
    Unload();
    const std::string file = SharedLibraryFileName(baseName, abiVersion);
    // The copy beside the program wins, so the library that ships with it is the one used
    // however the program was started; an installed program keeps it in a private directory.
    for (const std::string& dir : {ProgramDirectory(), InstalledLibraryDirectory()}) {
        if (dir.empty()) continue;
        const std::string path = dir + "/" + file;
        if (FileExists(path) && LoadPath(path)) return true;
    }
    handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

bool DynamicLibrary::LoadPath(const std::string& path) {
    Unload();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return ::dlsym(handle_, name);
}

void DynamicLibrary::Unload() {
    if (!handle_) return;
    ::dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace tessera::platform
