#include "platform/DeviceNotification.h"

namespace tessera::platform {

bool SystemAnnouncesDeviceChanges() { return false; }

DeviceNotification::DeviceNotification(std::uintptr_t, const InterfaceClass&) {}

DeviceNotification::~DeviceNotification() = default;

bool IsDeviceChangeMessage(const char*, const void*) { return false; }

}  // namespace tessera::platform
