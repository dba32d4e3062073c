#include "platform/Files.h"

namespace tessera::platform {

// POSIX names are bytes: a UTF-8 name (or any other) goes to the system unchanged.
std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(utf8); }

std::string Utf8Path(const std::filesystem::path& path) { return path.string(); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    if (argc < 1) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace tessera::platform
