#pragma once
// Device changes the system announces to a window. On Windows a driver's device (the
// vendor's kernel driver serving the instrument's interface class) arrives and leaves
// without a trace in the device registry folder: the window is registered for that
// interface class, and its WM_DEVICECHANGE messages are recognised. POSIX systems announce
// nothing of the kind here (every driver serves the registry folder, which is watched).

#include <cstdint>

namespace tessera::platform {

// Whether this system announces device changes to windows at all.
bool SystemAnnouncesDeviceChanges();

// An interface class GUID, field by field.
struct InterfaceClass {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// Registers a native window (its handle, as Qt's WId) for the arrival and removal of devices
// of `interfaceClass`, for as long as it lives.
class DeviceNotification {
public:
    DeviceNotification(std::uintptr_t window, const InterfaceClass& interfaceClass);
    ~DeviceNotification();
    DeviceNotification(const DeviceNotification&) = delete;
    DeviceNotification& operator=(const DeviceNotification&) = delete;

    bool Registered() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

// Whether a native message, as a native event filter of Qt receives it (its event type and
// message), says that a device arrived or left or that the system's device tree changed.
bool IsDeviceChangeMessage(const char* eventType, const void* message);

}  // namespace tessera::platform
