#pragma once
// Run-time loading of a shared library by its base name ("Bulklink" -> libBulklink.so on
// POSIX, Bulklink.dll on Windows), the program's own directory first, then the system's search.

#include <string>

namespace tessera::platform {

std::string SharedLibraryFileName(const std::string& baseName);

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool Load(const std::string& baseName);
    // Loads an explicit path (tests and tools).
    bool LoadPath(const std::string& path);
    void* Symbol(const char* name) const;
    // Releasing a library that was never loaded does nothing.
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

}  // namespace tessera::platform
