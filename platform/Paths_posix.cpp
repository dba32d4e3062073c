#include "platform/Paths.h"
#include "platform/RegistryRoot.h"

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

bool IsPrivateDirectory(const std::string& path) { return registry::DirectoryProblem(path).empty(); }

std::string RuntimeDirectory() { return registry::RuntimeDirectory().path; }

std::string StateDirectoryProblem(const std::string& path) { return registry::EnsureDirectory(path); }

std::string StateDirectory(std::string* problem) {
    std::string base;
    // A relative XDG_STATE_HOME is invalid by its own rules and would follow the working directory.
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/state";
    } else {
        if (problem) *problem = "neither XDG_STATE_HOME nor HOME is set";
        return {};
    }
    const std::string dir = registry::WithoutTrailingSlashes(base) + "/tessera";
    std::string why = StateDirectoryProblem(dir);
    if (problem) *problem = why;
    return why.empty() ? dir : std::string();
}

std::string ChosenMeter() { return registry::Environment("TESSERA_METER"); }

void ChooseMeter(const std::string& serial) { ::setenv("TESSERA_METER", serial.c_str(), 1); }

}  // namespace tessera::platform
