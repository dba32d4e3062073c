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

// The temporary file a replacement of `path` is written to, or INVALID_HANDLE_VALUE with the
// reason in `error`.
HANDLE StartReplacement(const std::string& path, const std::wstring& wide, std::wstring& temp, std::string* error) {
    if (IsDirectory(wide)) {
        ::SetLastError(ERROR_DIRECTORY);
        Fail(error, path + " is a directory");
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = CreateTemporary(wide, temp);
    if (h == INVALID_HANDLE_VALUE) Fail(error, "cannot create a file beside " + path);
    return h;
}

// Gives up a replacement: the temporary file goes, and the message keeps the error of what
// failed.
bool Abandon(const std::wstring& temp, std::string* error, const std::string& what) {
    const DWORD code = ::GetLastError();
    ::DeleteFileW(temp.c_str());
    ::SetLastError(code);
    return Fail(error, what);
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error) {
    const std::wstring wide = win::Widen(path);
    std::wstring temp;
    HANDLE h = StartReplacement(path, wide, temp, error);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    while (ok && !contents.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1u << 20));
        ok = ::WriteFile(h, contents.data(), chunk, &written, nullptr) != 0 && written > 0;
        contents.remove_prefix(written);
    }
    ok = ok && ::FlushFileBuffers(h) != 0;
    ok = ::CloseHandle(h) != 0 && ok;
    if (!ok) return Abandon(temp, error, "cannot write " + path);
    // ReplaceFileW keeps what the old file had (its security and attributes); a new name
    // simply takes the temporary file's place.
    const bool replaced = ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES
                              ? ::ReplaceFileW(wide.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr) != 0
                              : ::MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) return Abandon(temp, error, "cannot replace " + path);
    return true;
}

bool CanReplaceFile(const std::string& path, std::string* error) {
    const std::wstring wide = win::Widen(path);
    std::wstring temp;
    HANDLE h = StartReplacement(path, wide, temp, error);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    ::DeleteFileW(temp.c_str());
    return true;
}

}  // namespace tessera::platform
