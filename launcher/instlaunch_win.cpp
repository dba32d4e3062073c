// instlaunch: starts the driver-package installer that fits the running system, passes the
// launcher's own arguments on, waits for it and ends. No window, no messages: the installer
// does all the talking. Exit code 0 when the installer ran to its end, 1 otherwise.

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>

#include "launcher/LaunchRules.h"

namespace {

using namespace tessera::launcher;
using Wow64DirectoryFn = UINT(WINAPI*)(LPWSTR, UINT);

bool SystemIs64Bit() {
    // Looked up at run time: a 32-bit system's kernel may not have the function at all.
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return Is64BitSystem(false, false, 0);
    auto probe = reinterpret_cast<Wow64DirectoryFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "GetSystemWow64DirectoryW")));
    if (probe == nullptr) return Is64BitSystem(false, false, 0);
    wchar_t buffer[MAX_PATH];
    ::SetLastError(0);
    const UINT n = probe(buffer, MAX_PATH);
    return Is64BitSystem(true, n != 0, n != 0 ? 0 : ::GetLastError());
}

int Run() {
    wchar_t modulePath[kPathCapacity];
    const DWORD pathLength = ::GetModuleFileNameW(nullptr, modulePath, static_cast<DWORD>(kPathCapacity));
    // A cut-off path would name the wrong directory; better to refuse.
    if (pathLength == 0 || pathLength >= kPathCapacity) return 1;
    const std::wstring directory = ModuleDirectory(std::wstring_view(modulePath, pathLength));

    const std::optional<std::wstring> line = ChildCommandLine(SystemIs64Bit(), ::GetCommandLineW());
    if (!line) return 1;

    // CreateProcessW may write into the command line, so it gets a private copy.
    const SIZE_T bytes = (line->size() + 1) * sizeof(wchar_t);
    auto* block = static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), 0, bytes));
    if (block == nullptr) return 1;
    std::wmemcpy(block, line->c_str(), line->size() + 1);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL created = ::CreateProcessW(nullptr, block, nullptr, nullptr, FALSE, 0, nullptr,
                                          directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    if (!created || process.hProcess == nullptr) {
        if (created && process.hThread != nullptr) ::CloseHandle(process.hThread);
        ::HeapFree(::GetProcessHeap(), 0, block);
        return 1;
    }

    int result = 0;
    DWORD exitCode = 0;
    if (::WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.hProcess, &exitCode)) {
        result = 1;
    }
    // The installer's own exit code is its business: it ran, so the launcher succeeded.
    ::CloseHandle(process.hProcess);
    if (process.hThread != nullptr) ::CloseHandle(process.hThread);
    ::HeapFree(::GetProcessHeap(), 0, block);
    return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return Run(); }
