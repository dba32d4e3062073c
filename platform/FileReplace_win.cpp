#include "platform/FileReplace.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/TemporaryName.h"
#include "platform/Text_win.h"

namespace tessera::platform {

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what + " (error " + std::to_string(::GetLastError()) + ")";
    return false;
}

// The folder part of a path, with its separator ("C:\data\", "C:", ""); a name alone is in
// the working directory.
std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) return path.substr(0, slash + 1);
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return {};
}

// Seconds between two file times (100 ns units).
std::int64_t SecondsBetween(const FILETIME& earlier, const FILETIME& later) {
    const auto value = [](const FILETIME& t) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (value(later) - value(earlier)) / 10000000;
}

bool ProcessGone(DWORD id) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

// Removes the temporary files of ours in `folder` that a crashed save left behind: ours by
// name, older than a live save ever gets and their process gone. A file still being written
// is open without sharing, so it cannot be deleted in any case.
void RemoveStaleTemporaries(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L".tessera-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    do {
        const auto process = TemporaryNameProcess(win::Narrow(found.cFileName));
        if (!process || *process == ::GetCurrentProcessId()) continue;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
        if (SecondsBetween(found.ftLastWriteTime, now) < kStaleTemporarySeconds || !ProcessGone(*process)) continue;
        ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// A new, exclusively created file in `folder`.
HANDLE CreateTemporary(const std::wstring& folder, std::wstring& temp) {
    static LONG serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + win::Widen(TemporaryName(::GetCurrentProcessId(),
                                                 static_cast<std::uint32_t>(::InterlockedIncrement(&serial))));
        HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

// The temporary file a replacement of `path` is written to, or INVALID_HANDLE_VALUE with the
// reason in `error`.
HANDLE StartReplacement(const std::string& path, const std::wstring& wide, std::wstring& temp, std::string* error) {
    const SaveTarget target = ResolveSaveTarget(path);
    if (!target.refusal.empty()) {
        if (error) *error = path + ": " + target.refusal;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = CreateTemporary(FolderOf(wide), temp);
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

SaveTarget ResolveSaveTarget(const std::string& path) {
    SaveTarget target{path, false, {}};
    const DWORD attributes = ::GetFileAttributesW(win::Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return target;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) target.refusal = "It is a folder.";
    else target.exists = true;
    return target;
}

bool SyncDirectoryOf(const std::string& path, std::string* error) {
    std::wstring folder = FolderOf(win::Widen(path));
    if (folder.empty()) folder = L".";
    HANDLE h = ::CreateFileW(folder.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // A folder that cannot be opened so, or a file system that cannot flush one, promises
    // nothing more than its own journal does: no failure of ours.
    if (h == INVALID_HANDLE_VALUE) return true;
    const bool flushed = ::FlushFileBuffers(h) != 0 || ::GetLastError() == ERROR_INVALID_FUNCTION ||
                         ::GetLastError() == ERROR_ACCESS_DENIED;
    if (!flushed) Fail(error, "cannot sync the folder of " + path);
    ::CloseHandle(h);
    return flushed;
}

bool ReplaceFileWith(const std::string& path, const std::function<bool(const PieceWriter&)>& produce,
                     std::string* error) {
    const std::wstring wide = win::Widen(path);
    RemoveStaleTemporaries(FolderOf(wide));
    std::wstring temp;
    HANDLE h = StartReplacement(path, wide, temp, error);
    if (h == INVALID_HANDLE_VALUE) return false;
    PieceBuffer buffer([h](std::string_view piece) {
        while (!piece.empty()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(piece.size(), 1u << 20));
            if (::WriteFile(h, piece.data(), chunk, &written, nullptr) == 0 || written == 0) return false;
            piece.remove_prefix(written);
        }
        return true;
    });
    const bool made = produce([&buffer](std::string_view piece) { return buffer.Put(piece); });
    bool ok = made && buffer.Flush() && ::FlushFileBuffers(h) != 0;
    ok = ::CloseHandle(h) != 0 && ok;
    if (made && !ok) return Abandon(temp, error, "cannot write " + path);
    if (!made) {
        const bool stopped = !buffer.Failed();
        Abandon(temp, error, "cannot write " + path);
        if (stopped && error) *error = "the writing of " + path + " was stopped";
        return false;
    }
    // ReplaceFileW keeps what the old file had (its security and attributes); a new name
    // simply takes the temporary file's place.
    const bool replaced = ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES
                              ? ::ReplaceFileW(wide.c_str(), temp.c_str(), nullptr, 0, nullptr, nullptr) != 0
                              : ::MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) return Abandon(temp, error, "cannot replace " + path);
    return SyncDirectoryOf(path, error);
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
