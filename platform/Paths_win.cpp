#include "platform/Paths.h"

#include <windows.h>

#include <string>

#include "platform/RegistryRoot.h"
#include "platform/Text_win.h"

namespace tessera::platform {

using registry::Environment;
using registry::MakeDirectories;

std::string ProgramDirectory() {
    // Long paths are rare but legal: grow the buffer until the whole name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return ".";
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return ".";
    return win::Narrow(path.substr(0, slash));
}

std::string RuntimeDirectory() { return win::Narrow(registry::RuntimeDirectory()); }

std::string StateDirectory() {
    const std::wstring local = Environment(L"LOCALAPPDATA");
    if (local.empty()) return {};
    std::wstring dir = local;
    while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    dir += L"\\tessera";
    MakeDirectories(dir);
    return win::Narrow(dir);
}

}  // namespace tessera::platform
