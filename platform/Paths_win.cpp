#include "platform/Paths.h"

#include <windows.h>

#include <string>

#include "platform/Text_win.h"

namespace tessera::platform {

namespace {
std::wstring Environment(const wchar_t* name) {
    wchar_t small[512];
    DWORD n = ::GetEnvironmentVariableW(name, small, 512);
    if (n == 0) return {};
    if (n < 512) return std::wstring(small, n);
    std::wstring big(n, L'\0');
    n = ::GetEnvironmentVariableW(name, big.data(), n);
    big.resize(n);
    return big;
}

// Creates each missing directory along the path; an existing one is fine.
void MakeDirectories(const std::wstring& path) {
    for (std::size_t pos = 0; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == L'\\' || path[pos] == L'/') {
            const std::wstring part = path.substr(0, pos);
            // Skip drive roots ("C:") and the leading parts of a UNC name.
            if (part.empty() || part.back() == L':' || part == L"\\" || part == L"\\\\") continue;
            ::CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}
}  // namespace

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

std::string RuntimeDirectory() {
    std::wstring dir = Environment(L"TESSERA_RUNTIME_DIR");
    if (dir.empty()) {
        const std::wstring local = Environment(L"LOCALAPPDATA");
        if (!local.empty()) {
            dir = local + L"\\tessera";
        } else {
            wchar_t temp[MAX_PATH + 1];
            const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
            dir = (n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring(L".\\")) + L"tessera";
        }
    }
    while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    MakeDirectories(dir);
    return win::Narrow(dir);
}

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
