#include "platform/DeviceNotification.h"

#include <windows.h>
// windows.h first: dbt.h needs its types.
#include <dbt.h>

#include <cstring>

namespace tessera::platform {

bool SystemAnnouncesDeviceChanges() { return true; }

DeviceNotification::DeviceNotification(std::uintptr_t window, const InterfaceClass& interfaceClass) {
    if (window == 0) return;
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid.Data1 = interfaceClass.data1;
    filter.dbcc_classguid.Data2 = interfaceClass.data2;
    filter.dbcc_classguid.Data3 = interfaceClass.data3;
    std::memcpy(filter.dbcc_classguid.Data4, interfaceClass.data4, sizeof interfaceClass.data4);
    handle_ = ::RegisterDeviceNotificationW(reinterpret_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

DeviceNotification::~DeviceNotification() {
    if (handle_) ::UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(handle_));
}

bool IsDeviceChangeMessage(const char* eventType, const void* message) {
    if (!eventType || !message || std::strcmp(eventType, "windows_generic_MSG") != 0) return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_DEVICECHANGE) return false;
    // An interface of the registered class arrived or left, or (told to every top-level
    // window) a device node came or went.
    return msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE ||
           msg->wParam == DBT_DEVNODES_CHANGED;
}

}  // namespace tessera::platform
