#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace tessera::platform {

std::string ProgramDirectory() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

namespace {
// mkdir -p with private permissions; an existing directory is fine.
void MakeDirectories(const std::string& path) {
    if (path.empty()) return;
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            const std::string part = path.substr(0, pos);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
        }
    }
}
}  // namespace

bool IsPrivateDirectory(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string RuntimeDirectory() {
    std::string dir;
    if (const char* own = std::getenv("TESSERA_RUNTIME_DIR"); own && *own) {
        dir = own;
    } else if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
        dir = std::string(xdg) + "/tessera";
    } else {
        dir = "/tmp/tessera-" + std::to_string(static_cast<unsigned long>(::getuid()));
        MakeDirectories(dir);
        // /tmp is shared: a directory someone else made (or a link planted there) would hand
        // them our locks and the device registry. Then keep to the home directory instead.
        if (!IsPrivateDirectory(dir)) {
            const char* home = std::getenv("HOME");
            dir = std::string(home && *home ? home : ".") + "/.cache/tessera-runtime";
        }
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    MakeDirectories(dir);
    return dir;
}

std::string StateDirectory() {
    std::string base;
    // A relative XDG_STATE_HOME is invalid by its own rules and would follow the working directory.
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/state";
    } else {
        return {};
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string dir = base + "/tessera";
    MakeDirectories(dir);
    return dir;
}

}  // namespace tessera::platform
