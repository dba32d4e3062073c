// The parts of the file functions that std::filesystem does alike everywhere once the
// name is a path (Files_posix.cpp and Files_win.cpp make it one).
#include "platform/Files.h"

#include <iterator>
#include <system_error>

namespace tessera::platform {

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(FsPath(path), ec);
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(FsPath(path), ec);
}

std::ifstream OpenInput(const std::string& path) {
    std::ifstream in;
    if (!path.empty()) in.open(FsPath(path), std::ios::binary);
    else in.setstate(std::ios::failbit);
    return in;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in = OpenInput(path);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(FsPath(a), FsPath(b), ec);
}

bool RemoveFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = FsPath(path);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(p, ec))) return false;
    std::filesystem::remove(p, ec);
    return !ec;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(FsPath(path), ec);
    return ec ? path : Utf8Path(full);
}

}  // namespace tessera::platform
