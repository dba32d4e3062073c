#include "platform/LockedFile.h"

#include <windows.h>

#include <utility>

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

bool WriteAll(HANDLE h, std::string_view bytes) {
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(h, zero, nullptr, FILE_END)) return false;
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
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

bool LockedFile::Append(std::string_view bytes) {
    if (handle_ == -1) return false;
    return WriteAll(AsHandle(handle_), bytes);
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

void LockedFile::Close() {
    if (handle_ == -1) return;
    ::CloseHandle(AsHandle(std::exchange(handle_, -1)));
}

}  // namespace tessera::platform
