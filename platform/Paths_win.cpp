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

std::string StateDirectoryProblem(const std::string& path) {
    const std::wstring dir = win::Widen(path);
    MakeDirectories(dir);
    const DWORD attributes = ::GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "cannot create " + path;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return path + " is not a directory";
    return {};
}

std::string StateDirectory(std::string* problem) {
    const std::wstring local = Environment(L"LOCALAPPDATA");
    if (local.empty()) {
        if (problem) *problem = "LOCALAPPDATA is not set";
        return {};
    }
    const std::string dir = win::Narrow(registry::WithoutTrailingSlashes(local) + L"\\tessera");
    std::string why = StateDirectoryProblem(dir);
    if (problem) *problem = why;
    return why.empty() ? dir : std::string();
}

std::string ChosenMeter() { return win::Narrow(Environment(L"TESSERA_METER")); }

void ChooseMeter(const std::string& serial) { ::SetEnvironmentVariableW(L"TESSERA_METER", win::Widen(serial).c_str()); }

}  // namespace tessera::platform
