#include <cstdlib>
#include <string>

#include "platform/UserConfig.h"

namespace tessera::platform {

std::string UserConfigDirectory() {
    std::string base;
    // A relative XDG_CONFIG_HOME is invalid by its own rules and would follow the working directory.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/tessera";
}

}  // namespace tessera::platform
