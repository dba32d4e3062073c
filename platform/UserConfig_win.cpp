#include <string>

#include "platform/RegistryRoot.h"
#include "platform/Text_win.h"
#include "platform/UserConfig.h"

namespace tessera::platform {

std::string UserConfigDirectory() {
    // The wide environment: a user folder named "Jürgen" survives only in UTF-16.
    std::wstring dir = registry::Environment(L"APPDATA");
    if (dir.empty()) return {};
    while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    return win::Narrow(dir + L"\\tessera");
}

}  // namespace tessera::platform
