// The registry roots (one rule for every program, platform/RegistryRoot.h) and the parts of
// the run-time paths that need nothing but the standard library.
#include "platform/Paths.h"
#include "platform/RegistryRoot.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessera::platform {

#if defined(_WIN32)
namespace {
std::string EnvOrEmpty(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}
}  // namespace
#endif

std::vector<std::string> DeviceRegistryRoots() {
#if defined(_WIN32)
    const std::string own = EnvOrEmpty("TESSERA_DEVICE_ROOT");
    if (!own.empty()) return {own};
    return {RuntimeDirectory()};
#else
    return registry::SearchRoots();
#endif
}

std::string UserDeviceRoot() {
#if defined(_WIN32)
    const std::string own = EnvOrEmpty("TESSERA_DEVICE_ROOT");
    if (!own.empty()) return own;
    return RuntimeDirectory();
#else
    return registry::ServerRoot().path;
#endif
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace tessera::platform
