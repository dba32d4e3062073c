// The transport's operating-system calls on Windows: the device setup API for the
// instrument's interface class, then the user-space device registry (named pipes found
// through marker files, PipeRegistry.h); CreateFile/ReadFile/WriteFile on the pipes with a
// bounded wait; and the USB host-controller and hub drivers for the serial-number walk.

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/PipeIo_win.h"
#include "platform/RegistryRoot.h"  // header-only, as the pipe I/O
#include "transport/InstrumentIds.h"
#include "transport/OsCalls.h"
#include "transport/PipeRegistry.h"
#include "transport/UsbHubWalk.h"

namespace tessera::transport {

namespace {

// A broken device set that never reports its end must not hang the caller.
constexpr DWORD kMaxInterfaceIndex = 4096;

GUID InterfaceClass() {
    GUID g;
    g.Data1 = INSTRUMENT_INTERFACE_CLASS.data1;
    g.Data2 = INSTRUMENT_INTERFACE_CLASS.data2;
    g.Data3 = INSTRUMENT_INTERFACE_CLASS.data3;
    for (int i = 0; i < 8; ++i) g.Data4[i] = INSTRUMENT_INTERFACE_CLASS.data4[i];
    return g;
}

HANDLE AsHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }

HANDLE OpenReadWrite(const std::string& path, DWORD flags) {
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
}

struct RegistryEntry {
    std::string base;  // the entry's pipes
    MeterIdentity identity;
};

// The entries the registry's complete markers name, in the order of the marker names.
std::vector<RegistryEntry> RegistryEntries() {
    std::wstring classDir = platform::registry::DeviceRoot() + L"\\";
    for (const char* c = INSTRUMENT_INTERFACE_CLASS_TEXT; *c; ++c) classDir += static_cast<wchar_t>(*c);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((classDir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    do {
        // Hidden names are markers still being written or left by other tools.
        if (found.cFileName[0] == L'.' || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        names.emplace_back(found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());

    std::vector<RegistryEntry> entries;
    for (const auto& name : names) {
        // Shared for deletion too: a server holds its marker open with delete-on-close.
        HANDLE marker = ::CreateFileW((classDir + L"\\" + name).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker == INVALID_HANDLE_VALUE) continue;
        char text[1024];
        DWORD n = 0;
        const BOOL ok = ::ReadFile(marker, text, sizeof text, &n, nullptr);
        ::CloseHandle(marker);
        if (!ok) continue;
        std::string base = PipeBaseFromMarker(std::string_view(text, n));
        if (!base.empty()) entries.push_back({std::move(base), ParseIdentity(std::string_view(text, n))});
    }
    return entries;
}

// A registry pipe: message mode, and overlapped so every read and write can be bounded (a
// plain ReadFile still works on it: the system then waits on the handle). A pipe whose
// instances are all taken is waited for, within the pipe timeout. The server may only
// identify the caller, never act in its name.
HANDLE OpenRegistryPipe(const std::string& path) {
    const ULONGLONG deadline = ::GetTickCount64() + platform::win::PipeTimeoutMs();
    for (;;) {
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (::SetNamedPipeHandleState(h, &mode, nullptr, nullptr)) return h;
            ::CloseHandle(h);
            return INVALID_HANDLE_VALUE;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (::GetLastError() != ERROR_PIPE_BUSY || now >= deadline) return INVALID_HANDLE_VALUE;
        ::WaitNamedPipeA(path.c_str(), static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 1000)));
    }
}

// The system side of the USB walk: "\\.\<name>" opened for writing, shared for writing (all
// the hub control codes need), and DeviceIoControl.
class SystemUsbHost final : public UsbHostAccess {
public:
    void* Open(const std::u16string& name) override {
        std::wstring path = L"\\\\.\\";
        for (char16_t c : name) path += static_cast<wchar_t>(c);
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        return h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    bool Control(void* device, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* returned) override {
        DWORD n = 0;
        const BOOL ok = ::DeviceIoControl(static_cast<HANDLE>(device), code, const_cast<void*>(in), inSize, out,
                                          outSize, &n, nullptr);
        *returned = n;
        return ok != FALSE;
    }
    void Close(void* device) override { ::CloseHandle(static_cast<HANDLE>(device)); }
};

class WindowsOsCalls final : public OsCalls {
public:
    // The kernel driver's interfaces first, then the user-space registry's entries.
    std::vector<std::string> Interfaces() override {
        std::vector<std::string> paths = DriverInterfaces();
        identities_.clear();
        for (auto& entry : RegistryEntries()) {
            identities_[entry.base] = entry.identity;
            paths.push_back(std::move(entry.base));
        }
        return paths;
    }

    std::vector<std::string> DriverInterfaces() {
        std::vector<std::string> paths;
        const GUID cls = InterfaceClass();
        HDEVINFO set = ::SetupDiGetClassDevsA(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) return paths;
        for (DWORD index = 0; index < kMaxInterfaceIndex; ++index) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof(data);
            if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &cls, index, &data)) {
                if (::GetLastError() == ERROR_NO_MORE_ITEMS) break;
                continue;
            }
            DWORD required = 0;
            ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
            if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
            std::unique_ptr<std::uint8_t[]> storage(new (std::nothrow) std::uint8_t[required]);
            if (!storage) continue;
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr)) continue;
            paths.emplace_back(detail->DevicePath);
        }
        ::SetupDiDestroyDeviceInfoList(set);
        return paths;
    }

    bool InterfaceOpens(const std::string& path) override {
        if (IsNamedPipePath(path)) {
            // Served when its command pipe exists; all its instances taken still means served.
            // A marker left behind by a server that died names no pipe and is passed over.
            const std::string command = path + '\\' + std::to_string(kCommandPipe);
            HANDLE h = ::CreateFileA(command.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
            if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_PIPE_BUSY;
            ::CloseHandle(h);
            return true;
        }
        HANDLE h = OpenReadWrite(path, 0);
        if (h == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(h);
        return true;
    }

    MeterIdentity Identity(const std::string& path) override {
        if (!IsNamedPipePath(path)) return IdentityFromDevicePath(path, INSTRUMENT_VENDOR_ID, INSTRUMENT_PRODUCT_ID);
        // What the entry's marker said when the registry was last listed.
        const auto it = identities_.find(path);
        return it == identities_.end() ? MeterIdentity{} : it->second;
    }

    std::string ChosenMeter() override {
        wchar_t value[256];
        const DWORD n = ::GetEnvironmentVariableW(L"TESSERA_METER", value, 256);
        if (n == 0 || n >= 256) return {};
        char utf8[1024];
        const int m =
            ::WideCharToMultiByte(CP_UTF8, 0, value, static_cast<int>(n), utf8, sizeof utf8, nullptr, nullptr);
        return m > 0 ? std::string(utf8, static_cast<std::size_t>(m)) : std::string();
    }

    Handle OpenPipe(const std::string& pipePath, bool overlapped) override {
        if (IsNamedPipePath(pipePath)) {
            HANDLE h = OpenRegistryPipe(pipePath);
            return h == INVALID_HANDLE_VALUE ? kInvalid : reinterpret_cast<Handle>(h);
        }
        HANDLE h = OpenReadWrite(pipePath, overlapped ? (FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL) : 0);
        return h == INVALID_HANDLE_VALUE ? kInvalid : reinterpret_cast<Handle>(h);
    }

    bool Read(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) override {
        *got = 0;
        if (h == kInvalid) return false;
        DWORD n = 0;
        if (!platform::win::BoundedRead(AsHandle(h), buffer, wanted, &n, platform::win::PipeTimeoutMs())) return false;
        *got = n;
        return true;
    }

    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) override {
        *written = 0;
        if (h == kInvalid) return false;
        DWORD n = 0;
        const bool ok = platform::win::BoundedWrite(AsHandle(h), data, size, &n, platform::win::PipeTimeoutMs());
        *written = n;
        return ok;
    }

    void Close(Handle h) override {
        if (h != kInvalid) ::CloseHandle(AsHandle(h));
    }

    char PipeSeparator() const override { return '\\'; }

    std::vector<UsbDevice> WalkUsb() override {
        SystemUsbHost host;
        return WalkUsbDevices(host);
    }

private:
    std::map<std::string, MeterIdentity> identities_;  // pipe base -> identity, as last listed
};

}  // namespace

OsCalls& SystemOsCalls() {
    static WindowsOsCalls calls;
    return calls;
}

}  // namespace tessera::transport
