#include "platform/LockedFile.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/Text_win.h"

namespace tessera::platform {

namespace {

// Others may read the file but never write, rename or delete it while this handle is
// open; a second program's Claim fails with a sharing violation.
HANDLE OpenHeld(const std::string& path, DWORD disposition) {
    return ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool WriteAll(HANDLE h, std::string_view bytes, std::size_t* taken = nullptr) {
    if (taken) *taken = 0;
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(h, zero, nullptr, FILE_END)) return false;
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        const BOOL ok = ::WriteFile(h, bytes.data(), chunk, &written, nullptr);
        bytes.remove_prefix(written);
        if (taken) *taken += written;
        if (!ok || written == 0) return false;
    }
    return true;
}

}  // namespace

std::optional<LockedFile> LockedFile::Create(const std::string& path, std::string_view firstBytes) {
    // CREATE_NEW with this sharing is atomic: nobody can take the file over before it is
    // complete; a reader that comes early finds it busy.
    const HANDLE h = OpenHeld(path, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    LockedFile file;
    file.handle_ = reinterpret_cast<std::intptr_t>(h);
    file.path_ = path;
    if (!WriteAll(h, firstBytes)) {
        file.Remove();
        return std::nullopt;
    }
    return file;
}

std::optional<LockedFile> LockedFile::Claim(const std::string& path) {
    const HANDLE h = OpenHeld(path, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;  // held (sharing violation), being deleted or gone
    LockedFile file;
    file.handle_ = reinterpret_cast<std::intptr_t>(h);
    file.path_ = path;
    return file;
}

bool LockedFile::Append(std::string_view bytes, std::size_t* taken) {
    if (taken) *taken = 0;
    if (handle_ == -1) return false;
    return WriteAll(AsHandle(handle_), bytes, taken);
}

bool LockedFile::Sync() {
    if (handle_ == -1) return false;
    return ::FlushFileBuffers(AsHandle(handle_)) != 0;
}

std::optional<std::string> LockedFile::ReadAll() {
    if (handle_ == -1) return std::nullopt;
    const HANDLE h = AsHandle(handle_);
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        out.append(buffer, got);
    }
    return out;
}

bool LockedFile::Remove() {
    if (handle_ == -1) return false;
    // Marked for deletion through our own handle: the file goes when it closes, and no
    // other program can open it in between.
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    const bool marked = ::SetFileInformationByHandle(AsHandle(handle_), FileDispositionInfo, &info, sizeof info) != 0;
    Close();
    return marked;
}

bool LockedFile::MoveTo(const std::string& path) {
    if (handle_ == -1) return false;
    // Renamed through our own handle (it was opened with DELETE access), so the file is
    // held throughout; ReplaceIfExists stays false.
    const std::wstring name = win::Widen(path);
    const std::size_t size = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
    std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);  // aligned for the structure
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    if (!::SetFileInformationByHandle(AsHandle(handle_), FileRenameInfo, info, static_cast<DWORD>(size))) return false;
    path_ = path;
    return true;
}

void LockedFile::Close() {
    if (handle_ == -1) return;
    ::CloseHandle(AsHandle(std::exchange(handle_, -1)));
}

}  // namespace tessera::platform
