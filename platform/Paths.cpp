// The parts of the run-time paths that need nothing but the standard library.
#include "platform/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessera::platform {

namespace {
std::string EnvOrEmpty(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}
}  // namespace

std::vector<std::string> DeviceRegistryRoots() {
    const std::string own = EnvOrEmpty("TESSERA_DEVICE_ROOT");
    if (!own.empty()) return {own};
#if defined(_WIN32)
    return {RuntimeDirectory()};
#else
    return {"/run/tessera", RuntimeDirectory()};
#endif
}

std::string UserDeviceRoot() {
    const std::string own = EnvOrEmpty("TESSERA_DEVICE_ROOT");
    if (!own.empty()) return own;
    return RuntimeDirectory();
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace tessera::platform
