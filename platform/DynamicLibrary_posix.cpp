#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include "platform/Paths.h"

namespace tessera::platform {

std::string SharedLibraryFileName(const std::string& baseName) {
#if defined(__APPLE__)
    return "lib" + baseName + ".dylib";
#else
    return "lib" + baseName + ".so";
#endif
}

DynamicLibrary::~DynamicLibrary() { Unload(); }

bool DynamicLibrary::Load(const std::string& baseName) {
    Unload();
    const std::string file = SharedLibraryFileName(baseName);
    // The copy beside the program wins, so the library that ships with it is the one used
    // however the program was started.
    const std::string beside = ProgramDirectory() + "/" + file;
    if (FileExists(beside) && LoadPath(beside)) return true;
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
