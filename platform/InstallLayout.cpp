#include "platform/InstallLayout.h"

#include <filesystem>
#include <string_view>

#include "platform/Paths.h"

// Paths from the programs' install directory, set by the build (cmake/InstallLayout.cmake).
#ifndef TESSERA_BINDIR_TO_LIBRARYDIR
#define TESSERA_BINDIR_TO_LIBRARYDIR ""
#endif
#ifndef TESSERA_BINDIR_TO_DATADIR
#define TESSERA_BINDIR_TO_DATADIR ""
#endif

namespace tessera::platform {

namespace {
std::string FromProgramDirectory(std::string_view relative) {
    if (relative.empty() || relative == ".") return {};
    std::string dir = Utf8Path((FsPath(ProgramDirectory()) / std::filesystem::path(relative)).lexically_normal());
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return dir;
}
}  // namespace

std::string InstalledLibraryDirectory() { return FromProgramDirectory(TESSERA_BINDIR_TO_LIBRARYDIR); }

std::string InstalledDataDirectory() { return FromProgramDirectory(TESSERA_BINDIR_TO_DATADIR); }

}  // namespace tessera::platform
