#pragma once
// Run-time loading of a shared library by its base name ("Bulklink" -> libBulklink.so on
// POSIX, Bulklink.dll on Windows): the program's own directory first, then an installed
// copy's private library directory, then the system's search.

#include <string>

namespace tessera::platform {

// With an ABI version the POSIX name is the library's SONAME ("libBulklink.so.1"), so the
// program gets the ABI it was built for; a Windows DLL's name carries no version.
std::string SharedLibraryFileName(const std::string& baseName, int abiVersion = -1);

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool Load(const std::string& baseName, int abiVersion = -1);
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
