#include "platform/FileReplace.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/Text_win.h"

namespace tessera::platform {

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what + " (error " + std::to_string(::GetLastError()) + ")";
    return false;
}

// A new, exclusively created file beside `path`.
HANDLE CreateTemporary(const std::wstring& path, std::wstring& temp) {
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = path + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(::InterlockedIncrement(&counter));
        HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error) {
    const std::wstring wide = win::Widen(path);
    if (IsDirectory(wide)) {
        ::SetLastError(ERROR_DIRECTORY);
        return Fail(error, path + " is a directory");
    }
    std::wstring temp;
    HANDLE h = CreateTemporary(wide, temp);
    if (h == INVALID_HANDLE_VALUE) return Fail(error, "cannot create a file beside " + path);
    bool ok = true;
    while (ok && !contents.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1u << 20));
        ok = ::WriteFile(h, contents.data(), chunk, &written, nullptr) != 0 && written > 0;
        contents.remove_prefix(written);
    }
    ok = ok && ::FlushFileBuffers(h) != 0;
    ok = ::CloseHandle(h) != 0 && ok;
    if (!ok) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        ::SetLastError(code);
        return Fail(error, "cannot write " + path);
    }
    // ReplaceFileW keeps what the old file had (its security and attributes); a new name
    // simply takes the temporary file's place.
    const bool replaced = ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES
                              ? ::ReplaceFileW(wide.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr) != 0
                              : ::MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        ::SetLastError(code);
        return Fail(error, "cannot replace " + path);
    }
    return true;
}

bool CanReplaceFile(const std::string& path, std::string* error) {
    const std::wstring wide = win::Widen(path);
    if (IsDirectory(wide)) {
        ::SetLastError(ERROR_DIRECTORY);
        return Fail(error, path + " is a directory");
    }
    std::wstring temp;
    HANDLE h = CreateTemporary(wide, temp);
    if (h == INVALID_HANDLE_VALUE) return Fail(error, "cannot create a file beside " + path);
    ::CloseHandle(h);
    ::DeleteFileW(temp.c_str());
    return true;
}

}  // namespace tessera::platform
