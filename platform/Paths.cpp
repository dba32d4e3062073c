// The registry roots (one rule for every program, platform/RegistryRoot.h) and the parts of
// the run-time paths that need nothing but the standard library.
#include "platform/Paths.h"
#include "platform/RegistryRoot.h"
#if defined(_WIN32)
#include "platform/Text_win.h"
#endif

#include <cstdlib>

namespace tessera::platform {

std::vector<std::string> DeviceRegistryRoots() {
#if defined(_WIN32)
    return {win::Narrow(registry::DeviceRoot())};
#else
    return registry::SearchRoots();
#endif
}

std::string UserDeviceRoot() {
#if defined(_WIN32)
    return win::Narrow(registry::DeviceRoot());
#else
    return registry::ServerRoot().path;
#endif
}

}  // namespace tessera::platform
