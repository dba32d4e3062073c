#include "platform/Paths.h"
#include "platform/RegistryRoot.h"

#include <unistd.h>

#include <climits>
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

}  // namespace tessera::platform
