// Stands in for the driver-package installers in the launcher tests. Built twice, as
// dpinst64.exe and dpinst32.exe. It writes what it saw to the file named by
// TESSERA_FAKE_INSTALLER_RECORD (UTF-8, one item per line: its own file name, its command
// line, its current directory) and exits with TESSERA_FAKE_INSTALLER_EXIT (default 0).

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, 4096);
    return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[2048];
    const DWORD selfLength = ::GetModuleFileNameW(nullptr, self, 2048);
    std::wstring name(self, selfLength);
    name = name.substr(name.find_last_of(L'\\') + 1);
    wchar_t cwd[2048];
    const DWORD cwdLength = ::GetCurrentDirectoryW(2048, cwd);

    const std::string record =
        Utf8(name) + "\n" + Utf8(::GetCommandLineW()) + "\n" + Utf8(std::wstring(cwd, cwdLength)) + "\n";
    const std::wstring recordPath = Variable(L"TESSERA_FAKE_INSTALLER_RECORD");
    if (!recordPath.empty()) {
        HANDLE file =
            ::CreateFileW(recordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            ::CloseHandle(file);
        }
    }
    const std::wstring code = Variable(L"TESSERA_FAKE_INSTALLER_EXIT");
    return code.empty() ? 0 : static_cast<int>(std::wcstol(code.c_str(), nullptr, 10));
}
