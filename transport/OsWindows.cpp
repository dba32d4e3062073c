// The transport's operating-system calls on Windows: the device setup API for the
// instrument's interface class, CreateFile/ReadFile/WriteFile on the pipes, and the USB
// host-controller and hub drivers for the serial-number walk.

#include <windows.h>
#include <setupapi.h>

#include <memory>
#include <string>
#include <vector>

#include "transport/InstrumentIds.h"
#include "transport/OsCalls.h"
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
    std::vector<std::string> Interfaces() override {
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
        HANDLE h = OpenReadWrite(path, 0);
        if (h == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(h);
        return true;
    }

    Handle OpenPipe(const std::string& pipePath, bool overlapped) override {
        HANDLE h = OpenReadWrite(pipePath, overlapped ? (FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL) : 0);
        return h == INVALID_HANDLE_VALUE ? kInvalid : reinterpret_cast<Handle>(h);
    }

    bool Read(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) override {
        *got = 0;
        if (h == kInvalid) return false;
        DWORD n = 0;
        if (!::ReadFile(AsHandle(h), buffer, wanted, &n, nullptr)) return false;
        *got = n;
        return true;
    }

    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) override {
        *written = 0;
        if (h == kInvalid) return false;
        DWORD n = 0;
        const BOOL ok = ::WriteFile(AsHandle(h), data, size, &n, nullptr);
        *written = n;
        return ok != FALSE;
    }

    void Close(Handle h) override {
        if (h != kInvalid) ::CloseHandle(AsHandle(h));
    }

    char PipeSeparator() const override { return '\\'; }

    std::vector<UsbDevice> WalkUsb() override {
        SystemUsbHost host;
        return WalkUsbDevices(host);
    }
};

}  // namespace

OsCalls& SystemOsCalls() {
    static WindowsOsCalls calls;
    return calls;
}

}  // namespace tessera::transport
